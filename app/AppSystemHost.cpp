#include "app/AppSystemHost.h"

#include <Version.h>
#include <time.h>

#include <cerrno>
#include <chrono>

#include "app/App.h"

std::int64_t CAppSystemHost::CurrentTimeSeconds() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

std::uint32_t CAppSystemHost::UptimeMilliseconds() {
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    const auto milliseconds = static_cast<std::uint64_t>(now.tv_sec) * 1000u +
                              static_cast<std::uint64_t>(now.tv_nsec) / 1'000'000u;
    return static_cast<std::uint32_t>(milliseconds);
}

std::string CAppSystemHost::ProgramTitle() { return OSTRAK_PRODUCT_NAME; }

void CAppSystemHost::SetMainWindowTitle(const std::string& title) {
    if (IWindowPort* window = m_app.Port()) window->SetTitle(title);
}

int CAppSystemHost::SetMainWindowIcon(const std::string& file) {
    IWindowPort* window = m_app.Port();
    return window ? window->SetIcon(file) : ENODEV;
}

void CAppSystemHost::RestoreProgramIcon() {
    if (IWindowPort* window = m_app.Port()) window->SetIcon("");
}
