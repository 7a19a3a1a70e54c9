#include "Qk_CommandApprover.h"

#include <QMessageBox>
#include <QString>

#include "Qk_GUIUtils.h"

bool Qk_CommandApprover::ApproveCommand(const char* command, const char* file) {
  const QString where = file && *file ? QString::fromLocal8Bit(file) : QObject::tr("(not read from a file)");
  const QString text =
      QObject::tr("A data set asks to run this command:\n\n%1\n\nIt was read from the file:\n%2\n\n"
                  "Only run commands from files you trust. Run it? Yes lets this data set run its "
                  "commands until it is unloaded.")
          .arg(QString::fromLocal8Bit(command ? command : ""), where);
  QMessageBox box(QMessageBox::Warning, QObject::tr("Orvanta - Run a command?"), text,
                  QMessageBox::Yes | QMessageBox::No, m_parent ? m_parent : Qk_GetMainWidget());
  // A command is shown as it is, never as markup.
  box.setTextFormat(Qt::PlainText);
  box.setDefaultButton(QMessageBox::No);
  box.setEscapeButton(QMessageBox::No);
  m_asking = true;
  const bool yes = Qk_RunMessageBox(&box) == QMessageBox::Yes;
  m_asking = false;
  if (m_answered) m_answered();
  return yes;
}
