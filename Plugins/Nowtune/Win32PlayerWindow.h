#pragma once

#ifdef _WIN32

#include <chrono>

#include "PlayerWindow.h"

// The player's window reached through the Windows user interface. Messages share one time
// budget: a player that hangs answers "unknown" (-1) instead of freezing the caller's thread.
class CWin32PlayerWindow final : public IPlayerWindowPort {
  public:
    explicit CWin32PlayerWindow(std::chrono::milliseconds budget);
    std::uintptr_t FindTopLevelWindow(const char* className) override;
    std::string ReadWindowTitle(std::uintptr_t window, std::size_t maxLength) override;
    std::intptr_t SendUserMessage(std::uintptr_t window, std::intptr_t first,
                                  std::intptr_t command) override;

  private:
    std::chrono::steady_clock::time_point m_deadline;
};

#endif
