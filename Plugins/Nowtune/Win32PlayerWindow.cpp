#ifdef _WIN32

#include "Win32PlayerWindow.h"

#include <windows.h>

#include <vector>

CWin32PlayerWindow::CWin32PlayerWindow(std::chrono::milliseconds budget)
    : m_deadline(std::chrono::steady_clock::now() + budget) {}

std::uintptr_t CWin32PlayerWindow::FindTopLevelWindow(const char* className) {
    return reinterpret_cast<std::uintptr_t>(FindWindowA(className, nullptr));
}

std::string CWin32PlayerWindow::ReadWindowTitle(std::uintptr_t window, std::size_t maxLength) {
    std::vector<char> buffer(maxLength + 1, '\0');
    const int length = GetWindowTextA(reinterpret_cast<HWND>(window), buffer.data(),
                                      static_cast<int>(buffer.size()));
    return std::string(buffer.data(), length > 0 ? static_cast<std::size_t>(length) : 0);
}

std::intptr_t CWin32PlayerWindow::SendUserMessage(std::uintptr_t window, std::intptr_t first,
                                                  std::intptr_t command) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        m_deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return -1;
    DWORD_PTR answer = 0;
    if (!SendMessageTimeoutA(reinterpret_cast<HWND>(window), WM_USER, static_cast<WPARAM>(first),
                             static_cast<LPARAM>(command), SMTO_ABORTIFHUNG | SMTO_BLOCK,
                             static_cast<UINT>(left.count()), &answer)) {
        return -1;
    }
    return static_cast<std::intptr_t>(answer);
}

#endif
