#include <unistd.h>

#include <cerrno>
#include "tests/support/HeadlessPlatform.h"

#include <algorithm>

#include "tests/support/RecordingPaneControl.h"

HeadlessWindow::HeadlessWindow(HeadlessPlatform& platform, CWindow& owner,
                               const WindowCreateParams& params)
    : m_platform(platform), m_owner(owner), m_params(params), m_title(params.title) {
    const std::int32_t x = params.defaultPosition ? 100 : params.x;
    const std::int32_t y = params.defaultPosition ? 80 : params.y;
    m_rect = Rect{x, y, x + params.width, y + params.height};
}

void HeadlessWindow::DestroyWindow() {
    if (!m_exists) return;
    Deliver(WindowMessage::Of(WindowMessageType::Destroy));
    m_exists = false;
    m_timers.clear();
}

::Size HeadlessWindow::GetClientSize() const {
    return ::Size{m_rect.Width() - HeadlessPlatform::kFrame.width,
                  m_rect.Height() - HeadlessPlatform::kFrame.height};
}

::Size HeadlessWindow::GetFrameSize() const { return HeadlessPlatform::kFrame; }

void HeadlessWindow::StartTimer(int id, int periodMs) {
    StopTimer(id);
    m_timers.emplace_back(id, periodMs);
}

void HeadlessWindow::StopTimer(int id) {
    std::erase_if(m_timers, [id](const auto& timer) { return timer.first == id; });
}

int HeadlessWindow::TimerPeriod(int id) const {
    for (const auto& [timerId, period] : m_timers) {
        if (timerId == id) return period;
    }
    return -1;
}

MessageBoxAnswer HeadlessWindow::ShowMessageBox(const std::string& text, const std::string& caption,
                                                MessageBoxKind kind) {
    m_platform.m_messageBoxes.push_back({text, caption, kind});
    return m_platform.m_answer;
}

std::unique_ptr<IPaneControl> HeadlessWindow::CreatePaneControl(bool isOutput, const Rect& rect,
                                                                IPaneEvents& events) {
    if (m_platform.m_paneFactory) return m_platform.m_paneFactory(isOutput, rect, events);
    return std::make_unique<RecordingPaneControl>(&events, isOutput, rect);
}

std::intptr_t HeadlessWindow::Deliver(WindowMessage message) {
    return m_owner.HandleMessage(message);
}

void HeadlessWindow::SetWindowRect(const Rect& rect) {
    m_rect = rect;
    WindowMessage message = WindowMessage::Of(WindowMessageType::Size);
    message.size = GetClientSize();
    Deliver(message);
}

void HeadlessWindow::RequestClose() { Deliver(WindowMessage::Of(WindowMessageType::Close)); }

HeadlessPlatform::HeadlessPlatform() = default;

int HeadlessPlatform::RegisterWindowClass(const std::string&) { return m_registerError; }

std::unique_ptr<IWindowPort> HeadlessPlatform::CreateWindow(const WindowCreateParams& params,
                                                            CWindow& owner, int& errorCode) {
    if (m_createError != 0) {
        errorCode = m_createError;
        return nullptr;
    }
    auto window = std::make_unique<HeadlessWindow>(*this, owner, params);
    m_window = window.get();
    return window;
}

bool HeadlessPlatform::ProcessEvents(bool wait) {
    if (m_onProcessEvents) m_onProcessEvents(wait);
    wait ? ++m_waits : ++m_polls;
    if (m_queueClose && m_window) {
        m_queueClose = false;
        m_window->RequestClose();
        return true;
    }
    if (!m_queue.empty()) {
        // Waiting takes one message; polling takes all that wait.
        do {
            WindowMessage message = m_queue.front();
            m_queue.pop_front();
            if (m_window) m_window->Deliver(message);
        } while (!wait && !m_queue.empty());
        return true;
    }
    if (wait && m_window) {
        WindowMessage timer = WindowMessage::Of(WindowMessageType::Timer);
        timer.id = 1;
        m_window->Deliver(timer);
    }
    return true;
}

int HeadlessWindow::SetIcon(const std::string& file) {
    if (!file.empty() && access(file.c_str(), R_OK) != 0) return errno;
    m_icon = file;
    return 0;
}
