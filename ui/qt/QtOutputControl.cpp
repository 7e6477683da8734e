#include "ui/qt/QtOutputControl.h"

#include <algorithm>

#include "ui/qt/PaneFont.h"
#include "ui/qt/QtPaneDesktop.h"

QtOutputControl::QtOutputControl(QWidget* parent, IPaneEvents& events)
    : m_view(new OutputView(parent, events)) {
    RouteContextMenu(m_view, events);
}

QtOutputControl::~QtOutputControl() { delete m_view.data(); }

void QtOutputControl::GetSelection(std::int32_t& start, std::int32_t& end) const {
    m_view->GetSelection(start, end);
}

void QtOutputControl::GetSelectionEnds(std::int32_t& anchor, std::int32_t& caret) const {
    m_view->GetSelectionEnds(anchor, caret);
}

std::int64_t QtOutputControl::TrimmedCharacters() const {
    return m_view->Text().TrimmedCharacters();
}

void QtOutputControl::SetSelection(std::int32_t start, std::int32_t end) {
    const std::int32_t length = m_view->Text().Length();
    // As rich text controls do: a negative end means the end, a negative start only places the
    // caret.
    if (end < 0 || end > length) end = length;
    if (start < 0) start = end;
    start = std::min(start, length);
    m_view->SetSelection(start, end);
}

CharFormat QtOutputControl::InsertionFormat(std::int32_t position) const {
    if (m_hasInsertFormat && m_insertSerial == m_view->SelectionSerial() &&
        m_insertPosition == m_view->Text().TrimmedCharacters() + position) {
        return m_insertFormat;
    }
    const OutputText& text = m_view->Text();
    if (text.Length() == 0) return text.DefaultFormat();
    return text.FormatAt(position > 0 ? position - 1 : 0);
}

template <typename Char>
void QtOutputControl::Replace(const Char* characters, std::size_t count) {
    std::int32_t start = 0;
    std::int32_t end = 0;
    m_view->GetSelection(start, end);
    OutputText& text = m_view->Text();
    const CharFormat format = start < end ? text.FormatAt(start) : InsertionFormat(start);
    text.Erase(start, end);
    const std::int64_t trimmedBefore = text.TrimmedCharacters();
    const std::int32_t lengthBefore = text.Length();
    text.Insert(start, characters, count, format);
    // What went in, less what the line limit took from the front meanwhile.
    const std::int64_t trimmed = text.TrimmedCharacters() - trimmedBefore;
    const std::int64_t inserted = text.Length() - lengthBefore + trimmed;
    const auto caret =
        static_cast<std::int32_t>(std::max<std::int64_t>(0, start + inserted - trimmed));
    m_view->SetSelection(caret, caret);
    m_hasInsertFormat = true;
    m_insertFormat = format;
    m_insertPosition = text.TrimmedCharacters() + caret;
    m_insertSerial = m_view->SelectionSerial();
    m_view->TextChanged();
}

void QtOutputControl::ReplaceSelection(std::string_view text, bool) {
    Replace(text.data(), text.size());
}

void QtOutputControl::ReplaceSelectionUtf16(char16_t character, bool) { Replace(&character, 1); }

CharFormat QtOutputControl::GetSelectionFormat() const {
    std::int32_t start = 0;
    std::int32_t end = 0;
    m_view->GetSelection(start, end);
    return start < end ? m_view->Text().FormatAt(start) : InsertionFormat(start);
}

void QtOutputControl::SetSelectionFormat(const CharFormat& format) {
    std::int32_t start = 0;
    std::int32_t end = 0;
    m_view->GetSelection(start, end);
    if (start < end) {
        m_view->Text().ApplyFormat(start, end, format);
        m_view->TextChanged();
        return;
    }
    m_insertFormat = OutputText::Merge(InsertionFormat(start), format);
    m_hasInsertFormat = true;
    m_insertPosition = m_view->Text().TrimmedCharacters() + start;
    m_insertSerial = m_view->SelectionSerial();
}

void QtOutputControl::SetAllFormat(const CharFormat& format) {
    m_view->Text().ApplyFormatToAll(format);
    if (m_hasInsertFormat) m_insertFormat = OutputText::Merge(m_insertFormat, format);
    m_view->TextChanged();
}

void QtOutputControl::SetFont(const std::string& face, unsigned pointSize) {
    m_view->SetPaneFont(PaneFont(face, pointSize));
}

std::string QtOutputControl::GetTextRange(std::int32_t start, std::int32_t end) const {
    const OutputText& text = m_view->Text();
    const std::int32_t length = text.Length();
    if (end < 0 || end > length) end = length;
    start = std::clamp(start, 0, length);
    std::string result;
    if (start >= end) return result;
    result.resize(static_cast<std::size_t>(end - start));
    text.CopyLatin1(start, end, result.data());
    return result;
}

std::int32_t QtOutputControl::GetTextLength() const { return m_view->Text().Length(); }

std::string QtOutputControl::GetText() const { return GetTextRange(0, IPaneControl::kEnd); }

void QtOutputControl::Clear() {
    m_view->Text().Clear();
    m_view->SetSelection(0, 0);
    m_hasInsertFormat = false;
    m_view->TextChanged();
}

std::int32_t QtOutputControl::CharFromPos(std::int32_t x, std::int32_t y) const {
    return m_view->CharFromPos(QPoint(x, y));
}

Rect QtOutputControl::GetFormattingRect() const { return m_view->FormattingRect(); }

// The output pane never masks its text.
void QtOutputControl::SetPasswordChar(char16_t) {}

void QtOutputControl::Move(std::int32_t x, std::int32_t y, std::int32_t width,
                           std::int32_t height) {
    m_view->setGeometry(x, y, std::max(0, width), std::max(0, height));
}

Size QtOutputControl::GetClientSize() const {
    const QSize size = m_view->viewport()->size();
    return Size{size.width(), size.height()};
}

void QtOutputControl::SetScrollbackLines(std::int32_t lines) {
    m_view->Text().SetLineLimit(lines);
    m_view->TextChanged();
}

void QtOutputControl::SetBackColour(Colour colour) { m_view->SetBackColour(colour); }

void QtOutputControl::SetFocus() { m_view->setFocus(Qt::OtherFocusReason); }

std::vector<FormattedChar> QtOutputControl::SelectionFragment() const {
    std::int32_t start = 0;
    std::int32_t end = 0;
    m_view->GetSelection(start, end);
    std::vector<FormattedChar> fragment;
    if (start >= end) return fragment;
    const OutputText& text = m_view->Text();
    fragment.reserve(static_cast<std::size_t>(end - start));
    std::u16string characters(static_cast<std::size_t>(end - start), u'\0');
    text.CopyUtf16(start, end, characters.data());
    std::size_t run = text.RunIndexAt(start);
    for (std::int32_t i = start; i < end; ++i) {
        while (run + 1 < text.RunCount() && text.RunAt(run + 1).start <= i) ++run;
        fragment.push_back(FormattedChar{characters[static_cast<std::size_t>(i - start)],
                                         text.Style(text.RunAt(run).style)});
    }
    return fragment;
}
