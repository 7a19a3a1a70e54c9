#ifndef QK_ABOUTDL_H
#define QK_ABOUTDL_H

#include <QDialog>

class QFrame;
class QHBoxLayout;
class QLabel;
class QPushButton;
class QVBoxLayout;

// The About box: a caption line, a version line, the contact details
// between two separators, the owner line and an OK button, each centred.
// SetupDialog fills it for the program that shows it.
class Qk_AboutDL : public QDialog {
  Q_OBJECT

 public:
  Qk_AboutDL(QWidget* parent = nullptr, const char* name = nullptr, bool modal = false,
             Qt::WindowFlags flags = Qt::WindowFlags());
  ~Qk_AboutDL() override;

  QLabel* captionLabel;
  QLabel* versionLabel;
  QFrame* frame11_2;
  QLabel* contactLabel;
  QFrame* frame11;
  QLabel* copyrightLabel;
  QPushButton* okButton;

  // The version shown when none is given.
  static const char* DefaultVersion();
  // The owner line for the years (the default years when null).
  static QString OwnerLine(const char* years);

 public slots:
  // Window caption "About - <title>", the caption line, "Version <version>"
  // (the program's version when null) and the owner line for the years.
  virtual void SetupDialog(const char* title, const char* caption, const char* version, const char* years);

 protected slots:
  virtual void languageChange();

 protected:
  QVBoxLayout* Qk_AboutDLLayout;
  QHBoxLayout* layout2_2;
  QHBoxLayout* layout4;
  QHBoxLayout* layout36;
  QHBoxLayout* layout2;
  QHBoxLayout* layout1;
};

#endif
