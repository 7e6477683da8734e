// The main window's own messages: pane layout, the splitter, closing, and the panes'
// notifications.
#include <string>

#include "app/App.h"
#include "net/TelnetEngine.h"
#include "ui/PaneNotify.h"

namespace {

constexpr std::int32_t kMinimumClientWidth = 64;
constexpr std::int32_t kMinimumInputHeight = 24;
constexpr std::int32_t kMinimumOutputHeight = 40;
constexpr std::int32_t kSplitterHeight = 2;

}  // namespace

void CApp::LayoutPanes(std::int32_t width, std::int32_t height) {
    const std::int32_t top = height - m_inputHeight - kSplitterHeight;
    m_splitterRect = Rect{0, top, width, top + kSplitterHeight};
    if (IPaneControl* output = m_output.Control()) output->Move(0, 0, width, top);
    if (IPaneControl* input = m_input.Control()) {
        input->Move(0, top + kSplitterHeight, width, m_inputHeight);
    }
}

void CApp::FillSplitter() {
    if (m_hWnd) m_hWnd->FillRect(m_splitterRect);
}

void CApp::DragSplitter(std::int32_t y) {
    const Size client = m_hWnd->GetClientSize();
    m_inputHeight = client.height - y;
    if (m_inputHeight < kMinimumInputHeight) {
        m_inputHeight = kMinimumInputHeight;
    } else if (client.height - m_inputHeight - kSplitterHeight < kMinimumOutputHeight) {
        m_inputHeight = client.height - kMinimumOutputHeight - kSplitterHeight;
    }
    // Moving the panes without filling the strip: the next paint does that.
    const std::int32_t top = client.height - m_inputHeight - kSplitterHeight;
    m_splitterRect = Rect{0, top, client.width, top + kSplitterHeight};
    if (IPaneControl* output = m_output.Control()) output->Move(0, 0, client.width, top);
    if (IPaneControl* input = m_input.Control()) {
        input->Move(0, top + kSplitterHeight, client.width, m_inputHeight);
    }
}

std::intptr_t CApp::WndProc(WindowMessage& message) {
    switch (message.type) {
        case WindowMessageType::GetMinMaxInfo: {
            const Size frame = m_hWnd ? m_hWnd->GetFrameSize() : Size{};
            message.minTrackSize =
                Size{kMinimumClientWidth + frame.width, m_inputHeight + 42 + frame.height};
            return 0;
        }
        case WindowMessageType::Destroy: {
            const Rect window = m_hWnd->GetWindowRect();
            m_settings.Set("Window.X", std::to_string(window.left));
            m_settings.Set("Window.Y", std::to_string(window.top));
            m_settings.Set("Window.W", std::to_string(window.Width()));
            m_settings.Set("Window.H", std::to_string(window.Height()));
            m_settingsDirty = true;
            break;
        }
        case WindowMessageType::Size:
            LayoutPanes(message.size.width, message.size.height);
            FillSplitter();
            SendWindowSize(false);
            return 0;
        case WindowMessageType::Sizing: {
            const Size frame = m_hWnd->GetFrameSize();
            LayoutPanes(message.rect.Width() - frame.width, message.rect.Height() - frame.height);
            FillSplitter();
            return 0;
        }
        case WindowMessageType::Activate:
            if (message.flag) {
                CWindow::WndProc(message);
                if (IPaneControl* input = m_input.Control()) input->SetFocus();
                return 0;
            }
            break;
        case WindowMessageType::Paint:
        case WindowMessageType::EraseBackground:
            FillSplitter();
            if (message.type == WindowMessageType::EraseBackground) return 0;
            break;
        case WindowMessageType::Close:
            if (HasUserDownloads() &&
                m_hWnd->ShowMessageBox(
                    "You have downloads in progress. Exit anyway?", "Downloads in progress",
                    MessageBoxKind::QuestionYesNoDefaultNo) == MessageBoxAnswer::No) {
                return 0;
            }
            break;
        case WindowMessageType::Command:
            if (message.flag) {
                if (m_input.HasFocus()) {
                    m_input.MenuCommand(message.id);
                } else if (m_output.HasFocus()) {
                    m_output.MenuCommand(message.id);
                }
            }
            break;
        case WindowMessageType::Timer:
            // While the loop polls it ticks after every batch: a tick from the timer as well
            // would double the work of that turn and keep input waiting.
            if (message.id == kTickTimer && !IsHighPerfMode()) OnTick();
            break;
        case WindowMessageType::MouseMove:
            if (message.flag) DragSplitter(message.y);
            break;
        case WindowMessageType::LeftButtonDown:
            m_hWnd->SetMouseCapture(true);
            break;
        case WindowMessageType::LeftButtonUp:
            m_hWnd->SetMouseCapture(false);
            break;
    }
    return CWindow::WndProc(message);
}

void CApp::OnNotify(const PaneNotify& notify) {
    CRichPane* sender = notify.sender;
    if (sender != &m_output && sender != &m_input) return;
    switch (notify.code) {
        case PaneNotifyCode::LineEntered: {
            m_output.SetHoldByUser(false);
            m_output.Flush();
            // Characters beyond Latin-1 can only reach a server that takes another encoding.
            const bool unicode = m_telnet->GetServerEncoding() != ServerEncoding::Native;
            std::string text = (unicode ? sender->GetUnicodeText() : sender->GetText()) + "\r\n";
            if (IPaneControl* control = sender->Control()) control->Clear();
            sender->ClearHoverUrl();
            SubmitText(text);
            break;
        }
        case PaneNotifyCode::CharTyped: {
            if (sender != &m_output) break;
            IPaneControl* input = m_input.Control();
            if (!input) break;
            input->SetFocus();
            const KeyModifiers modifiers{notify.ctrl, notify.shift, notify.alt};
            if (m_input.OnKeyDown(static_cast<int>(notify.characterCode), modifiers) &&
                (notify.characterCode >= 0x20 || notify.characterCode == '\t')) {
                if (notify.characterCode <= 0xFF) {
                    const char byte = static_cast<char>(notify.characterCode);
                    input->ReplaceSelection(std::string_view(&byte, 1), true);
                } else if (notify.characterCode <= 0xFFFF) {
                    input->ReplaceSelectionUtf16(static_cast<char16_t>(notify.characterCode), true);
                }
            }
            break;
        }
        case PaneNotifyCode::SearchSelection:
            // The text goes after the prefix as it is, without encoding.
            if (notify.sender) notify.sender->OpenUrl(m_searchUrlPrefix + notify.text);
            break;
        case PaneNotifyCode::SaveUrl:
            SaveLink(notify.text);
            break;
    }
}
