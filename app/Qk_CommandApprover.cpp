#include "Qk_CommandApprover.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QScreen>
#include <QTextEdit>
#include <QVBoxLayout>
#include <algorithm>

#include "Qk_GUIUtils.h"

namespace {

// Characters that show nothing of themselves or act on others without
// showing: written as \u{NNNN}.
bool HiddenCharacter(char32_t c) {
  switch (QChar::category(c)) {
    case QChar::Other_Control:
    case QChar::Other_Format:
    case QChar::Other_Surrogate:
    case QChar::Other_PrivateUse:
    case QChar::Other_NotAssigned:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
      return true;
    case QChar::Separator_Space:
      // A space that looks like the shell's separator but is none.
      return c != U' ';
    default:
      break;
  }
  // Ignorable characters of other categories (fillers, variation selectors).
  return c == 0x034F || c == 0x115F || c == 0x1160 || (c >= 0x17B4 && c <= 0x17B5) ||
         (c >= 0x180B && c <= 0x180F) || c == 0x3164 || (c >= 0xFE00 && c <= 0xFE0F) || c == 0xFFA0 ||
         (c >= 0xE0000 && c <= 0xE0FFF);
}

bool Mark(char32_t c) {
  const QChar::Category k = QChar::category(c);
  return k == QChar::Mark_NonSpacing || k == QChar::Mark_SpacingCombining || k == QChar::Mark_Enclosing;
}

// The length of the well-formed UTF-8 sequence at bytes[i] and its code
// point; 0 when the bytes there are no such sequence (overlong forms,
// surrogates and values past U+10FFFF included).
size_t DecodeUtf8(const std::string& bytes, size_t i, char32_t* code) {
  const unsigned char lead = static_cast<unsigned char>(bytes[i]);
  size_t length = 0;
  if (lead >= 0xC2 && lead <= 0xDF) length = 2;
  else if (lead >= 0xE0 && lead <= 0xEF) length = 3;
  else if (lead >= 0xF0 && lead <= 0xF4) length = 4;
  if (length == 0 || bytes.size() - i < length) return 0;
  char32_t c = lead & (0x7F >> length);
  for (size_t k = 1; k < length; ++k) {
    const unsigned char next = static_cast<unsigned char>(bytes[i + k]);
    if ((next & 0xC0) != 0x80) return 0;
    c = (c << 6) | (next & 0x3F);
  }
  if ((length == 3 && c < 0x800) || (length == 4 && c < 0x10000) || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
    return 0;
  *code = c;
  return length;
}

// A read-only field for shown text: fixed-width letters, left to right
// whatever the text holds, long lines wrapped, at most `lines` lines high
// (scrolling beyond) and never more than a third of the screen.
QTextEdit* MakeField(const QString& text, int lines, const QRect& screen, QWidget* parent) {
  auto* field = new QTextEdit(parent);
  field->setAcceptRichText(false);
  field->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  field->setLayoutDirection(Qt::LeftToRight);
  QTextOption option = field->document()->defaultTextOption();
  option.setTextDirection(Qt::LeftToRight);
  option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  field->document()->setDefaultTextOption(option);
  field->setPlainText(text);
  Qk_SetTextReadOnly(field);
  const QFontMetrics metrics(field->font());
  const int shownLines = std::clamp(static_cast<int>(text.count(QLatin1Char('\n'))) + 1, 1, lines);
  const int frame = 2 * (field->frameWidth() + static_cast<int>(field->document()->documentMargin())) + 2;
  field->setFixedHeight(std::min(shownLines * metrics.lineSpacing() + frame, screen.height() / 3));
  field->setMinimumWidth(std::min(64 * metrics.averageCharWidth() + frame, screen.width() / 2 - 100));
  return field;
}

}  // namespace

QString Qk_CommandApprover::VisibleText(const std::string& bytes) {
  QString out;
  out.reserve(static_cast<qsizetype>(bytes.size()));
  auto escapeByte = [&out](unsigned char b) { out += QString::asprintf("\\x%02x", b); };
  // A left-to-right mark owed after a right-to-left letter and its marks.
  bool markOwed = false;
  for (size_t i = 0; i < bytes.size();) {
    const unsigned char b = static_cast<unsigned char>(bytes[i]);
    char32_t c = 0;
    size_t length = 1;
    if (b < 0x80) {
      c = b;
    } else {
      length = DecodeUtf8(bytes, i, &c);
      if (length == 0) {
        if (markOwed) out += QChar(0x200E);
        markOwed = false;
        escapeByte(b);
        ++i;
        continue;
      }
    }
    i += length;
    if (markOwed && !Mark(c)) {
      out += QChar(0x200E);
      markOwed = false;
    }
    switch (c) {
      case U'\\': out += QLatin1String("\\\\"); continue;
      case U'\n': out += QLatin1String("\\n\n"); continue;
      case U'\r': out += QLatin1String("\\r"); continue;
      case U'\t': out += QLatin1String("\\t"); continue;
      default: break;
    }
    if (c < 0x20 || c == 0x7F) {
      escapeByte(static_cast<unsigned char>(c));
    } else if (HiddenCharacter(c)) {
      out += QString::asprintf("\\u{%04X}", static_cast<unsigned>(c));
    } else {
      out += QString::fromUcs4(&c, 1);
      const QChar::Direction d = QChar::direction(c);
      if (d == QChar::DirR || d == QChar::DirAL) markOwed = true;
    }
  }
  if (markOwed) out += QChar(0x200E);
  return out;
}

bool Qk_CommandApprover::ApproveCommand(const char* command, const char* file) {
  const QString where = file && *file ? VisibleText(file) : QObject::tr("(not read from a file)");
  const QString text = QObject::tr(
      "A data set asks to run the command below, read from the file below. Only run commands from files you "
      "trust. Run it? Yes lets this data set run this command until it is unloaded; any other command is asked "
      "about again.\n\nLine breaks, tabs and characters that would not show are written as \\n, \\r, \\t, \\xNN "
      "or \\u{NNNN}, a backslash as \\\\.");
  QMessageBox box(QMessageBox::Warning, QObject::tr("Orvanta - Run a command?"), text,
                  QMessageBox::Yes | QMessageBox::No, m_parent ? m_parent : Qk_GetMainWidget());
  // A command is shown as it is, never as markup.
  box.setTextFormat(Qt::PlainText);
  box.setDefaultButton(QMessageBox::No);
  box.setEscapeButton(QMessageBox::No);

  // The command and the file go into fields of bounded size below the text,
  // so neither can push the box or its buttons off the screen.
  const QRect screen = box.screen() ? box.screen()->availableGeometry() : QRect(0, 0, 1024, 768);
  auto* fields = new QWidget(&box);
  auto* column = new QVBoxLayout(fields);
  column->setContentsMargins(0, 0, 0, 0);
  column->addWidget(new QLabel(QObject::tr("Command:"), fields));
  column->addWidget(MakeField(VisibleText(command ? command : ""), 12, screen, fields));
  column->addWidget(new QLabel(QObject::tr("File:"), fields));
  column->addWidget(MakeField(where, 2, screen, fields));
  auto* grid = qobject_cast<QGridLayout*>(box.layout());
  const QLabel* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
  const int at = grid && label ? grid->indexOf(label) : -1;
  if (at >= 0) {
    int row = 0, col = 0, rows = 0, cols = 0;
    grid->getItemPosition(at, &row, &col, &rows, &cols);
    // The row below the text, where an informative text would stand.
    grid->addWidget(fields, row + rows, col);
  } else if (box.layout()) {
    box.layout()->addWidget(fields);
  }

  m_asking = true;
  const bool yes = Qk_RunMessageBox(&box) == QMessageBox::Yes;
  m_asking = false;
  if (m_answered) m_answered();
  return yes;
}
