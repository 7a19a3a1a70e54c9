// The viewer's program entry: the application object, the application font,
// the main window and the event loop. Everything else starts when the work
// area has its OpenGL context (orvanta::InitSL).
//
// Test log: when ORVANTA_TEST_LOG names a file, the program records into it
// instead of interacting with the desktop: each message or question box as
// "box<TAB>caption<TAB>text" (answered with OK, or No), each web page or
// document it would open as "url<TAB>address", and the window's caption and
// status fields as "title", "exag" and "georef" lines, followed by "ready"
// once start-up has finished. Newlines and tabs in texts are written as \n
// and \t.

#include <QAction>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>
#include <QUrl>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "Qk_Application.h"
#include "Qk_GLWidget.h"
#include "Qk_GUIUtils.h"
#include "Sd_AllClasses.h"
#include "Sv_Stdlib.h"
#include "orvanta.h"

namespace {

FILE* g_testLog = nullptr;

std::string Escape(const QString& text) {
  std::string out;
  for (char c : text.toStdString()) {
    if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else {
      out += c;
    }
  }
  return out;
}

void LogLine(const char* kind, const QString& a, const QString* b = nullptr) {
  if (!g_testLog) return;
  std::string line = std::string(kind) + "\t" + Escape(a);
  if (b) line += "\t" + Escape(*b);
  fprintf(g_testLog, "%s\n", line.c_str());
  fflush(g_testLog);
}

int LogBox(QMessageBox* box) {
  const QString text = box->text();
  LogLine("box", box->windowTitle(), &text);
  return (box->standardButtons() & QMessageBox::Ok) ? QMessageBox::Ok : QMessageBox::No;
}

bool LogURL(const QUrl& url) {
  LogLine("url", url.toString());
  return true;
}

void LogState(orvanta* window) {
  LogLine("title", window->windowTitle());
  LogLine("exag", window->ExagEdit->text());
  LogLine("georef", window->GeorefEdit->text());
}

void StartTestLog(orvanta* window, const char* path) {
  g_testLog = fopen(path, "a");
  if (!g_testLog) return;
  Qk_SetMessageBoxHook(LogBox);
  Qk_SetURLHook(LogURL);
  QTimer* poll = new QTimer(window);
  QObject::connect(poll, &QTimer::timeout, window, [window, poll]() {
    if (!window->IsStarted()) return;
    poll->stop();
    LogState(window);
    LogLine("ready", QString());
    QObject::connect(window, &QWidget::windowTitleChanged, window, [window]() { LogState(window); });
    QObject::connect(window->ExagEdit, &QLineEdit::textChanged, window, [window]() { LogState(window); });
  });
  poll->start(20);
}

// Messages still waiting for their box when the process ends go to the
// console rather than being lost.
void BeforeExit(int) { orvanta::FlushPendingMessagesToConsole(); }

}  // namespace

int main(int argc, char** argv) {
  // Every object class joins the object factory before any file is read.
  Sd_RegisterAllClasses();
  Qk_GLWidget::PrepareApplication();
  Qk_Application app(argc, argv);
  Qk_LoadGUIDefaults(&app);
  Sv_UtlSetExitHook(BeforeExit);

  orvanta* window = new orvanta(nullptr, nullptr, Qt::Window);
  if (const char* log = getenv("ORVANTA_TEST_LOG")) {
    if (*log) StartTestLog(window, log);
  }
  window->show();
  QObject::connect(&app, &Qk_Application::LoadFileSG, window, &orvanta::LoadFileSL);
  QObject::connect(&app, &QGuiApplication::lastWindowClosed, &app, &QCoreApplication::quit);
  return app.exec();
}
