#pragma once

#include <cstdint>
#include <vector>

#include "script/ScriptInterface.h"

class CApp;

// How deep "send" and "sendln" are nested in each other, for the whole process: beyond
// kMaxSendNesting, script text skips commands and filters so a script that sends to itself
// cannot recurse without end.
extern std::int32_t g_sendNesting;
constexpr std::int32_t kMaxSendNesting = 16;

// The native functions the application offers to scripts, in registration order, each with
// the application as its user pointer.
std::vector<PluginFunctionInfo> ApplicationFunctions(CApp& app);

// The functions for out-of-band protocols with the server ("sendGMCP"), registered after the
// application's own.
std::vector<PluginFunctionInfo> ProtocolFunctions(CApp& app);
