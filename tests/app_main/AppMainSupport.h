#ifndef ORVANTA_APPMAINSUPPORT_H
#define ORVANTA_APPMAINSUPPORT_H

// Helpers of the main-window tests: waiting on the event loop, recording the
// message boxes and web pages the window would show, sample SD files made
// with the scene library's writers, and running the built viewer as a child
// process.

#include <QMessageBox>
#include <QStringList>
#include <QUrl>

class QSignalSpy;
class QWidget;

#include <functional>
#include <string>
#include <vector>

#include "../app/AppTestSupport.h"

namespace orvanta_mainwindow_test {

using orvanta_apptest::Spin;
using orvanta_apptest::WaitFor;

// Clicks the key on target until spy has recorded one signal more; false
// when it never does. Shortcuts act in the active window, and another
// process on the same display may take the focus away: every try makes
// window the active window first, and events are processed between tries.
bool PressUntilSignalled(QWidget* window, QWidget* target, int key, const QSignalSpy& spy);

// One box as the window prepared it.
struct RecordedBox {
  QString caption;
  QString text;
  QStringList fields;  // texts of the box's own text fields (a question's command and file)
  QMessageBox::Icon icon;
  QMessageBox::StandardButtons buttons;
  QMessageBox::StandardButton defaultButton;
  QString yesText;       // text of the Yes button, when there is one
  bool cursorOverridden;  // an override cursor was in force while it was up
  int depth;              // boxes up at the same time, this one included
};

// Installs the box and URL hooks for its lifetime and records what reaches
// them. The answer is what every box gets; onBox runs inside each box.
class DesktopRecorder {
 public:
  explicit DesktopRecorder(QMessageBox::StandardButton answer = QMessageBox::Ok, bool urlResult = true);
  ~DesktopRecorder();
  DesktopRecorder(const DesktopRecorder&) = delete;
  DesktopRecorder& operator=(const DesktopRecorder&) = delete;

  std::vector<RecordedBox> boxes;
  std::vector<QUrl> urls;
  QMessageBox::StandardButton answer;
  bool urlResult;
  std::function<void()> onBox;
};

// Writes an SD file of plain groups with the given bounds (x0, x1, y0, y1,
// z0, z1 for each group); true on success.
bool WriteGroupsFile(const std::string& path, const std::vector<std::vector<float>>& bounds);
// An SD file holding one survey-sized group (geographic degrees).
bool WriteSampleFile(const std::string& path);
// An SD file of a reference grid and two drill holes: x 500000 ... 501000,
// y 6000000 ... 6001000 (UTM metres). A white grid of 11 x 11 lines (every
// 100 m) below the holes. Hole A runs east at y + 300 from x + 100 to
// x + 900, classes 1, 2, 5: its western half red (entry 0), its eastern
// half blue (entry 255). Hole B runs east at y + 650 from x + 200 to
// x + 800 ending in class 5: blue. The holes span 4900 m of depth, so their
// tubes are about 20 m wide (the radius is a fixed share of the depth range).
bool WriteGridAndHolesFile(const std::string& path);

// A run of the built viewer.
struct ViewerRun {
  bool exited = false;  // ended by itself (else stopped by the test)
  bool readyStop = false;  // stopped because its log said ready (and held the text awaited)
  int status = -1;      // exit status when it exited
  std::string out;      // standard output
  std::string err;      // error stream
  std::string log;      // its test log (ORVANTA_TEST_LOG)
  // The log's lines of one kind, their fields after the kind.
  std::vector<std::vector<std::string>> Lines(const std::string& kind) const;
  // The last value of a state line ("title", "exag", "georef"), or "".
  std::string Last(const std::string& kind) const;
};

// Starts the built viewer with the arguments in directory dir. It runs until
// it ends by itself, or, with stopWhenReady, until its log says "ready" and
// holds the text awaited; then it is stopped. A safety limit stops a viewer
// that hangs (a failure, not a measurement). The environment variables named
// in unset are not passed on.
ViewerRun RunViewer(const std::vector<std::string>& args, const std::string& dir, bool stopWhenReady,
                    const std::string& awaited = std::string(), const std::vector<std::string>& unset = {});

}  // namespace orvanta_mainwindow_test

#endif
