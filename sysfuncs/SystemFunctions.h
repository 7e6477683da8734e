#pragma once

#include <cstdint>
#include <string>

#include "script/ScriptInterface.h"

// What the system functions for scripts need of the application: its main window and clocks.
// The application implements it and registers the functions with it as user pointer.
class ISystemHost {
  public:
    virtual ~ISystemHost() = default;
    // Seconds since 1970 (UTC) of the current time.
    virtual std::int64_t CurrentTimeSeconds() = 0;
    // Milliseconds since the system started, wrapping at 2^32.
    virtual std::uint32_t UptimeMilliseconds() = 0;
    // The title the main window has from the start.
    virtual std::string ProgramTitle() = 0;
    virtual void SetMainWindowTitle(const std::string& title) = 0;
    // Shows the icon of the file on the main window; 0, or the system's error code when the
    // file cannot be read as an icon (and the window keeps the icon it had).
    virtual int SetMainWindowIcon(const std::string& file) = 0;
    virtual void RestoreProgramIcon() = 0;
};

// The native functions "getOS", "getTime", "setIcon" and "setWindowTitle"; user is the
// ISystemHost. They are registered together with "httpGet" in the order getOS, getTime,
// httpGet, setIcon, setWindowTitle.
bool GetOS(ScriptCallContext* context, void* user);
bool GetTime(ScriptCallContext* context, void* user);
bool SetIcon(ScriptCallContext* context, void* user);
bool SetWindowTitle(ScriptCallContext* context, void* user);
