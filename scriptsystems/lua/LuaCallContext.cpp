#include "LuaCallContext.h"

#include <new>

#include "LuaValues.h"

CLuaCallContext::CLuaCallContext(lua_State* L, int parameterCount)
    : m_state(L), m_parameterCount(parameterCount) {}

CLuaCallContext::~CLuaCallContext() {
    for (ScriptValue& value : m_results) DestroyScriptValue(&value);
}

std::uint64_t CLuaCallContext::GetParameterCount() {
    return static_cast<std::uint64_t>(m_parameterCount);
}

void CLuaCallContext::GetParameter(ScriptValue* value, std::uint64_t index) {
    if (!value) return;
    if (index >= static_cast<std::uint64_t>(m_parameterCount)) {
        *value = MakeIntValue(0);
        return;
    }
    *value = ReadScriptValue(m_state, static_cast<int>(index) + 1);
}

void CLuaCallContext::ReturnValue(const ScriptValue* value) {
    if (!value) return;
    ScriptValue copy = CopyScriptValue(*value);
    try {
        m_results.push_back(copy);
    } catch (const std::bad_alloc&) {
        DestroyScriptValue(&copy);
        m_lostResult = true;
    }
}

void CLuaCallContext::SetError(const char* text) {
    try {
        m_error = text ? text : "";
    } catch (const std::bad_alloc&) {
        m_error.clear();
    }
}
