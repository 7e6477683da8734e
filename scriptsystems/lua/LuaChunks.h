#pragma once

// The pieces of Lua work that may raise, each a C function run under lua_pcall with a job
// record as its one (light userdata) argument.

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include <lua.hpp>

#include "LuaNatives.h"
#include "script/ScriptInterface.h"

// Keeps the position Lua put in front of an error and turns other error objects into text.
int LuaMessageHandler(lua_State* L);

// The text of the error object at index, read without raising.
std::string LuaErrorText(lua_State* L, int index);

struct LuaLoadJob {
    const char* path = nullptr;  // a file, or the chunk name of code
    const char* code = nullptr;  // null: load the file
    std::size_t length = 0;
    int loadStatus = LUA_OK;  // what loading (before running) gave
};
// Loads the file or code as text (never a precompiled chunk, which could crash Lua) and runs it.
int LuaLoadAndRun(lua_State* L);

struct LuaCallJob {
    const char* name = nullptr;  // a global, or a dotted path through tables
    std::uint64_t argumentCount = 0;
    const ScriptValue* arguments = nullptr;
};
// Calls the named function; its results are all the values above the job.
int LuaCallByName(lua_State* L);

// Opens the standard libraries and makes every native of the map a global.
int LuaOpenState(lua_State* L);
using LuaNativeMap = std::map<std::string, std::unique_ptr<LuaNative>>;

// Sets one native's global (job: the LuaNative), or clears a global (job: its name).
int LuaSetNative(lua_State* L);
int LuaClearGlobal(lua_State* L);
