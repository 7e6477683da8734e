#include "ui/qt/QtInputControl.h"

#include <QAbstractTextDocumentLayout>
#include <QPalette>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <algorithm>

#include "ui/FormatCodes.h"
#include "ui/qt/OutputText.h"
#include "ui/qt/PaneFont.h"
#include "ui/qt/QtColour.h"
#include "ui/qt/QtPaneDesktop.h"

namespace {

constexpr char16_t kParagraphBreak = 0x2029;
constexpr char16_t kLineBreak = 0x2028;

// The masked fields of format as Qt character properties; the others stay unset.
QTextCharFormat ToQt(const CharFormat& format) {
    QTextCharFormat result;
    if (format.mask & CharFormat::kBold) {
        result.setFontWeight((format.effects & CharFormat::kBold) ? QFont::Bold : QFont::Normal);
    }
    if (format.mask & CharFormat::kItalic) {
        result.setFontItalic((format.effects & CharFormat::kItalic) != 0);
    }
    if (format.mask & CharFormat::kUnderline) {
        result.setFontUnderline((format.effects & CharFormat::kUnderline) != 0);
    }
    if (format.mask & CharFormat::kStrikeout) {
        result.setFontStrikeOut((format.effects & CharFormat::kStrikeout) != 0);
    }
    if (format.mask & CharFormat::kColour) result.setForeground(ToQColor(format.textColour));
    if (format.mask & CharFormat::kBackColour) result.setBackground(ToQColor(format.backColour));
    return result;
}

// Byte text as the edit takes it: one character per byte, CR LF, CR and LF each a break.
QString FromLatin1Lines(std::string_view text) {
    QString result;
    result.reserve(static_cast<qsizetype>(text.size()));
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '\r') {
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
            result.append(QChar(kParagraphBreak));
        } else if (c == '\n') {
            result.append(QChar(kParagraphBreak));
        } else {
            result.append(QChar(c));
        }
    }
    return result;
}

}  // namespace

QtInputControl::QtInputControl(QWidget* parent, IPaneEvents& events)
    : m_edit(new InputEdit(parent, events)) {
    m_default.mask = OutputText::kFullMask;
    m_default.textColour = 0x000000;
    m_default.backColour = 0xFFFFFF;
    UpdatePalette();
    RouteContextMenu(m_edit, events);
}

QtInputControl::~QtInputControl() { delete m_edit.data(); }

void QtInputControl::UpdatePalette() {
    QPalette palette = m_edit->palette();
    palette.setColor(QPalette::Base, ToQColor(m_backColour));
    // The caret is drawn in the text colour; keep it visible on the pane's background.
    palette.setColor(QPalette::Text, ToQColor(m_default.textColour));
    m_edit->setPalette(palette);
}

CharFormat QtInputControl::FromQt(const QTextCharFormat& format) const {
    CharFormat result = m_default;
    result.mask = OutputText::kFullMask;
    auto set = [&](std::uint32_t bit, bool on) {
        result.effects = on ? (result.effects | bit) : (result.effects & ~bit);
    };
    if (format.hasProperty(QTextFormat::FontWeight)) {
        set(CharFormat::kBold, format.fontWeight() >= QFont::DemiBold);
    }
    if (format.hasProperty(QTextFormat::FontItalic)) set(CharFormat::kItalic, format.fontItalic());
    if (format.hasProperty(QTextFormat::TextUnderlineStyle) ||
        format.hasProperty(QTextFormat::FontUnderline)) {
        set(CharFormat::kUnderline, format.fontUnderline());
    }
    if (format.hasProperty(QTextFormat::FontStrikeOut)) {
        set(CharFormat::kStrikeout, format.fontStrikeOut());
    }
    if (format.foreground().style() != Qt::NoBrush) {
        result.textColour = FromQColor(format.foreground().color());
    }
    if (format.background().style() != Qt::NoBrush) {
        result.backColour = FromQColor(format.background().color());
    }
    return result;
}

void QtInputControl::GetSelection(std::int32_t& start, std::int32_t& end) const {
    const QTextCursor cursor = m_edit->textCursor();
    start = cursor.selectionStart();
    end = cursor.selectionEnd();
}

void QtInputControl::SetSelection(std::int32_t start, std::int32_t end) {
    const std::int32_t length = m_edit->Length();
    if (end < 0 || end > length) end = length;
    if (start < 0) start = end;
    start = std::min(start, length);
    QTextCursor cursor = m_edit->textCursor();
    // Selecting what is already selected keeps the format set for the next insertion.
    if (cursor.anchor() == start && cursor.position() == end) return;
    cursor.setPosition(start);
    cursor.setPosition(end, QTextCursor::KeepAnchor);
    m_edit->setTextCursor(cursor);
}

void QtInputControl::Insert(const QString& text, bool keepUndo) {
    QTextCursor cursor = m_edit->textCursor();
    if (m_edit->Length() == 0 && cursor.charFormat() == QTextCharFormat()) {
        cursor.insertText(text, ToQt(m_default));
    } else {
        cursor.insertText(text);
    }
    m_edit->setTextCursor(cursor);
    // Without keeping undo, what came before can no longer be undone either.
    if (!keepUndo) m_edit->document()->clearUndoRedoStacks();
}

void QtInputControl::ReplaceSelection(std::string_view text, bool keepUndo) {
    Insert(FromLatin1Lines(text), keepUndo);
}

void QtInputControl::ReplaceSelectionUtf16(char16_t character, bool keepUndo) {
    Insert(QString(QChar(character)), keepUndo);
}

CharFormat QtInputControl::GetSelectionFormat() const {
    const QTextCursor cursor = m_edit->textCursor();
    if (!cursor.hasSelection()) return FromQt(cursor.charFormat());
    QTextCursor first(m_edit->document());
    first.setPosition(cursor.selectionStart());
    first.setPosition(cursor.selectionStart() + 1, QTextCursor::KeepAnchor);
    return FromQt(first.charFormat());
}

void QtInputControl::SetSelectionFormat(const CharFormat& format) {
    InputEdit::OwnChange own(*m_edit);
    QTextCursor cursor = m_edit->textCursor();
    if (cursor.hasSelection()) {
        cursor.mergeCharFormat(ToQt(format));
    } else {
        // The next insertion here takes the whole resulting format.
        QTextCharFormat next = ToQt(OutputText::Merge(FromQt(cursor.charFormat()), format));
        cursor.setCharFormat(next);
    }
    m_edit->setTextCursor(cursor);
}

void QtInputControl::SetAllFormat(const CharFormat& format) {
    InputEdit::OwnChange own(*m_edit);
    m_default = OutputText::Merge(m_default, format);
    const QTextCharFormat change = ToQt(format);
    QTextCursor all(m_edit->document());
    all.select(QTextCursor::Document);
    all.mergeCharFormat(change);
    all.mergeBlockCharFormat(change);
    UpdatePalette();
}

void QtInputControl::SetFont(const std::string& face, unsigned pointSize) {
    const QFont font = PaneFont(face, pointSize);
    m_edit->setFont(font);
    m_edit->document()->setDefaultFont(font);
}

std::string QtInputControl::GetTextRange(std::int32_t start, std::int32_t end) const {
    const std::int32_t length = m_edit->Length();
    if (end < 0 || end > length) end = length;
    std::string result;
    for (const char16_t c : m_edit->RealText(start, end)) {
        if (c == kParagraphBreak || c == kLineBreak) {
            result.push_back('\r');
        } else {
            result.push_back(c > 0xFF ? '?' : static_cast<char>(c));
        }
    }
    return result;
}

std::int32_t QtInputControl::GetTextLength() const { return m_edit->Length(); }

std::string QtInputControl::GetText() const {
    std::string result;
    for (const char16_t c : m_edit->RealText(0, m_edit->Length())) {
        if (c == kParagraphBreak || c == kLineBreak) {
            result += "\r\n";
        } else {
            result.push_back(c > 0xFF ? '?' : static_cast<char>(c));
        }
    }
    return result;
}

std::string QtInputControl::GetUnicodeText() const {
    std::string result;
    for (const char16_t c : m_edit->RealText(0, m_edit->Length())) {
        if (c == kParagraphBreak || c == kLineBreak) {
            result += "\r\n";
        } else {
            AppendTypedCharacter(result, c);
        }
    }
    return result;
}

void QtInputControl::Clear() {
    QTextCursor all(m_edit->document());
    all.select(QTextCursor::Document);
    // Not an own change: a masked line must drop its real text with the shown one.
    all.removeSelectedText();
    InputEdit::OwnChange own(*m_edit);
    all.setBlockCharFormat(ToQt(m_default));
    all.setCharFormat(ToQt(m_default));
    m_edit->setTextCursor(all);
}

std::int32_t QtInputControl::CharFromPos(std::int32_t x, std::int32_t y) const {
    return m_edit->cursorForPosition(QPoint(x, y)).position();
}

Rect QtInputControl::GetFormattingRect() const {
    const int margin = static_cast<int>(m_edit->document()->documentMargin());
    const QSize size = m_edit->viewport()->size();
    return Rect{margin, margin, std::max(margin, size.width() - margin),
                std::max(margin, size.height() - margin)};
}

void QtInputControl::SetPasswordChar(char16_t character) { m_edit->SetPasswordChar(character); }

void QtInputControl::Move(std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height) {
    m_edit->setGeometry(x, y, std::max(0, width), std::max(0, height));
}

Size QtInputControl::GetClientSize() const {
    const QSize size = m_edit->viewport()->size();
    return Size{size.width(), size.height()};
}

void QtInputControl::SetBackColour(Colour colour) {
    m_backColour = colour & 0xFFFFFF;
    UpdatePalette();
}

void QtInputControl::SetFocus() { m_edit->setFocus(Qt::OtherFocusReason); }

std::vector<FormattedChar> QtInputControl::SelectionFragment() const {
    const QTextCursor selection = m_edit->textCursor();
    const int start = selection.selectionStart();
    const int end = selection.selectionEnd();
    std::vector<FormattedChar> fragment;
    const QTextDocument* document = m_edit->document();
    for (QTextBlock block = document->findBlock(start); block.isValid() && block.position() < end;
         block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment part = it.fragment();
            const CharFormat format = FromQt(part.charFormat());
            const QString text = part.text();
            for (int i = 0; i < text.size(); ++i) {
                const int position = part.position() + i;
                if (position < start || position >= end) continue;
                char16_t c = text[i].unicode();
                if (c == kLineBreak) c = u'\n';
                fragment.push_back(FormattedChar{c, format});
            }
        }
        const int breakPosition = block.position() + block.length() - 1;
        if (breakPosition >= start && breakPosition < end && block.next().isValid()) {
            fragment.push_back(FormattedChar{u'\n', FromQt(block.charFormat())});
        }
    }
    return fragment;
}
