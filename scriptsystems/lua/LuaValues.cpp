#include "LuaValues.h"

#include <cfloat>
#include <climits>
#include <cmath>

namespace {

void PushValue(lua_State* L, const ScriptValue& value, int depth) {
    switch (value.type) {
        case ScriptValue::Int:
            lua_pushinteger(L, value.value.i);
            return;
        case ScriptValue::Float:
            lua_pushnumber(L, static_cast<lua_Number>(value.value.f));
            return;
        case ScriptValue::String:
            lua_pushstring(L, value.value.text ? value.value.text : "");
            return;
        case ScriptValue::Array: {
            if (depth >= kLuaMaxValueDepth) {
                luaL_error(L, "array nested more than %d deep", kLuaMaxValueDepth);
            }
            luaL_checkstack(L, 2, "array nested too deeply");
            const std::uint64_t count = value.value.elements ? value.count : 0;
            lua_createtable(L, count > INT_MAX ? INT_MAX : static_cast<int>(count), 0);
            for (std::uint64_t i = 0; i < count; ++i) {
                PushValue(L, value.value.elements[i], depth + 1);
                lua_rawseti(L, -2, static_cast<lua_Integer>(i + 1));
            }
            return;
        }
        default:
            lua_pushnil(L);
            return;
    }
}

ScriptValue NumberValue(lua_State* L, int index) {
    if (lua_isinteger(L, index)) {
        const lua_Integer number = lua_tointeger(L, index);
        if (number >= INT32_MIN && number <= INT32_MAX) {
            return MakeIntValue(static_cast<std::int32_t>(number));
        }
        return MakeFloatValue(static_cast<float>(number));
    }
    const lua_Number number = lua_tonumber(L, index);
    if (std::isfinite(number) && number == std::floor(number) && number >= INT32_MIN &&
        number <= INT32_MAX) {
        return MakeIntValue(static_cast<std::int32_t>(number));
    }
    // Out-of-range doubles become infinities rather than an undefined conversion.
    if (number > FLT_MAX) return MakeFloatValue(HUGE_VALF);
    if (number < -FLT_MAX) return MakeFloatValue(-HUGE_VALF);
    return MakeFloatValue(static_cast<float>(number));
}

struct ReadState {
    const void* path[kLuaMaxValueDepth];  // the tables being read, outermost first
    int depth = 0;
    std::uint64_t elementsLeft = kLuaMaxValueElements;
};

ScriptValue ReadValue(lua_State* L, int index, ReadState& state);

// The length of a table whose keys are exactly 1..n, or -1 for any other table.
lua_Integer SequenceLength(lua_State* L, int index) {
    const lua_Unsigned length = lua_rawlen(L, index);
    lua_Unsigned keys = 0;
    lua_pushnil(L);
    while (lua_next(L, index) != 0) {
        lua_pop(L, 1);
        const bool inSequence = lua_isinteger(L, -1) && lua_tointeger(L, -1) >= 1 &&
                                static_cast<lua_Unsigned>(lua_tointeger(L, -1)) <= length;
        if (!inSequence || ++keys > length) {
            lua_pop(L, 1);
            return -1;
        }
    }
    // Distinct keys, all in 1..length, as many as length: exactly the sequence.
    return keys == length ? static_cast<lua_Integer>(length) : -1;
}

ScriptValue ReadTable(lua_State* L, int index, ReadState& state) {
    const void* table = lua_topointer(L, index);
    if (state.depth >= kLuaMaxValueDepth || !lua_checkstack(L, 3)) return MakeIntValue(0);
    for (int i = 0; i < state.depth; ++i) {
        if (state.path[i] == table) return MakeIntValue(0);
    }
    const lua_Integer length = SequenceLength(L, index);
    if (length < 0 || static_cast<std::uint64_t>(length) > state.elementsLeft) {
        return MakeIntValue(0);
    }
    state.elementsLeft -= static_cast<std::uint64_t>(length);
    ScriptValue array = MakeArrayValue(static_cast<std::uint64_t>(length));
    state.path[state.depth++] = table;
    for (std::uint64_t i = 0; i < array.count; ++i) {
        lua_rawgeti(L, index, static_cast<lua_Integer>(i + 1));
        array.value.elements[i] = ReadValue(L, -1, state);
        lua_pop(L, 1);
    }
    --state.depth;
    return array;
}

ScriptValue ReadValue(lua_State* L, int index, ReadState& state) {
    index = lua_absindex(L, index);
    switch (lua_type(L, index)) {
        case LUA_TNUMBER:
            return NumberValue(L, index);
        case LUA_TSTRING:
            // A string needs no conversion, so this does not allocate inside Lua.
            return MakeTextValue(lua_tostring(L, index));
        case LUA_TBOOLEAN:
            return MakeIntValue(lua_toboolean(L, index) ? 1 : 0);
        case LUA_TTABLE:
            return ReadTable(L, index, state);
        default:
            return MakeIntValue(0);
    }
}

}  // namespace

void PushScriptValue(lua_State* L, const ScriptValue& value) { PushValue(L, value, 0); }

ScriptValue ReadScriptValue(lua_State* L, int index) {
    ReadState state;
    return ReadValue(L, index, state);
}
