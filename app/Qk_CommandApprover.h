#ifndef QK_COMMANDAPPROVER_H
#define QK_COMMANDAPPROVER_H

// The viewer's answer to a data set that wants to run a command stored in
// its file: a question to the user that shows the exact command and the
// file it came from, with No as the default. The main window installs one
// for its lifetime.

#include <functional>

#include "Sd_ActPoint3D.h"

class QWidget;

class Qk_CommandApprover : public Sd_CommandApprover {
 public:
  // parent: the window the question belongs to (null: the main widget).
  explicit Qk_CommandApprover(QWidget* parent) : m_parent(parent) {}
  bool ApproveCommand(const char* command, const char* file) override;

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
