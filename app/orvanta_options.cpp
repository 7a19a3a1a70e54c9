// The main window's options file (window geometry, last directory, stereo at
// start-up), the window's first showing (maximized when the file gives no
// geometry) and the Preferences dialog that changes the stereo choice.
// The layout is in OptionsFile.h, which reads it.

#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>
#include <QScreen>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "OptionsFile.h"
#include "PreferencesDL.h"
#include "Qk_GUIUtils.h"
#include "Sv_AtomicFile.h"
#include "Sv_Debug.h"
#include "Sv_Stdio.h"
#include "Sv_Stdlib.h"
#include "orvanta.h"

namespace {

const char kOptionsName[] = "pc_orvantaOptions";

bool WriteWord(FILE* file, int32_t v) { return Sv_UtlFwriteCopy(&v, 4, 1, file, 1) == 1; }

}  // namespace

char* orvanta::GetOptionsFileName() {
  // Next to the program: the directory of the first argument, or, when it
  // names none, the folder the executable was started from.
  const QStringList args = m_hasArguments ? m_arguments : QCoreApplication::arguments();
  std::string folder;
  if (!args.isEmpty()) {
    char* dir = Sv_UtlGetDirectory(QFile::encodeName(args.first()).constData(), 1);
    if (dir && dir[0] && !(dir[0] == '.' && dir[1] == '/' && dir[2] == '\0')) folder = dir;
    free(dir);
  }
  if (folder.empty()) folder = QFile::encodeName(QCoreApplication::applicationDirPath()).toStdString() + "/";
  // Where the program's folder takes no new file (a system folder), the
  // options live in the home folder beside the file history.
  if (!Sv_UtlCanCreateIn(folder.c_str())) return Sv_UtlPrefFileName("orvantaOptions", 0);
  return Sv_UtlStrDup((folder + kOptionsName).c_str());
}

void orvanta::SaveConfigurationFile() {
  char* name = GetOptionsFileName();
  if (!name) return;
  // Only a file this program wrote (or none) is replaced: a file of the
  // same name that is not an options file, also behind a link, is the
  // user's, and the settings then last for this run only.
  OptionsFile stored;
  stored.Read(name);
  if (stored.foreign) {
    stored.Report(name);
    free(name);
    return;
  }
  Sv_AtomicFile out;
  std::string kept;
  FILE* file = out.Open(name, 1, &kept);
  if (!file && !kept.empty()) {
    // A file that cannot be replaced as it stands (another user's in a
    // shared folder, which would pass to this user) is kept as a foreign
    // one is.
    stored.foreign = true;
    stored.problem = kept;
    stored.Report(name);
  }
  free(name);
  if (!file) return;  // otherwise nothing is written and nothing reported
  const std::string dir = lastDirectory.substr(0, OptionsFile::kMaxDirectory);
  WriteWord(file, OptionsFile::kMagic);
  WriteWord(file, OptionsFile::kVersion);
  Qk_SaveGeometry(this, file);
  WriteWord(file, static_cast<int32_t>(dir.size()));
  if (!dir.empty()) fwrite(dir.data(), 1, dir.size(), file);
  WriteWord(file, stereoAtStartup);
  // A write that failed leaves the previous file as it was.
  out.Commit();
}

void orvanta::LoadConfigurationFile() {
  char* name = GetOptionsFileName();
  OptionsFile options;
  options.Read(name);
  // What the file could not give keeps its default, with one warning (a
  // file that is not this program's is named once as kept).
  options.Report(name);
  free(name);
  if (options.haveGeometry) Qk_ApplyGeometry(this, options.geometry, QSize(kBaseWidth, kBaseHeight));
  if (options.haveDirectory) lastDirectory = options.directory;
  if (options.haveStereo) stereoAtStartup = options.stereo;
}

bool orvanta::ApplyStoredGeometry(QWidget* target) {
  char* name = GetOptionsFileName();
  OptionsFile options;
  options.Read(name);
  free(name);
  if (!options.haveGeometry) return false;
  return !target || Qk_ApplyGeometry(target, options.geometry, QSize(kBaseWidth, kBaseHeight));
}

bool orvanta::StoredGeometryExists() { return ApplyStoredGeometry(nullptr); }

void orvanta::ShowAtStart() {
  // The stored place is taken before the window first shows, so that a
  // maximized window also keeps its normal rectangle.
  if (ApplyStoredGeometry(this)) {
    if (!isVisible()) show();
    return;
  }
  // Maximizing is the window manager's work; the geometry set first gives
  // the same size where there is none (a bare X server).
  QScreen* screen = QGuiApplication::primaryScreen();
  if (screen) setGeometry(screen->availableGeometry());
  showMaximized();
}

void orvanta::FilePreferencesSL() {
  PreferencesDL dialog(this);
  dialog.SetStereoStartup(stereoAtStartup);
  if (dialog.exec() != QDialog::Accepted) return;
  const int on = dialog.GetStereoStartup();
  if (on == stereoAtStartup) return;
  stereoAtStartup = on;
  SaveConfigurationFile();
}
