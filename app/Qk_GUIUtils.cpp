#include "Qk_GUIUtils.h"

#include <QApplication>
#include <QCursor>
#include <QByteArray>
#include <QDesktopServices>
#include <QFileInfo>
#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMainWindow>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QRegion>
#include <QScreen>
#include <QTextEdit>
#include <QUrl>
#include <QWindow>

#include <algorithm>
#include <cstdarg>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "Qk_AboutDL.h"
#include "Sv_Debug.h"
#include "Sv_LineReader.h"
#include "Sv_Stdio.h"
#include "Sv_Stdlib.h"

namespace {

QPointer<QWidget> g_mainWidget;
int g_busy = 0;
QPointer<Qk_AboutDL> g_about;
Qk_MessageBoxHook g_boxHook = nullptr;
Qk_URLHook g_urlHook = nullptr;

// Where the reference manual can be obtained when it is not installed.
const char* const kManualAddress = "https://orvanta.example.org/manuals/";

// The dock layout of a main window is a few hundred bytes; anything far
// larger is not a layout this program wrote.
const int32_t kMaxDockLayoutBytes = 1 << 20;

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  int n = vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string out;
  if (n > 0) {
    out.resize(static_cast<size_t>(n) + 1);
    vsnprintf(&out[0], out.size(), format, args);
    out.resize(static_cast<size_t>(n));
  }
  va_end(args);
  return out;
}

bool WriteInt(FILE* file, int32_t value) { return Sv_UtlFwriteCopy(&value, 4, 1, file, 1) == 1; }
bool ReadInt(FILE* file, int32_t* value) { return Sv_UtlFread(value, 4, 1, file, 1) == 1; }

// The busy cursor is lifted for the time a box is up.
class BusyPause {
 public:
  BusyPause() : m_wasBusy(g_busy) {
    if (m_wasBusy) QApplication::restoreOverrideCursor();
  }
  ~BusyPause() {
    if (m_wasBusy) QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
  }

 private:
  int m_wasBusy;
};

}  // namespace

void Qk_SetMainWidget(QWidget* widget) { g_mainWidget = widget; }
QWidget* Qk_GetMainWidget() { return g_mainWidget.data(); }

void Qk_SetMessageBoxHook(Qk_MessageBoxHook hook) { g_boxHook = hook; }
Qk_MessageBoxHook Qk_GetMessageBoxHook() { return g_boxHook; }
void Qk_SetURLHook(Qk_URLHook hook) { g_urlHook = hook; }

int Qk_RunMessageBox(QMessageBox* box) {
  if (!box) return QMessageBox::NoButton;
  if (g_boxHook) return g_boxHook(box);
  box->exec();
  const QMessageBox::StandardButton pressed = box->standardButton(box->clickedButton());
  if (pressed != QMessageBox::NoButton) return pressed;
  // Closed with Escape or the window's close button: the escape button.
  return box->escapeButton() ? box->standardButton(box->escapeButton()) : QMessageBox::NoButton;
}

// ---------------------------------------------------------------------------
// Message boxes and the busy cursor

int Qk_ShowMessage(int level, const char* text, const char* appName, QWidget* parent) {
  BusyPause pause;
  const QString name = QString::fromLocal8Bit(appName ? appName : "");
  QString caption;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  switch (level) {
    case SV_LEVEL_ERROR:
      caption = QString("%1 - Error").arg(name);
      icon = QMessageBox::Critical;
      break;
    case SV_LEVEL_WARNING:
      caption = QString("%1 - Warning").arg(name);
      icon = QMessageBox::Warning;
      break;
    case SV_LEVEL_INFO:
      caption = QString("%1 - Info").arg(name);
      icon = QMessageBox::Information;
      break;
    default:
      caption = name;
      break;
  }
  QMessageBox box(icon, caption, QString::fromLocal8Bit(text ? text : ""), QMessageBox::Ok,
                  parent ? parent : Qk_GetMainWidget());
  // Messages are plain text; a file name in angle brackets is no markup.
  box.setTextFormat(Qt::PlainText);
  box.setDefaultButton(QMessageBox::Ok);
  Qk_RunMessageBox(&box);
  return 0;
}

void Qk_BusyCursorOn() {
  QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
  g_busy = 1;
}

void Qk_BusyCursorOff() {
  QApplication::restoreOverrideCursor();
  g_busy = 0;
}

int Qk_IsBusyCursorOn() { return g_busy; }

// ---------------------------------------------------------------------------
// Geometry and dock layout

void Qk_SaveGeometry(QWidget* widget, FILE* file) {
  if (!widget || !file) return;
  const bool maximized = widget->isMaximized();
  // Qt reports the maximized rectangle as the geometry; the rectangle to
  // come back to is the normal one.
  const QRect r = maximized ? widget->normalGeometry() : widget->geometry();
  WriteInt(file, r.x());
  WriteInt(file, r.y());
  WriteInt(file, r.width());
  WriteInt(file, r.height());
  WriteInt(file, maximized ? 1 : 0);
}

int Qk_RestoreGeometry(QWidget* widget, FILE* file) {
  if (!file) return -1;
  int32_t v[5];
  for (int i = 0; i < 5; ++i) {
    if (!ReadInt(file, &v[i])) return -1;
  }
  Qk_ApplyGeometry(widget, v);
  return 0;
}

namespace {

// Where a stored window rectangle goes. A rectangle that meets no screen is
// not applied. It stays where it is when the screens' available areas hold
// it whole; otherwise it goes onto the screen it overlaps most, shrunk to
// that screen's area where it is larger. A size below smallest is raised
// first, never beyond the screen. The words may be anything a file held:
// they are brought within Qt's largest widget size before any rectangle is
// made, so no edge overflows. False when the size is not positive, there is
// no screen or the rectangle meets none.
bool FitToScreens(const int32_t v[4], const QSize& smallest, QRect* out) {
  if (v[2] <= 0 || v[3] <= 0) return false;
  const int64_t limit = QWIDGETSIZE_MAX;
  const int64_t x = std::clamp<int64_t>(v[0], -limit, limit);
  const int64_t y = std::clamp<int64_t>(v[1], -limit, limit);
  const QRect stored(static_cast<int>(x), static_cast<int>(y), static_cast<int>(std::min<int64_t>(v[2], limit)),
                     static_cast<int>(std::min<int64_t>(v[3], limit)));
  QList<QRect> areas;
  bool meets = false;
  for (QScreen* screen : QGuiApplication::screens()) {
    if (!screen->availableGeometry().isEmpty()) areas.append(screen->availableGeometry());
    meets = meets || screen->geometry().intersects(stored);
  }
  if (areas.isEmpty() || !meets) return false;
  const int64_t w = std::min<int64_t>(std::max<int64_t>(v[2], smallest.width()), limit);
  const int64_t h = std::min<int64_t>(std::max<int64_t>(v[3], smallest.height()), limit);
  const QRect r(static_cast<int>(x), static_cast<int>(y), static_cast<int>(w), static_cast<int>(h));
  QRegion outside(r);
  for (const QRect& area : areas) outside -= area;
  if (outside.isEmpty()) {
    *out = r;
    return true;
  }
  // The screen it overlaps most, else (it meets a screen only outside the
  // available areas) the one nearest its centre.
  const QRect* best = nullptr;
  int64_t bestOverlap = -1, bestDistance = 0;
  for (const QRect& area : areas) {
    const QRect common = area.intersected(r);
    const int64_t overlap = common.isEmpty() ? 0 : static_cast<int64_t>(common.width()) * common.height();
    const int64_t cx = x + w / 2, cy = y + h / 2;
    const int64_t dx = std::max<int64_t>({area.left() - cx, cx - area.right(), 0});
    const int64_t dy = std::max<int64_t>({area.top() - cy, cy - area.bottom(), 0});
    const int64_t distance = dx * dx + dy * dy;
    if (overlap > bestOverlap || (overlap == bestOverlap && distance < bestDistance)) {
      best = &area;
      bestOverlap = overlap;
      bestDistance = distance;
    }
  }
  const int64_t fw = std::min<int64_t>(w, best->width());
  const int64_t fh = std::min<int64_t>(h, best->height());
  const int64_t fx = std::clamp<int64_t>(x, best->left(), best->left() + best->width() - fw);
  const int64_t fy = std::clamp<int64_t>(y, best->top(), best->top() + best->height() - fh);
  *out = QRect(static_cast<int>(fx), static_cast<int>(fy), static_cast<int>(fw), static_cast<int>(fh));
  return true;
}

}  // namespace

bool Qk_ApplyGeometry(QWidget* widget, const int32_t v[5], const QSize& smallest) {
  if (!widget) return false;
  QRect r;
  const bool fits = FitToScreens(v, smallest, &r);
  if (!v[4]) {
    if (fits) widget->setGeometry(r);
    return fits;
  }
  // Maximized. Before the window is first shown its normal rectangle is
  // set too, to come back to when it is no longer maximized (once shown,
  // moving it in the same step as maximizing it would race on the display).
  if (fits && !widget->isVisible()) widget->setGeometry(r);
  widget->showMaximized();
  // Maximizing is the window manager's work; where none runs the window
  // takes its screen's available area itself. Sizing the native window
  // keeps the widget's maximized state and normal rectangle.
  QScreen* screen = fits ? QGuiApplication::screenAt(r.center()) : nullptr;
  if (!screen) screen = widget->screen();
  if (screen && widget->windowHandle()) widget->windowHandle()->setGeometry(screen->availableGeometry());
  return true;
}

void Qk_SaveDockLayout(QMainWindow* window, FILE* file) {
  if (!window || !file) return;
  const QByteArray state = window->saveState();
  WriteInt(file, static_cast<int32_t>(state.size()));
  if (!state.isEmpty()) fwrite(state.constData(), 1, static_cast<size_t>(state.size()), file);
}

int Qk_RestoreDockLayout(QMainWindow* window, FILE* file) {
  if (!file) return -1;
  int32_t n = 0;
  if (!ReadInt(file, &n) || n < 0 || n > kMaxDockLayoutBytes) return -1;
  QByteArray state(n, '\0');
  if (n > 0 && fread(state.data(), 1, static_cast<size_t>(n), file) != static_cast<size_t>(n)) return -1;
  if (window) window->restoreState(state);
  return 0;
}

// ---------------------------------------------------------------------------
// Web pages, documents and the About box

bool Qk_ShowURL(const char* address) {
  const QString text = QString::fromLocal8Bit(address ? address : "");
  QUrl url;
  // A path names a local document; anything else is a web address.
  if (text.startsWith('/') || (!text.contains("://") && QFileInfo::exists(text))) {
    url = QUrl::fromLocalFile(QFileInfo(text).absoluteFilePath());
  } else {
    url = QUrl::fromUserInput(text);
  }
  bool shown = false;
  if (url.isValid() && !text.isEmpty()) shown = g_urlHook ? g_urlHook(url) : QDesktopServices::openUrl(url);
  if (!shown) {
    Sv_Debug::Message(SV_LEVEL_ERROR,
                      "Unable to display a web browser. Ensure that you have a web browser installed.");
  }
  return shown;
}

bool Qk_ShowReferenceManual() {
  const char* home = getenv("WRUHOME");
  if (!home) return false;
  const std::string path = std::string(home) + "/manuals/Reference_Manual.pdf";
  if (Sv_UtlFileExists(path.c_str())) {
    if (!Qk_ShowURL(path.c_str())) {
      Sv_Debug::Message(SV_LEVEL_WARNING,
                        "A web browser could not be located. Please make sure a browser is installed on your "
                        "system.");
      return false;
    }
    return true;
  }
  const std::string text = Format(
      "The file '%s' could not be found.\nPlease download this file from\n\n     %s\n\nand place it in the "
      "'%s%cmanuals%c' directory, otherwise online help\nwill not be available.",
      path.c_str(), kManualAddress, home, '/', '/');
  Sv_Debug::Message(SV_LEVEL_WARNING, text.c_str());
  return false;
}

int Qk_ShowAbout(const char* name, const char* title, const char* version, const char* years) {
  if (!g_about) g_about = new Qk_AboutDL(Qk_GetMainWidget(), nullptr, true);
  g_about->SetupDialog(name, title, version, years);
  return g_about->exec();
}

// ---------------------------------------------------------------------------
// Looks and measures

QLineEdit* Qk_SetReadOnly(QLineEdit* edit) {
  if (!edit) return edit;
  edit->setReadOnly(true);
  QPalette p = edit->palette();
  p.setColor(QPalette::Base, p.color(QPalette::Window));
  edit->setPalette(p);
  return edit;
}

QLineEdit* Qk_SetEditable(QLineEdit* edit) {
  if (!edit) return edit;
  edit->setReadOnly(false);
  QPalette p = edit->palette();
  p.setColor(QPalette::Base, QApplication::palette(edit).color(QPalette::Base));
  edit->setPalette(p);
  return edit;
}

void Qk_SetTextReadOnly(QTextEdit* edit) {
  if (!edit) return;
  edit->setReadOnly(true);
  if (QWidget* main = Qk_GetMainWidget()) {
    QPalette p = edit->palette();
    p.setColor(QPalette::Base, main->palette().color(QPalette::Window));
    edit->setPalette(p);
  }
}

int Qk_MaxCharWidth(const QFont& font) { return QFontMetrics(font).maxWidth(); }

int Qk_LineHeight(const QFont& font) {
  const QFontMetrics m(font);
  return m.ascent() + m.descent();
}

// ---------------------------------------------------------------------------
// Save-time questions

int Qk_ConfirmOverwriteOriginal(const char* path) {
  int result = 1;
  if (path && Sv_UtlFileExists(path)) {
    char* name = Sv_UtlGetFileName(path);
    const std::string text = Format(
        "Saving the file, '%s', will overwrite the original file on the disk.\nDo you really want to save?",
        name ? name : path);
    free(name);
    BusyPause pause;
    QMessageBox box(QMessageBox::Information, "Save File", QString::fromLocal8Bit(text.c_str()),
                    QMessageBox::Yes | QMessageBox::No, nullptr);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::Yes);
    if (QAbstractButton* yes = box.button(QMessageBox::Yes)) yes->setText("Save");
    if (Qk_RunMessageBox(&box) == QMessageBox::No) result = 0;
  }
  return result;
}

int Qk_CheckFileAccess(QWidget* parent, const char* mode, const char* path) {
  const char m = mode ? mode[0] : '\0';
  if (!path) path = "";
  if (m == 'r') {
    if (!Sv_UtlFileExists(path)) {
      Sv_Debug::Error("The filename '%s' does not exist.", path);
      return 0;
    }
    return 1;
  }
  if (m == 'w' || m == 'a') {
    if (Sv_UtlFileExists(path)) {
      const std::string text = Format("Warning! File '%s' already exists. Overwrite it?", path);
      QMessageBox box(QMessageBox::Warning, "Save File", QString::fromLocal8Bit(text.c_str()),
                      QMessageBox::Yes | QMessageBox::No, parent);
      box.setTextFormat(Qt::PlainText);
      if (Qk_RunMessageBox(&box) != QMessageBox::Yes) return 0;
    }
    if (!Sv_UtlCanWrite(path)) {
      Sv_Debug::Message(SV_LEVEL_ERROR, "You do not have write permission in this directory!");
      return 0;
    }
    return 1;
  }
  return 1;
}

// ---------------------------------------------------------------------------
// Configuration lines and the application font

bool Qk_ReadValueLine(Sv_LineReader* lines, int* value) {
  std::string line;
  if (!lines->ReadLine(&line, Sv_LineReader::kConfigurationLine)) return false;
  int v = 0;
  if (sscanf(line.c_str(), "%d", &v) == 1) *value = v;
  return true;
}

int Qk_ReadGUIDefaults(Sv_LineReader* lines, char family[128], int* pointSize) {
  if (!lines || !family || !pointSize) return 0;
  family[0] = '\0';
  std::string line;
  const size_t width = Sv_LineReader::kConfigurationLine;
  if (!lines->ReadLine(&line, width)) return 0;
  if (sscanf(line.c_str(), "%127s", family) != 1) {
    family[0] = '\0';
    return 0;
  }
  if (strcmp(family, "Default") == 0) return 0;
  int size = 0;
  if (!lines->ReadLine(&line, width) || sscanf(line.c_str(), "%d", &size) != 1 || size < 1 || size > 128) size = 9;
  *pointSize = size;
  return 1;
}

void Qk_LoadGUIDefaults(QApplication* app) {
  if (!app) return;
  Sv_LineReader file;
  if (!Sv_UtlOpenConfigLines("GUIDefaults", nullptr, &file)) return;
  char family[128];
  int size = 9;
  if (Qk_ReadGUIDefaults(&file, family, &size)) {
    QFont font(QString::fromLocal8Bit(family));
    font.setPointSize(size);
    // The application font reaches every existing widget as well.
    app->setFont(font);
  }
}
