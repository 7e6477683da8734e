#pragma once

#include <QTextEdit>
#include <string>

#include "ui/PaneControl.h"
#include "ui/qt/QtSizeReporter.h"

// The input line's widget: a text edit whose keys go to the pane first, and which can show
// every character as a password character while keeping the real text.
class InputEdit : public QTextEdit {
    Q_OBJECT

  public:
    InputEdit(QWidget* parent, IPaneEvents& events);

    // Characters of the document, paragraph breaks as U+2029; the real ones while masked.
    std::u16string RealText(int start, int end) const;
    int Length() const;

    void SetPasswordChar(char16_t character);
    char16_t PasswordChar() const { return m_mask; }

    // While alive, document changes are the control's own (formats, masking), not typing.
    class OwnChange {
      public:
        explicit OwnChange(InputEdit& edit) : m_edit(edit), m_previous(edit.m_ownChange) {
            edit.m_ownChange = true;
        }
        ~OwnChange() { m_edit.m_ownChange = m_previous; }
        OwnChange(const OwnChange&) = delete;
        OwnChange& operator=(const OwnChange&) = delete;

      private:
        InputEdit& m_edit;
        bool m_previous;
    };

  protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    void OnContentsChange(int from, int removed, int added);
    std::u16string DocumentText(int start, int end) const;
    // Replaces every character of [start, end) but paragraph breaks by the given ones.
    void OverwriteCharacters(int start, const std::u16string& characters);

    IPaneEvents& m_events;
    char16_t m_mask = 0;
    std::u16string m_real;
    bool m_ownChange = false;
    QtSizeReporter m_sizeReporter;
};
