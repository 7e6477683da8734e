#pragma once

#include <cstdint>
#include <string>

#include "script/ScriptInterface.h"

// What the system functions for scripts need of the application: its main window and the
// time. The application implements it and registers the functions with it as user pointer.
class ISystemHost {
  public:
    virtual ~ISystemHost() = default;
    // Seconds since 1970 (UTC) of the current time.
    virtual std::int64_t CurrentTimeSeconds() = 0;
    virtual void SetMainWindowTitle(const std::string& title) = 0;
    // An empty file name restores the program's own icon; false when the file is no icon.
    virtual bool SetMainWindowIcon(const std::string& file) = 0;
};

// The native functions "getOS", "getTime", "setIcon" and "setWindowTitle"; user is the
// ISystemHost. They are registered together with "httpGet" in the order getOS, getTime,
// httpGet, setIcon, setWindowTitle.
bool GetOS(ScriptCallContext* context, void* user);
bool GetTime(ScriptCallContext* context, void* user);
bool SetIcon(ScriptCallContext* context, void* user);
bool SetWindowTitle(ScriptCallContext* context, void* user);
