#ifndef NAVIGATESCENE_H
#define NAVIGATESCENE_H

#include <QDialog>

class QHBoxLayout;
class QPushButton;
class QTextEdit;
class QVBoxLayout;

// The "Navigating the Scene" help window: a fixed plain-text guide to the
// viewer (files, mouse navigation, flight paths, stereo, command line) in a
// read-only text field, and an OK button that closes the window. The main
// window makes it once and shows it on request; the text is inserted once,
// when the dialog is made, so showing it again never repeats it.
class NavigateScene : public QDialog {
  Q_OBJECT

 public:
  // name: the object name ("NavigateScene" when null); modal as QDialog's
  // modality.
  explicit NavigateScene(QWidget* parent = nullptr, const char* name = nullptr, bool modal = false,
                         Qt::WindowFlags flags = Qt::WindowFlags());
  ~NavigateScene() override;

  // The guide text shown in the field.
  static const char* GuideText();

  QVBoxLayout* NavigateSceneLayout;
  QVBoxLayout* layout7;
  QTextEdit* helpText;
  QHBoxLayout* layout5;
  QPushButton* okButton;

 public slots:
  // Caption and button text.
  virtual void languageChange();

 protected:
  // Fills the text field, makes it read-only and shows its first line.
  void init();
};

#endif
