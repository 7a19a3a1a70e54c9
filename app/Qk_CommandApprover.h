#ifndef QK_COMMANDAPPROVER_H
#define QK_COMMANDAPPROVER_H

// The viewer's answer to a data set that wants to run a command stored in
// its file: a question to the user that shows the exact command and the
// file it came from, with No as the default. The main window installs one
// for its lifetime.

#include "Sd_ActPoint3D.h"

class QWidget;

class Qk_CommandApprover : public Sd_CommandApprover {
 public:
  // parent: the window the question belongs to (null: the main widget).
  explicit Qk_CommandApprover(QWidget* parent) : m_parent(parent) {}
  bool ApproveCommand(const char* command, const char* file) override;

 private:
  QWidget* m_parent;
};

#endif
