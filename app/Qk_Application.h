#ifndef QK_APPLICATION_H
#define QK_APPLICATION_H

#include <QApplication>
#include <QEvent>
#include <QString>
#include <QStringList>

// Event type of a request from outside to open a file.
enum { QK_FILE_OPEN_EVENT = QEvent::User };  // 1000

// A request to open a file, posted to the application object.
class Qk_FileOpenEvent : public QEvent {
 public:
  explicit Qk_FileOpenEvent(const QString& fileName);
  ~Qk_FileOpenEvent() override;
  QString fileName() const { return m_fileName; }

 private:
  QString m_fileName;
};

// The application object: relays requests to open a file (file-open events)
// to whoever listens to LoadFileSG (the main window). One per process.
class Qk_Application : public QApplication {
  Q_OBJECT

 public:
  Qk_Application(int& argc, char** argv);
  ~Qk_Application() override;

  // The only instance, or null.
  static Qk_Application* Instance();

  // The arguments (program name first) without the toolkit's own options
  // and their values ("-platform name", "-style=name", "-reverse" ...),
  // which the constructor takes out of argv: what the program's own
  // command line is, before there is an application object.
  static QStringList ProgramArguments(int argc, char** argv);

 public slots:
  // Emits LoadFileSG with the same name.
  virtual void LoadFileSL(QString fileName);

 signals:
  void LoadFileSG(QString fileName);

 protected:
  // A file-open event calls LoadFileSL with its file name; other custom
  // events are ignored.
  void customEvent(QEvent* event) override;
};

#endif
