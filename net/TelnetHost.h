#pragma once

#include <cstdint>
#include <span>
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

// What a message of the engine's own is; the host decides how each kind looks.
enum class TelnetMessageKind : std::uint8_t {
    Plain,   // shown as it is (a heading)
    Quoted,  // text the user typed, repeated as given: any format codes in it end with it
    Error,
    Success,
    Notice,
};

// One part of a message block; any line break is part of the text.
struct TelnetMessagePart {
    TelnetMessageKind kind = TelnetMessageKind::Plain;
    std::string text;
};

// What the telnet engine needs of the rest of the application. All calls come on the main
// thread, from inside the engine's operations.
class ITelnetHost {
  public:
    virtual ~ITelnetHost() = default;

    // A message of the client's own, in plain text; any line break is part of the text.
    virtual void Report(TelnetMessageKind kind, std::string_view text) = 0;
    // Several parts shown together as one piece of output (the /telnet report; "Invalid port: "
    // with the port text typed).
    virtual void ReportBlock(std::span<const TelnetMessagePart> parts) = 0;
    // Appends server text to the output pane as it is.
    virtual void ShowText(std::string_view text) = 0;
    // Whether received lines pass through FilterReceivedLine one by one (a script listens);
    // without a filter the engine hands them straight to ShowText, many at a time. Asked again
    // before every line.
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
    // A monotonic clock in milliseconds, for how long a partial line has waited. A host whose
    // clock stands still never gets text shown provisionally.
    virtual std::uint64_t CurrentTimeMilliseconds() { return 0; }

    // A partial line that has waited (a prompt without IAC GA or IAC EOR) is shown for now
    // without passing the filters; a further call shows more of the same line after it.
    virtual void ShowProvisional(std::string_view /*text*/) {}
    // The rest of the line arrived: what was shown for now goes out of the pane again, with
    // the format state it changed, before the whole line is filtered and shown.
    virtual void TakeBackProvisional() {}
    // The connection ends under a provisional prompt: it stays as it is shown.
    virtual void SettleProvisional() {}
    // Wake the event loop when the descriptor has bytes to read; -1 stops watching.
    virtual void WatchSocket(int descriptor) = 0;

    // Whether GMCP messages have anybody to go to (scripts are running); the option is refused
    // otherwise.
    virtual bool TakesGmcp() { return false; }
    // One GMCP message from the server: the package name and the JSON text after it (empty
    // when there is none), as the server sent them.
    virtual void ReceiveGmcp(std::string_view /*package*/, std::string_view /*json*/) {}
    // The client's version as it introduces itself ("2.11").
    virtual std::string ClientVersion() { return std::string(); }
    // The SHA-256 fingerprint the player trusts for an encrypted connection to target
    // ("host:port"), though its certificate does not verify; empty when none is kept.
    virtual std::string TrustedFingerprint(const std::string& /*target*/) { return {}; }
};
