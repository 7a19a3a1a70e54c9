#ifndef QK_GUIUTILS_H
#define QK_GUIUTILS_H

// Small GUI services shared by the viewer's windows: message boxes for the
// base library's messages, the busy cursor, window geometry and dock layout
// in binary files, opening web pages and documents through the desktop, the
// About box, read-only looks for edit fields, font measures, two save-time
// questions and the application font from "GUIDefaults".

#include <QSize>

#include <cstdint>
#include <cstdio>

class QApplication;
class Sv_LineReader;
class QFont;
class QLineEdit;
class QMainWindow;
class QMessageBox;
class QTextEdit;
class QUrl;
class QWidget;

// The application's main widget (Qt has no such notion any more): parent of
// message boxes without one and of the About box. The main window sets it.
void Qk_SetMainWidget(QWidget* widget);
QWidget* Qk_GetMainWidget();

// Shows a modal message box with the text, captioned by level: -99
// "<name> - Error" (critical icon), -3 "<name> - Warning", -2 "<name> - Info";
// any other level "<name>" with no icon. Parent: the given widget, else the
// main widget. The busy cursor is lifted while the box is up. Returns 0.
int Qk_ShowMessage(int level, const char* text, const char* appName, QWidget* parent);

// The busy (wait) cursor for the whole application. Not counted: calls pair.
void Qk_BusyCursorOn();
void Qk_BusyCursorOff();
int Qk_IsBusyCursorOn();

// Five little-endian int32: x, y, width, height, maximized flag. A maximized
// window is stored with its normal rectangle.
void Qk_SaveGeometry(QWidget* widget, FILE* file);
// Reads the five words and applies them as Qk_ApplyGeometry does. Returns
// 0, or -1 when the file ended early (nothing is applied then).
int Qk_RestoreGeometry(QWidget* widget, FILE* file);
// Applies the five words: maximized (also where no window manager maximizes
// windows: the window then fills its screen's available area), with the
// rectangle as its normal one; or the rectangle. A rectangle that meets no
// screen is not applied; one that the screens' available areas do not hold
// whole is moved onto the screen it overlaps most (or the nearest) and
// shrunk to it; a size below smallest is raised, never beyond that screen.
// Any words are safe. False when nothing was applied (null widget, no
// screen, a size not positive or a rectangle off the screens, and not
// maximized).
bool Qk_ApplyGeometry(QWidget* widget, const int32_t v[5], const QSize& smallest = QSize());

// The main window's dock and tool-bar state as int32 length n and n bytes.
void Qk_SaveDockLayout(QMainWindow* window, FILE* file);
// Reads what Qk_SaveDockLayout wrote and applies it. Returns 0, or -1 for a
// short file or an impossible length (nothing is applied then).
int Qk_RestoreDockLayout(QMainWindow* window, FILE* file);

// Opens a web address, or a local file given by its path, with the desktop's
// handler. False (after the error message "Unable to display a web browser.
// ...") when nothing could open it.
bool Qk_ShowURL(const char* address);
// Opens $WRUHOME/manuals/Reference_Manual.pdf. False without WRUHOME (no
// message), or with a warning when the file is missing or cannot be shown.
bool Qk_ShowReferenceManual();

// Shows the About box (created once, kept until the process ends): window
// caption "About - <name>", the title as its caption line, the version text
// (null: the program's version) and the years of the owner line (null: the
// default years). Returns the dialog's result.
int Qk_ShowAbout(const char* name, const char* title, const char* version, const char* years);

// Read-only look (the window colour behind the text) and back.
QLineEdit* Qk_SetReadOnly(QLineEdit* edit);
QLineEdit* Qk_SetEditable(QLineEdit* edit);
// Read-only text; the paper takes the main widget's window colour.
void Qk_SetTextReadOnly(QTextEdit* edit);

int Qk_MaxCharWidth(const QFont& font);
int Qk_LineHeight(const QFont& font);

// 1 go ahead, 0 do not save. Asks only when the file exists.
int Qk_ConfirmOverwriteOriginal(const char* path);
// Mode "r...": the file must exist. "w..." or "a...": asks before replacing
// an existing file and checks that it can be written. Other modes: 1.
int Qk_CheckFileAccess(QWidget* parent, const char* mode, const char* path);

// Reads one "%d" value line of a configuration file (at most 127
// characters); false at the end of the file. A line without a number leaves
// value unchanged.
bool Qk_ReadValueLine(Sv_LineReader* lines, int* value);

// The application font from "GUIDefaults": after the version line a line
// with the font family ("Default" keeps Qt's font) and a line with the point
// size (1 to 128; anything else gives 9).
void Qk_LoadGUIDefaults(QApplication* app);
// The reading part of Qk_LoadGUIDefaults on an open configuration file
// (positioned after the version line). Returns 1 with the family (up to 127
// characters) and size when a font is given, 0 when Qt's font stays.
int Qk_ReadGUIDefaults(Sv_LineReader* lines, char family[128], int* pointSize);

// Test hooks. With a box hook set, every question and message box of these
// functions and of the main window is handed to the hook, fully prepared,
// instead of being run; the hook's result stands for the button pressed
// (a QMessageBox::StandardButton). With a URL hook set, Qk_ShowURL hands the
// address to it instead of the desktop; its result is Qk_ShowURL's.
typedef int (*Qk_MessageBoxHook)(QMessageBox* box);
typedef bool (*Qk_URLHook)(const QUrl& url);
void Qk_SetMessageBoxHook(Qk_MessageBoxHook hook);
Qk_MessageBoxHook Qk_GetMessageBoxHook();
void Qk_SetURLHook(Qk_URLHook hook);

// Runs a prepared box (through the test hook when one is set) and returns
// the button pressed.
int Qk_RunMessageBox(QMessageBox* box);

#endif
