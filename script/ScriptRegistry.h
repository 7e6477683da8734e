#pragma once

#include "script/ScriptInterface.h"

class CScriptHost;

// The native functions through which scripts fill the host's registry. Each takes the host as
// its user pointer.
struct ScriptRegistry {
    // Offers the seven functions to every system of the host, one function at a time.
    static void RegisterAll(CScriptHost& host);

    static bool Load(ScriptCallContext* context, void* user);
    static bool RegisterCommand(ScriptCallContext* context, void* user);
    static bool UnregisterCommand(ScriptCallContext* context, void* user);
    static bool RegisterEvent(ScriptCallContext* context, void* user);
    static bool UnregisterEvent(ScriptCallContext* context, void* user);
    static bool RegisterTimer(ScriptCallContext* context, void* user);
    static bool UnregisterTimer(ScriptCallContext* context, void* user);
};
