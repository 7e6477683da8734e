#pragma once

#include <cstdint>
#include <string>

#include "SongInfo.h"

// The three operations of a window system through which a player that answers window
// messages is asked what it plays. A window is an opaque handle; 0 means none.
class IPlayerWindowPort {
  public:
    virtual ~IPlayerWindowPort() = default;
    // A top-level window of the class, whatever its title; 0 when there is none.
    virtual std::uintptr_t FindTopLevelWindow(const char* className) = 0;
    // At most maxLength characters of the window's title.
    virtual std::string ReadWindowTitle(std::uintptr_t window, std::size_t maxLength) = 0;
    // Sends the player's user message with the two parameters and waits for its answer.
    virtual std::intptr_t SendUserMessage(std::uintptr_t window, std::intptr_t first,
                                          std::intptr_t command) = 0;
};

// One snapshot taken through the player's window: all zero and empty without the window.
SongInfo TakeWindowSnapshot(IPlayerWindowPort& port);
