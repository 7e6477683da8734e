#pragma once

// Native functions as Lua globals: C closures over a registration record.

#include <string>

#include <lua.hpp>

#include "script/ScriptInterface.h"

// What the natives of one script system share.
struct LuaNativeCalls {
    // The thread that runs the innermost native call; calls the client makes from inside a
    // native run on it, as a nested Lua call would.
    lua_State* currentThread = nullptr;
    // The text of the native call that failed last, until it is raised.
    std::string failure;
};

// One registered native. The closures point at the record, so it outlives every closure of
// its state; an unregistered record keeps a null function and refuses the call, so a script
// that kept a reference cannot reach a plug-in that may be gone.
struct LuaNative {
    ScriptFunction function = nullptr;
    void* user = nullptr;
    std::string name;
    LuaNativeCalls* calls = nullptr;
};

// Makes native the Lua global of its name. Allocates, so it may raise: protected calls only.
void SetNativeGlobal(lua_State* L, LuaNative* native);
