#include "ui/Window.h"

#include <cstdio>

namespace {

std::string FormatFailure(const char* what, int code) {
    char text[128];
    std::snprintf(text, sizeof text, "%s failed. GetLastError() returns %d", what, code);
    return text;
}

}  // namespace

CWindow::~CWindow() = default;

bool CWindow::Create(IPlatform* instance) {
    m_hInstance = instance;
    std::string failure;
    if (int code = instance->RegisterWindowClass(kClassName); code != 0) {
        failure = FormatFailure("RegisterClassEx()", code);
    } else {
        WindowCreateParams params;
        params.className = kClassName;
        params.title = m_title;
        params.defaultPosition = m_x == kDefaultPosition || m_y == kDefaultPosition;
        params.x = m_x;
        params.y = m_y;
        params.width = m_width;
        params.height = m_height;
        int errorCode = 0;
        m_hWnd = instance->CreateWindow(params, *this, errorCode);
        if (m_hWnd) return true;
        failure = FormatFailure("CreateWindowEx()", errorCode);
        instance->UnregisterWindowClass(kClassName);
    }
    instance->ShowMessageBox(failure, "Error", MessageBoxKind::Error);
    return false;
}

void CWindow::Destroy() {
    if (m_hWnd && m_hWnd->Exists()) m_hWnd->DestroyWindow();
    m_hWnd.reset();
    if (m_hInstance) m_hInstance->UnregisterWindowClass(kClassName);
    m_title = kDefaultTitle;
    m_hInstance = nullptr;
    m_x = kDefaultPosition;
    m_y = kDefaultPosition;
    m_quit = 0;
    m_active = 0;
    m_width = kDefaultWidth;
    m_height = kDefaultHeight;
}

std::intptr_t CWindow::WndProc(WindowMessage& message) {
    switch (message.type) {
        case WindowMessageType::Destroy:
            m_quit = 1;
            break;
        case WindowMessageType::Activate:
            m_active = message.flag ? 1 : 0;
            break;
        case WindowMessageType::Close:
            // Default handling closes the window.
            if (m_hWnd && m_hWnd->Exists()) m_hWnd->DestroyWindow();
            return 0;
        default:
            break;
    }
    return 0;
}

void CWindow::Run() {
    for (;;) {
        const bool polling = IsHighPerfMode();
        if (!m_hInstance->ProcessEvents(!polling)) {
            // Asked to quit: the window goes first, so that its destroy handling (which stores
            // the window rectangle) runs before the shutdown writes the settings.
            if (m_hWnd && m_hWnd->Exists()) m_hWnd->DestroyWindow();
            m_quit = 1;
        }
        if (m_quit) return;
        OnTick();
    }
}
