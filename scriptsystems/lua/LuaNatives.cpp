#include "LuaNatives.h"

#include <climits>
#include <new>
#include <vector>

#include "LuaCallContext.h"
#include "LuaValues.h"

// Lua raises errors with longjmp, which skips C++ destructors. So every C++ object of a native
// call lives in RunNative, which never raises, and only NativeTrampoline (whose frame holds
// nothing to destroy) raises after RunNative has returned.

namespace {

int PushResults(lua_State* L) {
    const auto& results = *static_cast<const std::vector<ScriptValue>*>(lua_touserdata(L, 1));
    const std::size_t count = results.size();
    luaL_checkstack(L, count > INT_MAX - 8 ? INT_MAX - 8 : static_cast<int>(count),
                    "too many results");
    for (std::size_t i = 0; i < count; ++i) PushScriptValue(L, results[i]);
    return static_cast<int>(count);
}

// Restores the running thread however the native leaves.
class CCurrentThread {
  public:
    CCurrentThread(LuaNativeCalls& calls, lua_State* L)
        : m_calls(calls), m_previous(calls.currentThread) {
        calls.currentThread = L;
    }
    ~CCurrentThread() { m_calls.currentThread = m_previous; }
    CCurrentThread(const CCurrentThread&) = delete;
    CCurrentThread& operator=(const CCurrentThread&) = delete;

  private:
    LuaNativeCalls& m_calls;
    lua_State* m_previous;
};

// The number of results pushed, or -1 with the message in calls.failure.
int RunNative(lua_State* L, const LuaNative& native) noexcept {
    LuaNativeCalls& calls = *native.calls;
    try {
        if (!native.function) {
            calls.failure = native.name + " is no longer available";
            return -1;
        }
        CLuaCallContext context(L, lua_gettop(L));
        bool succeeded = false;
        {
            CCurrentThread running(calls, L);
            succeeded = native.function(&context, native.user);
        }
        // A message set by a call that succeeded (a warning) is not an error here.
        if (!succeeded) {
            calls.failure = context.Error().empty() ? native.name + " failed" : context.Error();
            return -1;
        }
        if (context.LostResult()) {
            calls.failure = native.name + ": not enough memory for its results";
            return -1;
        }
        if (context.Results().empty()) return 0;
        if (!lua_checkstack(L, 3)) {
            calls.failure = native.name + ": stack overflow";
            return -1;
        }
        // Pushing allocates and may raise, so it runs protected while the results still live.
        const int base = lua_gettop(L);
        lua_pushcfunction(L, PushResults);
        lua_pushlightuserdata(L, &context.Results());
        if (lua_pcall(L, 1, LUA_MULTRET, 0) != LUA_OK) {
            calls.failure =
                lua_type(L, -1) == LUA_TSTRING ? lua_tostring(L, -1) : "not enough memory";
            lua_settop(L, base);
            return -1;
        }
        return lua_gettop(L) - base;
    } catch (...) {
        calls.failure.clear();
        return -1;
    }
}

int NativeTrampoline(lua_State* L) {
    const auto* native = static_cast<const LuaNative*>(lua_touserdata(L, lua_upvalueindex(1)));
    const int results = RunNative(L, *native);
    if (results >= 0) return results;
    // The text is copied before anything can run another native and replace it.
    lua_pushstring(
        L, native->calls->failure.empty() ? "not enough memory" : native->calls->failure.c_str());
    luaL_where(L, 1);
    lua_insert(L, -2);
    lua_concat(L, 2);
    return lua_error(L);
}

}  // namespace

void SetNativeGlobal(lua_State* L, LuaNative* native) {
    lua_pushlightuserdata(L, native);
    lua_pushcclosure(L, NativeTrampoline, 1);
    lua_setglobal(L, native->name.c_str());
}
