#include "Qk_CommandApprover.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QGridLayout>
#include <QHash>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QScreen>
#include <QScrollBar>
#include <QTextDocument>
#include <QTextEdit>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <memory>

#include "Qk_GUIUtils.h"

namespace {

// Characters that draw nothing of their own, draw on or change their
// neighbours, or act on the text without showing: written as \u{NNNN}.
bool HiddenCharacter(char32_t c) {
  switch (QChar::category(c)) {
    case QChar::Other_Control:
    case QChar::Other_Format:
    case QChar::Other_Surrogate:
    case QChar::Other_PrivateUse:
    case QChar::Other_NotAssigned:
    case QChar::Mark_NonSpacing:
    case QChar::Mark_Enclosing:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
      return true;
    case QChar::Separator_Space:
      // A space that looks like the shell's separator but is none.
      return c != U' ';
    default:
      break;
  }
  // Letters and symbols that draw as blanks: the Hangul fillers and the
  // empty braille pattern.
  return c == 0x115F || c == 0x1160 || c == 0x3164 || c == 0xFFA0 || c == 0x2800;
}

// Tells which characters take no room where they are shown, so that they
// would stand there unseen: those the font lays out with no advance, and the
// object replacement character, which a document lays out as an inline object
// (of no size without one) whatever the font holds. Each character is
// measured once, one beyond the BMP as its whole surrogate pair.
class Unspaced {
 public:
  explicit Unspaced(const QFont& font) : m_metrics(font) {}
  bool operator()(char32_t c) {
    if (c == QChar::ObjectReplacementCharacter) return true;
    const auto known = m_known.constFind(c);
    if (known != m_known.cend()) return *known;
    const bool none = !(m_metrics.horizontalAdvance(QString::fromUcs4(&c, 1)) > 0);
    m_known.insert(c, none);
    return none;
  }

 private:
  QFontMetricsF m_metrics;
  QHash<char32_t, bool> m_known;
};

// The length of the well-formed UTF-8 sequence at bytes[i] and its code
// point; 0 when the bytes there are no such sequence (overlong forms,
// surrogates and values past U+10FFFF included).
size_t DecodeUtf8(const std::string& bytes, size_t i, char32_t* code) {
  const unsigned char lead = static_cast<unsigned char>(bytes[i]);
  if (lead < 0x80) {
    *code = lead;
    return 1;
  }
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

// Adds a titled read-only field for shown text to `column`: letters in
// `font`, wrapped anywhere so that nothing stands beyond its right edge,
// as high as its laid-out lines up to `lines` lines and a third of the
// screen. Text that does not fit scrolls, with the scroll bar always shown
// and a note below the field giving the length of `what` in characters.
void AddField(QVBoxLayout* column, const QString& title, const QString& text, const QFont& font, const QString& what,
              qsizetype characters, int lines, const QRect& screen) {
  QWidget* parent = column->parentWidget();
  column->addWidget(new QLabel(title, parent));
  auto* field = new QTextEdit(parent);
  field->setAcceptRichText(false);
  field->setFont(font);
  field->setLayoutDirection(Qt::LeftToRight);
  field->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  QTextDocument* document = field->document();
  QTextOption option = document->defaultTextOption();
  option.setTextDirection(Qt::LeftToRight);
  option.setWrapMode(QTextOption::WrapAnywhere);
  document->setDefaultTextOption(option);
  // Spaces stand as no-break spaces, which take room and wrap like any other
  // character instead of hanging past the line's end; the document gives
  // them back as plain spaces when copied. A stored no-break space is shown
  // escaped, so none is mistaken for another.
  field->setPlainText(QString(text).replace(QLatin1Char(' '), QChar(QChar::Nbsp)));
  Qk_SetTextReadOnly(field);

  const QFontMetrics metrics(field->font());
  const int frame = 2 * field->frameWidth();
  const int margin = 2 * static_cast<int>(std::ceil(document->documentMargin()));
  const int bar = field->verticalScrollBar()->sizeHint().width();
  const int width = std::min(64 * metrics.averageCharWidth() + margin + frame + bar, screen.width() / 2 - 100);
  const int bound = std::max(metrics.lineSpacing() + margin,
                             std::min(lines * metrics.lineSpacing() + margin, screen.height() / 3 - frame));
  // Laid out apart from the field, which lays its own document out again
  // at whatever size it has before it is shown.
  const std::unique_ptr<QTextDocument> probe(document->clone());
  probe->setTextWidth(width - frame);
  const bool fits = probe->size().height() <= bound;
  field->setVerticalScrollBarPolicy(fits ? Qt::ScrollBarAlwaysOff : Qt::ScrollBarAlwaysOn);
  field->setFixedSize(width, frame + (fits ? static_cast<int>(std::ceil(probe->size().height())) : bound));
  column->addWidget(field);
  if (!fits) {
    auto* note = new QLabel(QObject::tr("%1 is %2 characters long; scroll to read all of it.")
                                .arg(what, QLocale().toString(static_cast<qlonglong>(characters))),
                            parent);
    note->setWordWrap(true);
    column->addWidget(note);
  }
}

}  // namespace

QString Qk_CommandApprover::VisibleText(const std::string& bytes, const QFont& font) {
  // Each shown line starts with a left-to-right override. No direction
  // control of the text itself survives escaping, so the override holds to
  // the line's end: every character, right-to-left letters, their digits,
  // neutrals and brackets included, stands in the order of the bytes and
  // unmirrored.
  const QChar leftToRight(0x202D);
  QString out(leftToRight);
  out.reserve(static_cast<qsizetype>(bytes.size()) + 1);
  auto escapeByte = [&out](unsigned char b) { out += QString::asprintf("\\x%02x", b); };
  Unspaced unspaced(font);
  for (size_t i = 0; i < bytes.size();) {
    char32_t c = 0;
    const size_t length = DecodeUtf8(bytes, i, &c);
    if (length == 0) {
      escapeByte(static_cast<unsigned char>(bytes[i++]));
      continue;
    }
    i += length;
    switch (c) {
      case U'\\': out += QLatin1String("\\\\"); continue;
      case U'\n': out += QLatin1String("\\n\n"); out += leftToRight; continue;
      case U'\r': out += QLatin1String("\\r"); continue;
      case U'\t': out += QLatin1String("\\t"); continue;
      default: break;
    }
    if (c < 0x20 || c == 0x7F) {
      escapeByte(static_cast<unsigned char>(c));
    } else if (HiddenCharacter(c) || unspaced(c)) {
      out += QString::asprintf("\\u{%04X}", static_cast<unsigned>(c));
    } else {
      out += QString::fromUcs4(&c, 1);
    }
  }
  return out;
}

qsizetype Qk_CommandApprover::CharacterCount(const std::string& bytes) {
  qsizetype count = 0;
  char32_t c = 0;
  for (size_t i = 0; i < bytes.size(); ++count) i += std::max<size_t>(DecodeUtf8(bytes, i, &c), 1);
  return count;
}

bool Qk_CommandApprover::ApproveCommand(const char* command, const char* file) {
  const std::string stored = command ? command : "";
  const std::string source = file ? file : "";
  const QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  const QString where = source.empty() ? QObject::tr("(not read from a file)") : VisibleText(source, font);
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
  AddField(column, QObject::tr("Command:"), VisibleText(stored, font), font, QObject::tr("The command"),
           CharacterCount(stored), 12, screen);
  AddField(column, QObject::tr("File:"), where, font, QObject::tr("The file name"), CharacterCount(source), 2, screen);
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
