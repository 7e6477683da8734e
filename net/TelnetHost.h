#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The output pane's client area and the extent of one "X" in its font, in pixels; zero where
// it cannot be measured.
struct PaneMetrics {
    std::int32_t clientWidth = 0;
    std::int32_t clientHeight = 0;
    std::int32_t charWidth = 0;
    std::int32_t charHeight = 0;
};

// What the telnet engine needs of the rest of the application. All calls come on the main
// thread, from inside the engine's operations.
class ITelnetHost {
  public:
    virtual ~ITelnetHost() = default;

    // An error line: the text in red followed by "\r\n".
    virtual void PrintError(std::string_view text) = 0;
    // A span in a colour given as 0xRRGGBB; any line break is part of the text.
    virtual void PrintColoured(std::uint32_t rrggbb, std::string_view text) = 0;
    // The same span as pane text, not shown, for blocks assembled from several parts.
    virtual std::string ColourMessage(std::uint32_t rrggbb, std::string_view text) = 0;
    // Appends text to the output pane as it is (server lines, reports).
    virtual void ShowText(std::string_view text) = 0;
    // Whether received lines pass through FilterReceivedLine (scripts are running); without
    // a filter the engine hands lines straight to ShowText without copying them.
    virtual bool HasReceiveFilter() { return true; }
    // Passes a line from the server through the "onReceive" callbacks and leaves in line the
    // text to show (an empty text is not shown); the host reports the scripts' message.
    virtual void FilterReceivedLine(std::string& line) = 0;

    // The script events "onConnected", "onConnectFailed" and "onDisconnect".
    virtual void FireConnected() = 0;
    virtual void FireConnectFailed() = 0;
    virtual void FireDisconnect(bool byUser) = 0;

    virtual PaneMetrics MeasureOutputPane() = 0;
    // Seconds since 1970.
    virtual std::int64_t CurrentTimeSeconds() = 0;
    // Wake the event loop when the descriptor has bytes to read; -1 stops watching.
    virtual void WatchSocket(int descriptor) = 0;
};
