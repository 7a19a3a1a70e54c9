#include "AppMainSupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTextEdit>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>

#include "../sd_objects/BoreholeTestSupport.h"
#include "Qk_GUIUtils.h"
#include "Sd_Grid2D.h"
#include "Sd_Parent.h"
#include "TDR_Manager.h"
#include "TDR_Tags.h"
#include "TestSupport.h"

namespace orvanta_mainwindow_test {

namespace {

DesktopRecorder* g_recorder = nullptr;
int g_depth = 0;

int RecordBox(QMessageBox* box) {
  if (!g_recorder) return QMessageBox::NoButton;
  ++g_depth;
  RecordedBox r;
  r.caption = box->windowTitle();
  r.text = box->text();
  for (const QTextEdit* field : box->findChildren<QTextEdit*>()) r.fields << field->toPlainText();
  r.icon = box->icon();
  r.buttons = box->standardButtons();
  r.defaultButton = box->defaultButton() ? box->standardButton(box->defaultButton()) : QMessageBox::NoButton;
  if (QAbstractButton* yes = box->button(QMessageBox::Yes)) r.yesText = yes->text();
  r.cursorOverridden = QApplication::overrideCursor() != nullptr;
  r.depth = g_depth;
  g_recorder->boxes.push_back(r);
  if (g_recorder->onBox) g_recorder->onBox();
  --g_depth;
  return g_recorder->answer;
}

bool RecordURL(const QUrl& url) {
  if (!g_recorder) return false;
  g_recorder->urls.push_back(url);
  return g_recorder->urlResult;
}

std::vector<std::string> SplitTabs(const std::string& line) {
  std::vector<std::string> fields;
  std::string field;
  std::istringstream in(line);
  while (std::getline(in, field, '\t')) fields.push_back(field);
  return fields;
}

int CountLines(const std::string& text, const std::string& kind) {
  int n = 0;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (line.compare(0, kind.size() + 1, kind + "\t") == 0) ++n;
  }
  return n;
}

}  // namespace

DesktopRecorder::DesktopRecorder(QMessageBox::StandardButton a, bool u) : answer(a), urlResult(u) {
  g_recorder = this;
  Qk_SetMessageBoxHook(RecordBox);
  Qk_SetURLHook(RecordURL);
}

DesktopRecorder::~DesktopRecorder() {
  Qk_SetMessageBoxHook(nullptr);
  Qk_SetURLHook(nullptr);
  g_recorder = nullptr;
}

bool PressUntilSignalled(QWidget* window, QWidget* target, int key, const QSignalSpy& spy) {
  const qsizetype before = spy.count();
  return WaitFor([&] {
    if (spy.count() == before) {
      window->activateWindow();
      QApplication::setActiveWindow(window);
      QTest::keyClick(target, static_cast<Qt::Key>(key));
    }
    return spy.count() > before;
  });
}

bool WriteGroupsFile(const std::string& path, const std::vector<std::vector<float>>& bounds) {
  TDR_Manager manager;
  if (manager.OpenFile(path.c_str(), "wb") != 0) return false;
  bool ok = manager.WriteHeader() == 0;
  int n = 0;
  for (const std::vector<float>& b : bounds) {
    if (b.size() != 6) return false;
    Sd_Parent group;
    group.SetName(("Group " + std::to_string(++n)).c_str());
    for (int axis = 0; axis < 3; ++axis) group.SetBounds(axis, b[2 * axis], b[2 * axis + 1]);
    group.UpdateExtentsFromBounds();
    ok = ok && group.SaveObject(&manager, 1, 0) == 0;
  }
  ok = ok && manager.WriteTag(TDR_TAG_EOF, 1, 0, 0, 1) == 0;
  return manager.CloseFile() == 0 && ok;
}

bool WriteSampleFile(const std::string& path) {
  return WriteGroupsFile(path, {{-63.8f, -63.4f, 44.4f, 44.7f, -180.0f, 0.0f}});
}

bool WriteGridAndHolesFile(const std::string& path) {
  constexpr double kX0 = 500000.0, kY0 = 6000000.0;
  Sd_Grid2D grid(11, 11, PackColour(255, 255, 255, 255));
  grid.SetBounds(0, kX0, kX0 + 1000);
  grid.SetBounds(1, kY0, kY0 + 1000);
  grid.SetBounds(2, -6000.0f, -5000.0f);
  const std::vector<borehole_test::Hole> holes = {
      {{kX0 + 100, kY0 + 300, -50, 1}, {kX0 + 500, kY0 + 300, -2000, 2}, {kX0 + 900, kY0 + 300, -4000, 5}},
      {{kX0 + 200, kY0 + 650, -100, 1}, {kX0 + 800, kY0 + 650, -4950, 5}}};
  TDR_Manager m;
  return m.OpenFile(path.c_str(), "wb") == 0 && m.WriteHeader() == 0 && grid.SaveObject(&m, 1, 0) == 0 &&
         borehole_test::Write(&m, borehole_test::Text(holes), borehole_test::RedToBlue()) &&
         m.WriteTag(TDR_TAG_EOF, 1, 0, 0, 1) == 0 && m.CloseFile() == 0;
}

std::vector<std::vector<std::string>> ViewerRun::Lines(const std::string& kind) const {
  std::vector<std::vector<std::string>> out;
  std::istringstream in(log);
  std::string line;
  while (std::getline(in, line)) {
    std::vector<std::string> fields = SplitTabs(line);
    if (!fields.empty() && fields[0] == kind) {
      fields.erase(fields.begin());
      out.push_back(fields);
    }
  }
  return out;
}

std::string ViewerRun::Last(const std::string& kind) const {
  const std::vector<std::vector<std::string>> lines = Lines(kind);
  if (lines.empty() || lines.back().empty()) return std::string();
  return lines.back()[0];
}

ViewerRun RunViewer(const std::vector<std::string>& args, const std::string& dir, bool stopWhenReady,
                    const std::string& awaited, const std::vector<std::string>& unset) {
  ViewerRun run;
  orvanta_test::TempDir io;
  const std::string outPath = io.file("out.txt");
  const std::string errPath = io.file("err.txt");
  const std::string logPath = io.file("log.txt");

  std::vector<std::string> words;
  words.push_back(ORVANTA_EXE);
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(&w[0]);
  argv.push_back(nullptr);

  fflush(stdout);
  fflush(stderr);
  const pid_t pid = fork();
  if (pid == 0) {
    if (chdir(dir.c_str()) != 0) _exit(126);
    const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (out < 0 || err < 0) _exit(126);
    dup2(out, 1);
    dup2(err, 2);
    setenv("ORVANTA_TEST_LOG", logPath.c_str(), 1);
    for (const std::string& name : unset) unsetenv(name.c_str());
    execv(argv[0], argv.data());
    _exit(127);
  }
  if (pid < 0) return run;

  QElapsedTimer clock;
  clock.start();
  int status = 0;
  for (;;) {
    const pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid) {
      run.exited = WIFEXITED(status);
      run.status = run.exited ? WEXITSTATUS(status) : -1;
      break;
    }
    const std::string log = orvanta_test::ReadFileBytes(logPath);
    const bool ready =
        stopWhenReady && CountLines(log, "ready") > 0 && (awaited.empty() || log.find(awaited) != std::string::npos);
    if (ready || clock.elapsed() > 90000) {
      run.readyStop = ready;
      kill(pid, ready ? SIGTERM : SIGKILL);
      waitpid(pid, &status, 0);
      break;
    }
    usleep(20000);
  }
  run.out = orvanta_test::ReadFileBytes(outPath);
  run.err = orvanta_test::ReadFileBytes(errPath);
  run.log = orvanta_test::ReadFileBytes(logPath);
  return run;
}

}  // namespace orvanta_mainwindow_test
