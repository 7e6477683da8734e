#include "LuaChunks.h"

#include <climits>
#include <cstring>

#include "LuaValues.h"

// Every function here but LuaErrorText may raise, so none of them holds a C++ object that
// needs destroying.

namespace {

void* Job(lua_State* L) { return lua_touserdata(L, 1); }

// Pushes the value that name refers to: a global, or fields of tables along a dotted path.
// Raises with a clear message when there is nothing callable there.
void PushFunction(lua_State* L, const char* name) {
    const char* dot = std::strchr(name, '.');
    if (!dot) {
        lua_getglobal(L, name);
    } else {
        lua_pushglobaltable(L);
        const char* part = name;
        for (;;) {
            const char* end = std::strchr(part, '.');
            const std::size_t length =
                end ? static_cast<std::size_t>(end - part) : std::strlen(part);
            if (!lua_istable(L, -1) || length == 0) {
                lua_pushfstring(L, "function '%s' is not defined", name);
                lua_error(L);
            }
            lua_pushlstring(L, part, length);
            lua_gettable(L, -2);
            lua_remove(L, -2);
            if (!end) break;
            part = end + 1;
        }
    }
    if (lua_isfunction(L, -1)) return;
    if (lua_isnil(L, -1)) {
        lua_pushfstring(L, "function '%s' is not defined", name);
        lua_error(L);
    }
    if (luaL_getmetafield(L, -1, "__call") != LUA_TNIL) {
        lua_pop(L, 1);
        return;
    }
    lua_pushfstring(L, "'%s' is a %s value, not a function", name, luaL_typename(L, -1));
    lua_error(L);
}

}  // namespace

int LuaMessageHandler(lua_State* L) {
    if (lua_isstring(L, 1)) {
        lua_tostring(L, 1);
        lua_settop(L, 1);
        return 1;
    }
    if (luaL_callmeta(L, 1, "__tostring") && lua_type(L, -1) == LUA_TSTRING) return 1;
    lua_pushfstring(L, "(error object is a %s value)", luaL_typename(L, 1));
    return 1;
}

std::string LuaErrorText(lua_State* L, int index) {
    if (lua_type(L, index) != LUA_TSTRING) return "unknown error";
    std::size_t length = 0;
    const char* text = lua_tolstring(L, index, &length);
    return std::string(text, length);
}

int LuaLoadAndRun(lua_State* L) {
    auto* job = static_cast<LuaLoadJob*>(Job(L));
    job->loadStatus = job->code ? luaL_loadbufferx(L, job->code, job->length, job->path, "t")
                                : luaL_loadfilex(L, job->path, "t");
    if (job->loadStatus != LUA_OK) return lua_error(L);
    lua_call(L, 0, 0);
    return 0;
}

int LuaCallByName(lua_State* L) {
    const auto* job = static_cast<const LuaCallJob*>(Job(L));
    const char* name = job->name ? job->name : "";
    PushFunction(L, name);
    if (job->argumentCount > INT_MAX - 8 ||
        !lua_checkstack(L, static_cast<int>(job->argumentCount))) {
        return luaL_error(L, "too many arguments for '%s'", name);
    }
    for (std::uint64_t i = 0; i < job->argumentCount; ++i) PushScriptValue(L, job->arguments[i]);
    lua_call(L, static_cast<int>(job->argumentCount), LUA_MULTRET);
    return lua_gettop(L) - 1;
}

int LuaOpenState(lua_State* L) {
    const auto* natives = static_cast<const LuaNativeMap*>(Job(L));
    luaL_openlibs(L);
    for (const auto& entry : *natives) SetNativeGlobal(L, entry.second.get());
    return 0;
}

int LuaSetNative(lua_State* L) {
    SetNativeGlobal(L, static_cast<LuaNative*>(Job(L)));
    return 0;
}

int LuaClearGlobal(lua_State* L) {
    lua_pushnil(L);
    lua_setglobal(L, static_cast<const char*>(Job(L)));
    return 0;
}
