// The question before a stored command runs: hostile commands shown escaped, whole
// and in stored order, the box and its buttons on the screen, a Yes holding only
// for the command it was given for.

#include <gtest/gtest.h>

#include <QDialogButtonBox>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QScreen>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextEdit>
#include <QTextLayout>
#include <string>

#include "Qk_CommandApprover.h"
#include "Qk_GUIUtils.h"
#include "Sd_ActPoint3D.h"

namespace {

QString g_text;  // the last question's text and fields
bool g_onScreen = false;
QMessageBox::StandardButton g_answer = QMessageBox::No;
// The command field read back from its layout: its characters without the
// marks the field adds (no-break spaces read as spaces); each right of the one
// before or on a lower line; all inside the field; the scroll bar; the note.
QString g_shown, g_note;
bool g_inOrder = false, g_whole = false, g_scrolls = false;

void ReadCommandField(const QTextEdit* field) {
  QTextDocument* document = field->document();
  document->size();  // finishes the layout
  const double right = document->textWidth() - document->documentMargin();
  g_shown.clear();
  g_inOrder = g_whole = true;
  QPointF last(-1, -1);  // line top and x of the character before
  for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
    const QTextLayout* layout = block.layout();
    const QString text = block.text();
    for (int k = 0; k < text.size(); ++k) {
      const QChar c = text[k];
      if (c == QChar(0x202D)) continue;
      g_shown += c == QChar::Nbsp ? QChar(' ') : c;
      const QTextLine line = layout->lineForTextPosition(k);
      const QPointF at(layout->position().y() + line.y(), line.cursorToX(k));
      g_inOrder = g_inOrder && (at.x() > last.x() || (at.x() == last.x() && at.y() > last.y()));
      g_whole = g_whole && line.cursorToX(k + 1) <= right && at.x() + line.height() <= field->viewport()->height();
      last = at;
    }
  }
  g_scrolls = field->verticalScrollBar()->isVisible();
}

int ShowAndMeasure(QMessageBox* box) {
  box->show();
  ReadCommandField(box->findChild<QTextEdit*>());
  g_note.clear();
  for (const QLabel* label : box->findChildren<QLabel*>())
    if (label->text().contains("characters long")) g_note += label->text();
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

TEST(CommandQuestion, ShowsEveryCharacterWrappedInsideTheFieldInStoredOrder) {
  const std::string spaced = "echo benign > marker_benign" + std::string(300, ' ') + "; touch marker_hidden";
  const std::string letters = "echo " + std::string(65530, 'a');
  const std::pair<std::string, const char*> table[] = {  // command, shown
      {spaced, spaced.c_str()},
      {letters, letters.c_str()},
      {"cp \u0661 \u0662 ; echo \u0663>\u0664", "cp \u0661 \u0662 ; echo \u0663>\u0664"},
      {"echo \u05d0(1) [\u05d1] 2\u200f3 <\u0628\u0629>", "echo \u05d0(1) [\u05d1] 2\\u{200F}3 <\u0628\u0629>"},
      {"echo a\u2800; t\u0336o\u20dd\u3000x", "echo a\\u{2800}; t\\u{0336}o\\u{20DD}\\u{3000}x"},
      {"touch marker_a\ufffcb", "touch marker_a\\u{FFFC}b"},
  };
  Qk_CommandApprover approver(nullptr);
  Qk_SetMessageBoxHook(ShowAndMeasure);
  g_answer = QMessageBox::No;
  for (const auto& [command, shown] : table) {
    SCOPED_TRACE(command.substr(0, 40));
    EXPECT_FALSE(approver.ApproveCommand(command.c_str(), "/data/points.sd"));
    EXPECT_TRUE(g_shown == QString::fromUtf8(shown)) << g_shown.left(200).toStdString();
    EXPECT_TRUE(g_inOrder && g_onScreen);
    // Only the long command does not fit: the field says so and scrolls.
    const bool fits = command != letters;
    EXPECT_EQ(g_whole, fits);
    EXPECT_EQ(g_scrolls && g_note.contains(QLocale().toString(65535)), !fits) << g_note.toStdString();
  }
  Qk_SetMessageBoxHook(nullptr);
}

}  // namespace
