#ifndef QK_COMMANDAPPROVER_H
#define QK_COMMANDAPPROVER_H

// The viewer's answer to a data set that wants to run a command stored in
// its file: a question to the user that shows the exact command and the
// file it came from, with No as the default. The main window installs one
// for its lifetime.

#include <QString>
#include <functional>
#include <string>

#include "Sd_ActPoint3D.h"

class QFont;
class QWidget;

class Qk_CommandApprover : public Sd_CommandApprover {
 public:
  // parent: the window the question belongs to (null: the main widget).
  explicit Qk_CommandApprover(QWidget* parent) : m_parent(parent) {}
  // Asks with a warning box: the command and the file each in a read-only
  // field of bounded size that wraps anywhere and scrolls downwards, so the
  // box and its buttons stay on the screen whatever the command holds and
  // nothing of it stands out of sight sideways. A field that cannot show all
  // of its text says so below it, with the text's length.
  bool ApproveCommand(const char* command, const char* file) override;

  // The bytes as they are meant, written so that nothing in them is hidden
  // or moved when shown: a backslash as \\, line feed, carriage return and
  // tab as \n, \r and \t (a line feed also ends the shown line), other
  // control bytes and bytes that are no valid UTF-8 as \xNN, and characters
  // that draw nothing, draw on their neighbours or change the direction or
  // form of others (controls, format and direction marks, non-spacing and
  // enclosing marks, line and paragraph separators, spaces other than the
  // plain space, blank letters and the empty braille pattern, private and
  // unassigned characters, and any other character that takes no room in
  // `font`, the font the text is shown in, such as the object replacement
  // character) as \u{NNNN}. Every shown line starts with a left-to-right
  // override (U+202D), so it reads left to right in the order of the bytes
  // whatever scripts it holds.
  static QString VisibleText(const std::string& bytes, const QFont& font);
  // The number of characters in the bytes: a byte that is no valid UTF-8
  // counts as one.
  static qsizetype CharacterCount(const std::string& bytes);

  // True while the question is open. The question runs inside a click on
  // the scene: what would change the scene meanwhile (a file arriving to be
  // opened) must wait until it is answered.
  bool IsAsking() const { return m_asking; }
  // Called after each answer.
  void SetAnsweredHook(std::function<void()> hook) { m_answered = std::move(hook); }

 private:
  QWidget* m_parent;
  bool m_asking = false;
  std::function<void()> m_answered;
};

#endif
