#include "app/AppSystemHost.h"

#include <chrono>

#include "app/App.h"

std::int64_t CAppSystemHost::CurrentTimeSeconds() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

void CAppSystemHost::SetMainWindowTitle(const std::string& title) {
    if (IWindowPort* window = m_app.Port()) window->SetTitle(title);
}

bool CAppSystemHost::SetMainWindowIcon(const std::string&) { return false; }
