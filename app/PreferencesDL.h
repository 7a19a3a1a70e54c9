#ifndef PREFERENCESDL_H
#define PREFERENCESDL_H

#include <QDialog>

class QCheckBox;
class QHBoxLayout;
class QPushButton;
class QVBoxLayout;

// File > Preferences: one setting, whether the viewer starts in split-screen
// stereo. The main window sets the box from its flag, runs the dialog and,
// on OK with a changed box, stores the flag and writes the options file.
class PreferencesDL : public QDialog {
  Q_OBJECT

 public:
  PreferencesDL(QWidget* parent = nullptr, const char* name = nullptr, bool modal = false,
                Qt::WindowFlags flags = Qt::WindowFlags());
  ~PreferencesDL() override;

  QCheckBox* stereoStartupCheck;
  QPushButton* buttonOk;
  QPushButton* buttonCancel;

  // Checks the box when on is non-zero, else clears it.
  void SetStereoStartup(int on);
  // 1 when the box is checked, else 0.
  int GetStereoStartup() const;

 protected slots:
  virtual void languageChange();

 protected:
  QVBoxLayout* PreferencesDLLayout;
  QHBoxLayout* layout4;
  QHBoxLayout* Layout1;
};

#endif
