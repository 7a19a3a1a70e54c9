#include "Qk_TestLog.h"

#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>
#include <QUrl>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "Qk_GUIUtils.h"
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

}  // namespace

void Qk_StartTestLogFromEnvironment(orvanta* window) {
  const char* log = getenv("ORVANTA_TEST_LOG");
  if (window && log && *log) StartTestLog(window, log);
}
