#pragma once

// Conversions between Lua values and ScriptValues.

#include <lua.hpp>

#include "script/ScriptInterface.h"

// Arrays deeper than this are cut (Lua to ScriptValue) or refused (ScriptValue to Lua).
constexpr int kLuaMaxValueDepth = 32;
// At most this many array elements in all per converted Lua value, so a table that holds the
// same sub-table many times over cannot grow into an enormous copy.
constexpr std::uint64_t kLuaMaxValueElements = std::uint64_t{1} << 20;

// Pushes the Lua counterpart of value. Allocates, so it may raise: call it only inside a
// protected call.
void PushScriptValue(lua_State* L, const ScriptValue& value);

// A new ScriptValue made from the Lua value at index; never raises. Integral numbers in
// 32-bit range become Int, other numbers Float, strings String (up to a first NUL), booleans
// Int 0 or 1, sequence tables (exactly the keys 1..n) Array. Values without a counterpart
// (nil, functions, userdata, threads, other tables, a table met again inside itself or past
// the depth or element limits) become Int 0.
ScriptValue ReadScriptValue(lua_State* L, int index);
