#include "ui/qt/InputEdit.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <algorithm>

#include "ui/qt/QtKeyMap.h"

namespace {

constexpr char16_t kParagraphBreak = 0x2029;

}  // namespace

InputEdit::InputEdit(QWidget* parent, IPaneEvents& events)
    : QTextEdit(parent), m_events(events), m_sizeReporter(events) {
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    setAcceptRichText(false);
    // Long lines scroll sideways instead of wrapping, as a single-line entry field would.
    setLineWrapMode(QTextEdit::NoWrap);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setTabChangesFocus(false);
    viewport()->setMouseTracking(true);
    connect(document(), &QTextDocument::contentsChange, this, &InputEdit::OnContentsChange);
}

int InputEdit::Length() const { return std::max(0, document()->characterCount() - 1); }

std::u16string InputEdit::DocumentText(int start, int end) const {
    std::u16string text;
    const QTextDocument* doc = document();
    for (int i = start; i < end; ++i) text.push_back(doc->characterAt(i).unicode());
    return text;
}

std::u16string InputEdit::RealText(int start, int end) const {
    const int length = Length();
    start = std::clamp(start, 0, length);
    end = std::clamp(end, start, length);
    if (m_mask != 0) {
        return m_real.substr(static_cast<std::size_t>(start),
                             static_cast<std::size_t>(end - start));
    }
    return DocumentText(start, end);
}

void InputEdit::OverwriteCharacters(int start, const std::u16string& characters) {
    OwnChange own(*this);
    QTextCursor cursor(document());
    for (std::size_t i = 0; i < characters.size(); ++i) {
        const int position = start + static_cast<int>(i);
        const QChar current = document()->characterAt(position);
        if (current.unicode() == kParagraphBreak || current.unicode() == characters[i]) continue;
        cursor.setPosition(position);
        cursor.setPosition(position + 1, QTextCursor::KeepAnchor);
        const QTextCharFormat format = cursor.charFormat();
        cursor.insertText(QString(QChar(characters[i])), format);
    }
}

void InputEdit::SetPasswordChar(char16_t character) {
    if (character == m_mask) return;
    const int length = Length();
    if (m_mask == 0) m_real = DocumentText(0, length);
    m_mask = character;
    if (character != 0) {
        // Undo would bring back what masking replaced, and in the wrong form.
        setUndoRedoEnabled(false);
        OverwriteCharacters(0, std::u16string(static_cast<std::size_t>(length), character));
    } else {
        OverwriteCharacters(0, m_real);
        m_real.clear();
        setUndoRedoEnabled(true);
    }
}

void InputEdit::OnContentsChange(int from, int removed, int added) {
    if (m_mask == 0 || m_ownChange) return;
    // Qt counts the final paragraph break in some changes; the real text never holds it.
    const int oldLength = static_cast<int>(m_real.size());
    const int newLength = Length();
    from = std::clamp(from, 0, oldLength);
    removed = std::clamp(removed, 0, oldLength - from);
    added = newLength - (oldLength - removed);
    if (added < 0 || from + added > newLength) {
        // Not a change we can follow; keep what is shown rather than guess.
        m_real = DocumentText(0, newLength);
        return;
    }
    m_real.replace(static_cast<std::size_t>(from), static_cast<std::size_t>(removed),
                   DocumentText(from, from + added));
    std::u16string masks = DocumentText(from, from + added);
    for (char16_t& c : masks) {
        if (c != kParagraphBreak) c = m_mask;
    }
    OverwriteCharacters(from, masks);
}

bool InputEdit::event(QEvent* event) {
    const QEvent::Type type = event->type();
    if (type == QEvent::ShortcutOverride && IsWindowAccelerator(*static_cast<QKeyEvent*>(event))) {
        // Leave these to the main window's shortcuts, as accelerators come before the control.
        event->ignore();
        return true;
    }
    const bool handled = QTextEdit::event(event);
    m_sizeReporter.OnEvent(*this, type);
    return handled;
}

void InputEdit::keyPressEvent(QKeyEvent* event) {
    const KeyModifiers modifiers = ModifiersFromQt(event->modifiers());
    if (!m_events.OnKeyDown(VirtualKeyFromEvent(*event), modifiers)) {
        event->accept();
        return;
    }
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        // Every Enter the pane lets through is a paragraph break, whatever the modifiers.
        QTextCursor cursor = textCursor();
        cursor.insertBlock();
        setTextCursor(cursor);
        ensureCursorVisible();
        event->accept();
        return;
    }
    QTextEdit::keyPressEvent(event);
}

void InputEdit::focusInEvent(QFocusEvent* event) {
    QTextEdit::focusInEvent(event);
    m_events.OnFocusChanged(true);
}

void InputEdit::focusOutEvent(QFocusEvent* event) {
    QTextEdit::focusOutEvent(event);
    m_events.OnFocusChanged(false);
}

void InputEdit::mouseMoveEvent(QMouseEvent* event) {
    QTextEdit::mouseMoveEvent(event);
    const QPoint point = event->position().toPoint();
    m_events.OnMouseMove(point.x(), point.y());
}

void InputEdit::mouseReleaseEvent(QMouseEvent* event) {
    QTextEdit::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton) {
        const QPoint point = event->position().toPoint();
        m_events.OnLeftButtonUp(point.x(), point.y());
    }
}
