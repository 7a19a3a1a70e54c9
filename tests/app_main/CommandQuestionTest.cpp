// The question before a stored command runs, on its own: what it shows of
// hostile commands (many lines, direction overrides, tabs and carriage
// returns), that it and its buttons stay on the screen, and that a Yes holds
// only for the command it showed.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialogButtonBox>
#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>
#include <QTextEdit>
#include <cstdio>
#include <string>
#include <vector>

#include "Qk_CommandApprover.h"
#include "Qk_GUIUtils.h"
#include "Sd_ActPoint3D.h"

namespace {

// What the last question showed, measured while it was up.
struct Shown {
  QString text;  // the box's text and every read-only field's text
  int height = 0;
  bool onScreen = false;  // the whole box and its buttons lie on the screen
};
std::vector<Shown> g_shown;
QMessageBox::StandardButton g_answer = QMessageBox::No;

int ShowAndMeasure(QMessageBox* box) {
  box->show();
  Shown s;
  s.text = box->text();
  for (const QTextEdit* field : box->findChildren<QTextEdit*>()) s.text += "\n" + field->toPlainText();
  const QRect screen = box->screen()->availableGeometry();
  const QDialogButtonBox* buttons = box->findChild<QDialogButtonBox*>();
  s.height = box->frameGeometry().height();
  s.onScreen = buttons && screen.contains(box->frameGeometry()) &&
               screen.contains(QRect(buttons->mapToGlobal(QPoint(0, 0)), buttons->size()));
  box->hide();
  g_shown.push_back(s);
  return g_answer;
}

TEST(CommandQuestion, ShowsEachCommandAsItRunsOnScreenAndAYesHoldsForThatCommandOnly) {
  std::string manyLines;
  for (int i = 1; i <= 400; ++i) manyLines += ": line " + std::to_string(i) + "\n";
  manyLines += ": last";
  const std::string commands[] = {manyLines, "echo \xE2\x80\xAE" "txt.exe", "a\tb\rc\x1b\\d\xff", ":", ": other"};
  const char* c[5];
  for (int i = 0; i < 5; ++i) c[i] = commands[i].c_str();
  const double p[5][3] = {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {3, 0, 0}, {4, 0, 0}};
  const double* xyz[5] = {p[0], p[1], p[2], p[3], p[4]};
  Sd_ActPoint3D set(5, 3, xyz, nullptr, nullptr, c);

  Qk_CommandApprover approver(nullptr);
  Sd_ActPoint3D::SetCommandApprover(&approver);
  Qk_SetMessageBoxHook(ShowAndMeasure);
  struct Uninstall {
    ~Uninstall() {
      Qk_SetMessageBoxHook(nullptr);
      Sd_ActPoint3D::SetCommandApprover(nullptr);
    }
  } uninstall;

  struct Row {
    int point;
    QMessageBox::StandardButton answer;
    bool asked;  // a question came up
    bool runs;
    std::vector<QString> shown;     // parts of the shown text
    std::vector<QString> notShown;  // characters that must not reach the screen raw
  };
  const Row rows[] = {
      {0, QMessageBox::Yes, true, true, {": line 1\\n", ": line 400\\n", ": last"}, {}},
      {1, QMessageBox::No, true, false, {"echo \\u{202E}txt.exe"}, {QString(QChar(0x202E))}},
      {2, QMessageBox::No, true, false, {"a\\tb\\rc\\x1b\\\\d\\xff"}, {"\t", "\r", QString(QChar(0x1b))}},
      {3, QMessageBox::Yes, true, true, {}, {}},
      // Another command of the same set asks again; No runs nothing.
      {4, QMessageBox::No, true, false, {": other"}, {}},
      // The command a Yes was given for runs without asking.
      {3, QMessageBox::No, false, true, {}, {}},
      {4, QMessageBox::Yes, true, true, {}, {}},
      {4, QMessageBox::No, false, true, {}, {}},
  };
  int n = 0;
  for (const Row& row : rows) {
    SCOPED_TRACE("row " + std::to_string(n++));
    g_shown.clear();
    g_answer = row.answer;
    EXPECT_EQ(set.RunCommand(row.point), row.runs);
    ASSERT_EQ(g_shown.size(), row.asked ? 1u : 0u);
    if (!row.asked) continue;
    const Shown& s = g_shown[0];
    std::printf("command %d: question %d px high\n", row.point, s.height);
    EXPECT_TRUE(s.onScreen) << s.height;
    for (const QString& part : row.shown) EXPECT_TRUE(s.text.contains(part)) << part.toStdString();
    for (const QString& raw : row.notShown) EXPECT_FALSE(s.text.contains(raw)) << s.text.toStdString();
  }
}

}  // namespace
