// The question before a stored command runs: hostile commands shown escaped, the
// box and its buttons on the screen, a Yes holding only for the command it was given for.

#include <gtest/gtest.h>

#include <QDialogButtonBox>
#include <QMessageBox>
#include <QScreen>
#include <QTextEdit>
#include <string>

#include "Qk_CommandApprover.h"
#include "Qk_GUIUtils.h"
#include "Sd_ActPoint3D.h"

namespace {

QString g_text;  // the last question's text and fields
bool g_onScreen = false;
QMessageBox::StandardButton g_answer = QMessageBox::No;

int ShowAndMeasure(QMessageBox* box) {
  box->show();
  g_text = box->text();
  for (const QTextEdit* field : box->findChildren<QTextEdit*>()) g_text += "\n" + field->toPlainText();
  const QRect screen = box->screen()->availableGeometry();
  const QDialogButtonBox* buttons = box->findChild<QDialogButtonBox*>();
  g_onScreen = buttons && screen.contains(box->frameGeometry()) &&
               screen.contains(QRect(buttons->mapToGlobal(QPoint(0, 0)), buttons->size()));
  box->hide();
  return g_answer;
}

TEST(CommandQuestion, ShowsHostileCommandsEscapedOnScreenAndAYesHoldsForThatCommandOnly) {
  std::string manyLines;
  for (int i = 1; i <= 400; ++i) manyLines += ": line " + std::to_string(i) + "\n";
  const char* commands[3] = {manyLines.c_str(), "echo \xE2\x80\xAE" "txt.exe", "a\tb\rc\x1b\\d\xff"};
  const double origin[3] = {0, 0, 0}, *xyz[3] = {origin, origin, origin};
  Sd_ActPoint3D set(3, 3, xyz, nullptr, nullptr, commands);
  Qk_CommandApprover approver(nullptr);
  Sd_ActPoint3D::SetCommandApprover(&approver);
  Qk_SetMessageBoxHook(ShowAndMeasure);

  const auto run = [&](int point, QMessageBox::StandardButton answer) {
    g_text.clear();
    g_answer = answer;
    return set.RunCommand(point);
  };
  EXPECT_TRUE(run(0, QMessageBox::Yes));
  EXPECT_TRUE(g_onScreen);
  for (const char* part : {": line 1\\n", ": line 400\\n"}) EXPECT_TRUE(g_text.contains(part)) << part;
  // A Yes for one command does not answer another.
  EXPECT_FALSE(run(1, QMessageBox::No));
  EXPECT_TRUE(g_text.contains("echo \\u{202E}txt.exe") && !g_text.contains(QChar(0x202E))) << g_text.toStdString();
  EXPECT_FALSE(run(2, QMessageBox::No));
  EXPECT_TRUE(g_text.contains("a\\tb\\rc\\x1b\\\\d\\xff") && !g_text.contains('\t') && !g_text.contains('\r') &&
              !g_text.contains(QChar(0x1b)))
      << g_text.toStdString();
  // The command a Yes was given for runs without asking.
  EXPECT_TRUE(run(0, QMessageBox::No));
  EXPECT_TRUE(g_text.isEmpty());
  Qk_SetMessageBoxHook(nullptr);
  Sd_ActPoint3D::SetCommandApprover(nullptr);
}

}  // namespace
