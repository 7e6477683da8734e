#include "tests/support/RecordingPaneControl.h"

#include <cstdio>

#include "ui/FormatCodes.h"

namespace {

constexpr std::uint32_t kFullMask =
    CharFormat::kEffects | CharFormat::kColour | CharFormat::kBackColour;

void Merge(CharFormat& into, const CharFormat& format) {
    const std::uint32_t effects = format.mask & CharFormat::kEffects;
    into.effects = (into.effects & ~effects) | (format.effects & effects);
    if (format.mask & CharFormat::kColour) into.textColour = format.textColour;
    if (format.mask & CharFormat::kBackColour) into.backColour = format.backColour;
    into.mask = kFullMask;
}

std::string Rgb(Colour colour) {
    char text[8];
    std::snprintf(text, sizeof text, "%02x%02x%02x", colour & 0xFFu, (colour >> 8) & 0xFFu,
                  (colour >> 16) & 0xFFu);
    return text;
}

}  // namespace

RecordingPaneControl::RecordingPaneControl(IPaneEvents* paneEvents, bool output, Rect area)
    : isOutput(output), events(paneEvents), rect(area) {
    m_default.mask = kFullMask;
    m_default.textColour = 0x000000;
    m_default.backColour = 0xffffff;
}

std::int32_t RecordingPaneControl::Clamp(std::int32_t position) const {
    const auto length = static_cast<std::int32_t>(m_text.size());
    if (position < 0 || position > length) return length;
    return position;
}

void RecordingPaneControl::GetSelection(std::int32_t& start, std::int32_t& end) const {
    start = m_selStart;
    end = m_selEnd;
}

void RecordingPaneControl::SetSelection(std::int32_t start, std::int32_t end) {
    ++selectionChanges;
    start = Clamp(start);
    end = Clamp(end);
    if (start > end) std::swap(start, end);
    if (start != m_selStart || end != m_selEnd) m_insertFormat.reset();
    m_selStart = start;
    m_selEnd = end;
}

CharFormat RecordingPaneControl::InsertionFormat() const {
    if (m_selStart != m_selEnd) return m_formats[static_cast<std::size_t>(m_selStart)];
    if (m_insertFormat) return *m_insertFormat;
    if (m_selStart > 0) return m_formats[static_cast<std::size_t>(m_selStart - 1)];
    return m_default;
}

void RecordingPaneControl::Insert(const std::u16string& text, bool keepUndo) {
    ++insertions;
    if (keepUndo) ++undoInsertions;
    const CharFormat format = InsertionFormat();
    const auto start = static_cast<std::size_t>(m_selStart);
    const auto end = static_cast<std::size_t>(m_selEnd);
    m_text.replace(start, end - start, text);
    m_formats.erase(m_formats.begin() + static_cast<std::ptrdiff_t>(start),
                    m_formats.begin() + static_cast<std::ptrdiff_t>(end));
    m_formats.insert(m_formats.begin() + static_cast<std::ptrdiff_t>(start), text.size(), format);
    m_selStart = m_selEnd = static_cast<std::int32_t>(start + text.size());
    m_insertFormat.reset();
    if (afterInsert) afterInsert();
}

void RecordingPaneControl::ReplaceSelection(std::string_view text, bool keepUndo) {
    std::u16string wide;
    wide.reserve(text.size());
    for (char c : text) wide += static_cast<char16_t>(static_cast<unsigned char>(c));
    Insert(wide, keepUndo);
}

void RecordingPaneControl::ReplaceSelectionUtf16(char16_t character, bool keepUndo) {
    Insert(std::u16string(1, character), keepUndo);
}

CharFormat RecordingPaneControl::GetSelectionFormat() const { return InsertionFormat(); }

void RecordingPaneControl::SetSelectionFormat(const CharFormat& format) {
    if (m_selStart == m_selEnd) {
        CharFormat next = InsertionFormat();
        Merge(next, format);
        m_insertFormat = next;
        return;
    }
    for (auto i = static_cast<std::size_t>(m_selStart); i < static_cast<std::size_t>(m_selEnd);
         ++i) {
        Merge(m_formats[i], format);
    }
}

void RecordingPaneControl::SetAllFormat(const CharFormat& format) {
    Merge(m_default, format);
    for (CharFormat& f : m_formats) Merge(f, format);
    if (m_insertFormat) Merge(*m_insertFormat, format);
}

void RecordingPaneControl::SetFont(const std::string& face, unsigned pointSize) {
    fontFace = face;
    fontSize = pointSize;
    ++fontChanges;
}

std::string RecordingPaneControl::GetTextRange(std::int32_t start, std::int32_t end) const {
    start = Clamp(start);
    end = Clamp(end);
    std::string bytes;
    for (std::int32_t i = start; i < end; ++i) {
        const char16_t c = m_text[static_cast<std::size_t>(i)];
        bytes += c > 0xFF ? '?' : static_cast<char>(c);
    }
    return bytes;
}

std::int32_t RecordingPaneControl::GetTextLength() const {
    return static_cast<std::int32_t>(m_text.size());
}

std::string RecordingPaneControl::GetText() const { return GetTextRange(0, kEnd); }

std::string RecordingPaneControl::GetUnicodeText() const {
    std::string result;
    for (const char16_t c : m_text) AppendTypedCharacter(result, c);
    return result;
}

void RecordingPaneControl::Clear() {
    m_text.clear();
    m_formats.clear();
    m_selStart = m_selEnd = 0;
    m_insertFormat.reset();
}

std::int32_t RecordingPaneControl::CharFromPos(std::int32_t, std::int32_t) const {
    return charFromPosResult;
}

Rect RecordingPaneControl::GetFormattingRect() const {
    if (formattingRect) return *formattingRect;
    return Rect{2, 2, rect.Width() - 2, rect.Height() - 2};
}

void RecordingPaneControl::SetPasswordChar(char16_t character) {
    passwordChar = character;
    ++passwordCharChanges;
}

void RecordingPaneControl::Move(std::int32_t x, std::int32_t y, std::int32_t width,
                                std::int32_t height) {
    rect = Rect{x, y, x + width, y + height};
    if (events) events->OnSizeChanged(width, height);
}

Size RecordingPaneControl::GetClientSize() const { return Size{rect.Width(), rect.Height()}; }

void RecordingPaneControl::SetBackColour(Colour colour) { backColour = colour; }

void RecordingPaneControl::SetFocus() {
    ++focusRequests;
    if (events) events->OnFocusChanged(true);
}

std::string RecordingPaneControl::Runs() const { return Runs(0, m_text.size()); }

std::string RecordingPaneControl::Runs(std::size_t start, std::size_t end) const {
    std::string out;
    if (end > m_text.size()) end = m_text.size();
    for (std::size_t i = start; i < end; ++i) {
        const CharFormat& f = m_formats[i];
        if (i == start || !(f == m_formats[i - 1])) {
            std::string attributes;
            auto add = [&attributes](const std::string& a) {
                if (!attributes.empty()) attributes += ',';
                attributes += a;
            };
            if (f.effects & CharFormat::kBold) add("b");
            if (f.effects & CharFormat::kItalic) add("i");
            if (f.effects & CharFormat::kUnderline) add("u");
            if (f.effects & CharFormat::kStrikeout) add("s");
            if (f.textColour != m_default.textColour) add("c=" + Rgb(f.textColour));
            if (f.backColour != m_default.backColour) add("bg=" + Rgb(f.backColour));
            out += '[' + attributes + ']';
        }
        const char16_t c = m_text[i];
        if (c == '\r') {
            out += "\\r";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            char hex[12];
            std::snprintf(hex, sizeof hex, "{%x}", static_cast<unsigned>(c));
            out += hex;
        }
    }
    return out;
}

std::unique_ptr<IPaneControl> RecordingPaneFactory::CreatePaneControl(bool isOutput,
                                                                      const Rect& rect,
                                                                      IPaneEvents& events) {
    if (fail) return nullptr;
    auto control = std::make_unique<RecordingPaneControl>(&events, isOutput, rect);
    last = control.get();
    ++created;
    return control;
}

Size RecordingTextMeasure::MeasureText(const std::string& face, unsigned pointSize,
                                       std::string_view text) {
    lastFace = face;
    lastPointSize = pointSize;
    if (fail) return Size{};
    return Size{static_cast<std::int32_t>(text.size()) * charWidth, charHeight};
}

std::int32_t RecordingTextMeasure::ControlFrameWidth(bool) { return frameWidth; }
