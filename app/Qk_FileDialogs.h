#ifndef QK_FILEDIALOGS_H
#define QK_FILEDIALOGS_H

// File dialogs that start in the newest folder of the file history and,
// when asked, record what the user chose there; the recent-files menu
// builder. The main window's File menu uses its own plain dialogs.

#include <QFileDialog>
#include <QList>
#include <QString>
#include <QStringList>

class QAction;
class QWidget;

// Shows the entries of a history list on actions (at least as many as the
// list holds): action i gets the text of entry i and the menu text
// "&<i+1> <entry>" (0 for the tenth), enabled and visible; the rest are
// hidden. An empty list gives one disabled, visible action "(none)".
void Qk_UpdateRecentFileActions(const QList<QAction*>& actions, int list);

// dir when it is not empty, else the newest folder of the history ("" when
// there is none).
QString Qk_StartDirectory(const QString& dir);

// The dialogs. Each shows a file dialog of its kind (caption, filter,
// object name, links resolved or not) starting in Qk_StartDirectory(start)
// and returns the choice ("" or an empty list when cancelled); with record
// set a choice is recorded in the file history.
QString Qk_GetOpenFileName(const QString& start, const QString& filter, QWidget* parent, const char* name,
                           const QString& caption, QString* selectedFilter, bool resolveLinks, bool record);
QString Qk_GetExistingDirectory(const QString& dir, QWidget* parent, const char* name, const QString& caption,
                                bool directoriesOnly, bool resolveLinks, bool record);
QStringList Qk_GetOpenFileNames(const QString& filter, const QString& dir, QWidget* parent, const char* name,
                                const QString& caption, QString* selectedFilter, bool resolveLinks, bool record);
// With addExtension a name without '.' gets the extension of the chosen
// filter. With confirmOverwrite a name that exists brings the question
// "File '<name>' already exists. Do you want to replace it?" (caption
// "Save file", Yes default): No shows the dialog again.
QString Qk_GetSaveFileName(const QString& start, const QString& filter, QWidget* parent, const char* name,
                           const QString& caption, QString* selectedFilter, bool resolveLinks, bool addExtension,
                           bool confirmOverwrite, bool record);

// Records a chosen file: its folder, then the file ("*.sd" and "*.scene" by
// extension, case-sensitive; other names without a pattern).
void Qk_RecordFileInHistory(const char* name);
// Records the folder of the first name, then every '.sd' and '.scene' name.
void Qk_RecordFilesInHistory(const QStringList& names);
// name, with the filter's extension appended when name holds no '.'.
QString Qk_AddFilterExtension(const QString& name, const QString& filter);
// The extension (".sd") of a filter's first pattern ("Data Files (*.sd);;
// ..."), or null: no '(' or pattern, "*.*", a pattern not starting with
// "*.", or one with a further '*' or '?'. Filters longer than 255
// characters are cut there. A new string; the caller frees it.
char* Qk_ExtensionFromFilter(const char* filter);

// The shared file dialog (not modal).
class Qk_FileDialog : public QFileDialog {
  Q_OBJECT
 public:
  Qk_FileDialog(QWidget* parent, const char* name);
};
// Makes the shared dialog on first use, then sets its filters and caption;
// a non-zero option makes it show only folders; its folder is start or,
// when start is empty, the newest history folder when there is one.
Qk_FileDialog* Qk_PrepareFileDialog(const QString& start, const QString& filters, QWidget* parent, const char* name,
                                    const QString& caption, int option);

// Runs a prepared dialog (through the test hook when one is set) and
// returns its result (QDialog::Accepted or Rejected) with the chosen files
// in *chosen. The hook stands for the user: it answers and chooses.
typedef int (*Qk_FileDialogHook)(QFileDialog* dialog, QStringList* chosen);
void Qk_SetFileDialogHook(Qk_FileDialogHook hook);
int Qk_RunFileDialog(QFileDialog* dialog, QStringList* chosen);

#endif
