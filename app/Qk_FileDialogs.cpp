// File dialogs on top of the file history, and the recent-files menu.
#include "Qk_FileDialogs.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QPointer>

#include <cstdlib>
#include <cstring>
#include <string>

#include "FileHistory.h"
#include "Qk_GUIUtils.h"
#include "Sv_Stdio.h"
#include "Sv_Stdlib.h"

namespace {

Qk_FileDialogHook g_dialogHook = nullptr;
// The shared dialog; it goes with its parent.
QPointer<Qk_FileDialog> g_sharedDialog;

// The chooser of the dialogs: kind of choice, caption, filter, folder,
// links; the selected filter is taken in and handed back.
int RunChooser(QWidget* parent, const char* name, const QString& caption, const QString& filter,
               const QString& start, QFileDialog::FileMode mode, QFileDialog::AcceptMode accept, bool resolveLinks,
               bool directoriesOnly, QString* selectedFilter, QStringList* chosen) {
  QFileDialog dialog(parent, caption, Qk_StartDirectory(start), filter);
  if (name) dialog.setObjectName(QString::fromLatin1(name));
  dialog.setFileMode(mode);
  dialog.setAcceptMode(accept);
  // The overwrite question is the caller's own.
  QFileDialog::Options options = QFileDialog::DontConfirmOverwrite;
  if (!resolveLinks) options |= QFileDialog::DontResolveSymlinks;
  if (directoriesOnly) options |= QFileDialog::ShowDirsOnly;
  dialog.setOptions(options);
  if (selectedFilter && !selectedFilter->isEmpty()) dialog.selectNameFilter(*selectedFilter);
  chosen->clear();
  const int result = Qk_RunFileDialog(&dialog, chosen);
  if (selectedFilter) *selectedFilter = dialog.selectedNameFilter();
  if (result != QDialog::Accepted) chosen->clear();
  return result;
}

std::string Local(const QString& s) { return QFile::encodeName(s).toStdString(); }

}  // namespace

void Qk_SetFileDialogHook(Qk_FileDialogHook hook) { g_dialogHook = hook; }

int Qk_RunFileDialog(QFileDialog* dialog, QStringList* chosen) {
  if (!dialog || !chosen) return QDialog::Rejected;
  if (g_dialogHook) return g_dialogHook(dialog, chosen);
  const int result = dialog->exec();
  *chosen = result == QDialog::Accepted ? dialog->selectedFiles() : QStringList();
  return result;
}

void Qk_UpdateRecentFileActions(const QList<QAction*>& actions, int list) {
  FileHistory* history = FileHistory::Instance();
  int n = history->GetCount(list);
  if (n > actions.size()) n = static_cast<int>(actions.size());
  for (int i = 0; i < n; ++i) {
    const char* entry = history->GetEntry(i, list);
    const QString text = QString::fromLocal8Bit(entry ? entry : "");
    QAction* action = actions[i];
    action->setIconText(text);
    // The menu shows "&1 name" ... "&0 name" for the tenth.
    action->setText(QString("&%1 %2").arg((i + 1) % 10).arg(text));
    action->setToolTip(text);
    action->setEnabled(true);
    action->setVisible(true);
  }
  for (int i = n; i < actions.size(); ++i) actions[i]->setVisible(false);
  if (n == 0 && !actions.isEmpty()) {
    actions[0]->setText(QObject::tr("(none)"));
    actions[0]->setIconText(QObject::tr("(none)"));
    actions[0]->setEnabled(false);
    actions[0]->setVisible(true);
  }
}

QString Qk_StartDirectory(const QString& dir) {
  if (!dir.isEmpty()) return dir;
  FileHistory* history = FileHistory::Instance();
  if (history->GetDirectoryCount() < 1) return QString();
  const char* newest = history->GetDirectory(0);
  return QString::fromLocal8Bit(newest ? newest : "");
}

QString Qk_GetOpenFileName(const QString& start, const QString& filter, QWidget* parent, const char* name,
                           const QString& caption, QString* selectedFilter, bool resolveLinks, bool record) {
  QStringList chosen;
  RunChooser(parent, name, caption, filter, start, QFileDialog::ExistingFile, QFileDialog::AcceptOpen, resolveLinks,
             false, selectedFilter, &chosen);
  const QString result = chosen.isEmpty() ? QString() : chosen.first();
  if (record && !result.isEmpty()) Qk_RecordFileInHistory(Local(result).c_str());
  return result;
}

QString Qk_GetExistingDirectory(const QString& dir, QWidget* parent, const char* name, const QString& caption,
                                bool directoriesOnly, bool resolveLinks, bool record) {
  QStringList chosen;
  RunChooser(parent, name, caption, QString(), dir, QFileDialog::Directory, QFileDialog::AcceptOpen, resolveLinks,
             directoriesOnly, nullptr, &chosen);
  const QString result = chosen.isEmpty() ? QString() : chosen.first();
  if (record && !result.isEmpty()) Qk_RecordFileInHistory(Local(result).c_str());
  return result;
}

QStringList Qk_GetOpenFileNames(const QString& filter, const QString& dir, QWidget* parent, const char* name,
                                const QString& caption, QString* selectedFilter, bool resolveLinks, bool record) {
  QStringList chosen;
  RunChooser(parent, name, caption, filter, dir, QFileDialog::ExistingFiles, QFileDialog::AcceptOpen, resolveLinks,
             false, selectedFilter, &chosen);
  if (record && !chosen.isEmpty()) Qk_RecordFilesInHistory(chosen);
  return chosen;
}

QString Qk_GetSaveFileName(const QString& start, const QString& filter, QWidget* parent, const char* name,
                           const QString& caption, QString* selectedFilter, bool resolveLinks, bool addExtension,
                           bool confirmOverwrite, bool record) {
  QString filterInUse = selectedFilter ? *selectedFilter : QString();
  for (;;) {
    QStringList chosen;
    RunChooser(parent, name, caption, filter, start, QFileDialog::AnyFile, QFileDialog::AcceptSave, resolveLinks, false,
               &filterInUse, &chosen);
    if (selectedFilter) *selectedFilter = filterInUse;
    if (chosen.isEmpty() || chosen.first().isEmpty()) return QString();
    QString result = chosen.first();
    if (addExtension) result = Qk_AddFilterExtension(result, filterInUse);

    if (confirmOverwrite && QFileInfo::exists(result)) {
      QWidget* owner = parent ? parent->window() : QApplication::activeWindow();
      QMessageBox box(QMessageBox::Warning, QObject::tr("Save file"),
                      QObject::tr("File '%1' already exists. Do you want to replace it?").arg(result),
                      QMessageBox::Yes | QMessageBox::No, owner);
      box.setDefaultButton(QMessageBox::Yes);
      if (Qk_RunMessageBox(&box) != QMessageBox::Yes) continue;
    }
    if (record) Qk_RecordFileInHistory(Local(result).c_str());
    return result;
  }
}

void Qk_RecordFileInHistory(const char* name) {
  if (!name || !*name) return;
  std::string path = name;
  Sv_UtlToBackslashes(&path[0]);
  FileHistory* history = FileHistory::Instance();
  if (char* dir = Sv_UtlGetDirectory(path.c_str(), 1)) {
    if (*dir) history->AddDirectory(dir);
    free(dir);
  }
  const char* ext = Sv_UtlGetExtension(path.c_str());
  if (ext && strcmp(ext, ".sd") == 0) {
    history->AddFile(path.c_str(), "*.sd");
  } else if (ext && strcmp(ext, ".scene") == 0) {
    history->AddFile(path.c_str(), "*.scene");
  } else {
    history->AddFile(path.c_str(), nullptr);
  }
}

void Qk_RecordFilesInHistory(const QStringList& names) {
  if (names.isEmpty()) return;
  FileHistory* history = FileHistory::Instance();
  if (char* dir = Sv_UtlGetDirectory(Local(names.first()).c_str(), 1)) {
    if (*dir) history->AddDirectory(dir);
    free(dir);
  }
  for (const QString& n : names) {
    const std::string path = Local(n);
    const char* ext = Sv_UtlGetExtension(path.c_str());
    if (ext && strcmp(ext, ".sd") == 0) history->AddFile(path.c_str(), "*.sd");
    if (ext && strcmp(ext, ".scene") == 0) history->AddFile(path.c_str(), "*.scene");
  }
}

QString Qk_AddFilterExtension(const QString& name, const QString& filter) {
  if (name.contains('.')) return name;
  char* ext = Qk_ExtensionFromFilter(Local(filter).c_str());
  if (!ext) return name;
  const QString result = name + QString::fromLocal8Bit(ext);
  free(ext);
  return result;
}

char* Qk_ExtensionFromFilter(const char* filter) {
  if (!filter) return nullptr;
  const std::string text = std::string(filter).substr(0, 255);
  const size_t open = text.find('(');
  if (open == std::string::npos) return nullptr;
  const size_t end = text.find_first_of(";)", open + 1);
  if (end == std::string::npos) return nullptr;
  std::string token = text.substr(open + 1, end - open - 1);
  // The first of several space-separated patterns.
  const size_t space = token.find(' ');
  if (space != std::string::npos) token.resize(space);
  if (token.empty() || token == "*.*" || token.compare(0, 2, "*.") != 0) return nullptr;
  const std::string ext = token.substr(1);
  if (ext.find_first_of("*?") != std::string::npos) return nullptr;
  return Sv_UtlStrDup(ext.c_str());
}

Qk_FileDialog::Qk_FileDialog(QWidget* parent, const char* name) : QFileDialog(parent) {
  if (name) setObjectName(QString::fromLatin1(name));
  setModal(false);
}

Qk_FileDialog* Qk_PrepareFileDialog(const QString& start, const QString& filters, QWidget* parent, const char* name,
                                    const QString& caption, int option) {
  if (!g_sharedDialog) g_sharedDialog = new Qk_FileDialog(parent, name);
  g_sharedDialog->setNameFilters(filters.split(";;", Qt::SkipEmptyParts));
  g_sharedDialog->setWindowTitle(caption);
  if (option) {
    g_sharedDialog->setFileMode(QFileDialog::Directory);
    g_sharedDialog->setOption(QFileDialog::ShowDirsOnly, true);
  }
  const QString dir = Qk_StartDirectory(start);
  if (!dir.isEmpty()) g_sharedDialog->setDirectory(dir);
  return g_sharedDialog;
}
