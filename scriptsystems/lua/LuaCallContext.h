#pragma once

// The context a native function sees for one call from Lua.

#include <string>
#include <vector>

#include <lua.hpp>

#include "script/ScriptInterface.h"

class CLuaCallContext final : public ScriptCallContext {
  public:
    // The parameters are the values 1..parameterCount of the calling C function's frame.
    CLuaCallContext(lua_State* L, int parameterCount);
    ~CLuaCallContext();
    CLuaCallContext(const CLuaCallContext&) = delete;
    CLuaCallContext& operator=(const CLuaCallContext&) = delete;

    std::uint64_t GetParameterCount() override;
    // An index past the parameters gives Int 0.
    void GetParameter(ScriptValue* value, std::uint64_t index) override;
    void ReturnValue(const ScriptValue* value) override;
    void SetError(const char* text) override;
    const char* GetExtension() override { return "lua"; }

    std::vector<ScriptValue>& Results() { return m_results; }
    const std::string& Error() const { return m_error; }
    // A result that could not be kept: the call cannot hand back what the function gave.
    bool LostResult() const { return m_lostResult; }

  private:
    lua_State* m_state;
    int m_parameterCount;
    std::vector<ScriptValue> m_results;
    std::string m_error;
    bool m_lostResult = false;
};
