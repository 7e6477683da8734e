#include "LuaLimits.h"

#include <cstdio>
#include <cstdlib>

namespace {

LuaLimits* LimitsOf(lua_State* L) { return *static_cast<LuaLimits**>(lua_getextraspace(L)); }

void* LimitedAlloc(void* user, void* block, std::size_t oldSize, std::size_t newSize) {
    auto* limits = static_cast<LuaLimits*>(user);
    // Without a block, oldSize tells the kind of object, not a size.
    const std::size_t held = block ? oldSize : 0;
    if (newSize == 0) {
        std::free(block);
        limits->memoryUsed -= held;
        return nullptr;
    }
    if (newSize > held && newSize - held > limits->memoryCap - limits->memoryUsed) return nullptr;
    void* resized = std::realloc(block, newSize);
    if (!resized) return nullptr;
    limits->memoryUsed = limits->memoryUsed - held + newSize;
    return resized;
}

// Only reached when an error escapes every protected call, which this library never lets
// happen; Lua aborts after it returns.
int Panic(lua_State* L) {
    const char* text = lua_type(L, -1) == LUA_TSTRING ? lua_tostring(L, -1) : "unknown error";
    std::fprintf(stderr, "Lua: unprotected error: %s\n", text);
    return 0;
}

void CountHook(lua_State* L, lua_Debug* debug) {
    LuaLimits* limits = LimitsOf(L);
    const int interval = lua_gethookcount(L);
    limits->instructionsRun += static_cast<std::uint64_t>(interval);
    if (limits->instructionsRun <= limits->instructionBudget) {
        // A coroutine stopped earlier may still carry the one-instruction count.
        if (interval != kLuaHookInterval) {
            lua_sethook(L, CountHook, LUA_MASKCOUNT, kLuaHookInterval);
        }
        return;
    }
    // From here on every instruction fails, so a script that catches the error with pcall and
    // loops on cannot get far.
    lua_sethook(L, CountHook, LUA_MASKCOUNT, 1);
    const auto budget = static_cast<lua_Integer>(limits->instructionBudget);
    if (lua_getinfo(L, "Sl", debug) && debug->currentline > 0) {
        lua_pushfstring(L, "%s:%d: script ran too long (more than %I instructions)",
                        debug->short_src, debug->currentline, budget);
    } else {
        lua_pushfstring(L, "script ran too long (more than %I instructions)", budget);
    }
    lua_error(L);
}

}  // namespace

lua_State* NewLimitedState(LuaLimits* limits) {
    limits->memoryUsed = 0;
    lua_State* L = lua_newstate(LimitedAlloc, limits);
    if (!L) return nullptr;
    // Threads made later copy the main thread's extra space.
    *static_cast<LuaLimits**>(lua_getextraspace(L)) = limits;
    lua_atpanic(L, Panic);
    return L;
}

void StartInstructionBudget(lua_State* L, LuaLimits* limits) {
    limits->instructionsRun = 0;
    lua_sethook(L, CountHook, LUA_MASKCOUNT, kLuaHookInterval);
}
