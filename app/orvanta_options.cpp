// The main window's options file (window geometry, last directory, stereo at
// start-up), the window's first showing (maximized when the file gives no
// geometry) and the Preferences dialog that changes the stereo choice.
//
// Layout (little-endian int32 words, no gaps): magic 0x5B3C2A8F, version 1,
// x, y, width, height, maximized flag, directory length n (0 ... 255), the n
// directory bytes, stereo at start-up. The older magic 0x4B3C2A8F has no
// version and no stereo word.

#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>
#include <QScreen>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "PreferencesDL.h"
#include "Qk_GUIUtils.h"
#include "Sv_AtomicFile.h"
#include "Sv_Debug.h"
#include "Sv_Stdio.h"
#include "Sv_Stdlib.h"
#include "orvanta.h"

namespace {

constexpr int32_t kMagic = 0x5B3C2A8F;
constexpr int32_t kOldMagic = 0x4B3C2A8F;
constexpr int32_t kVersion = 1;
constexpr int kMaxDirectory = 255;
const char kOptionsName[] = "pc_orvantaOptions";

bool WriteWord(FILE* file, int32_t v) { return Sv_UtlFwriteCopy(&v, 4, 1, file, 1) == 1; }
bool ReadWord(FILE* file, int32_t* v) { return Sv_UtlFread(v, 4, 1, file, 1) == 1; }

// The options file opened and read up to its five geometry words (past the
// magic and, in the current layout, the version); null when it is missing,
// not a regular file, cut short there or of a foreign layout.
FILE* OpenAtGeometry(const char* name, int32_t* magic) {
  FILE* file = name ? Sv_UtlOpenForReading(name, SV_LEVEL_DEBUG) : nullptr;
  if (!file) return nullptr;
  int32_t version = 0;
  if (ReadWord(file, magic) && (*magic == kOldMagic || (*magic == kMagic && ReadWord(file, &version)))) return file;
  fclose(file);
  return nullptr;
}

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
  Sv_AtomicFile out;
  FILE* file = out.Open(name, 1);
  free(name);
  if (!file) return;  // nothing is written and nothing reported
  const std::string dir = lastDirectory.substr(0, kMaxDirectory);
  WriteWord(file, kMagic);
  WriteWord(file, kVersion);
  Qk_SaveGeometry(this, file);
  WriteWord(file, static_cast<int32_t>(dir.size()));
  if (!dir.empty()) fwrite(dir.data(), 1, dir.size(), file);
  WriteWord(file, stereoAtStartup);
  // A write that failed leaves the previous file as it was.
  out.Commit();
}

void orvanta::LoadConfigurationFile() {
  char* name = GetOptionsFileName();
  int32_t magic = 0;
  FILE* file = OpenAtGeometry(name, &magic);
  free(name);
  if (!file) return;
  // The geometry is applied only when all five words are there.
  int32_t n = -1;
  if (Qk_RestoreGeometry(this, file) == 0 && ReadWord(file, &n) && n >= 0 && n <= kMaxDirectory) {
    std::string dir(static_cast<size_t>(n), '\0');
    if (n == 0 || fread(&dir[0], 1, dir.size(), file) == dir.size()) {
      lastDirectory = dir;
      int32_t stereo = 0;
      if (magic == kMagic && ReadWord(file, &stereo)) stereoAtStartup = stereo ? 1 : 0;
    }
  }
  // A length outside 0 ... 255 ends the read: the stereo word behind it
  // cannot be found.
  fclose(file);
}

bool orvanta::ApplyStoredGeometry(QWidget* target) {
  char* name = GetOptionsFileName();
  int32_t magic = 0;
  FILE* file = OpenAtGeometry(name, &magic);
  free(name);
  if (!file) return false;
  const bool whole = Qk_RestoreGeometry(target, file) == 0;
  fclose(file);
  return whole;
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
