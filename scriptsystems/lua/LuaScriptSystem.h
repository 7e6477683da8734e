#pragma once

// The Lua 5.4 script system: runs the client's *.lua scripts.

#include <cstdint>
#include <string>
#include <vector>

#include <lua.hpp>

#include "LuaChunks.h"
#include "LuaLimits.h"
#include "LuaNatives.h"
#include "script/ScriptInterface.h"

class CLuaScriptSystem final : public ScriptSystem {
  public:
    CLuaScriptSystem();
    CLuaScriptSystem(const CLuaScriptSystem&) = delete;
    CLuaScriptSystem& operator=(const CLuaScriptSystem&) = delete;

    // Starts the Lua state; false when it could not be had.
    bool Open();

    const char* GetExtension() override { return "lua"; }
    void Destroy() override;
    bool Execute(const char* code, std::uint64_t length) override;
    // Lua's status codes: 0 loaded, 2 run-time error, 3 syntax error, 4 out of memory,
    // 6 file not found or unreadable.
    std::int32_t LoadScript(const char* fileName) override;
    bool ReloadScripts() override;
    bool RegisterFunction(ScriptFunction function, void* user, const char* name) override;
    bool UnregisterFunction(const char* name) override;
    bool CallFunction(const char* name, std::uint64_t argumentCount, const ScriptValue* arguments,
                      const ScriptValue** results, std::uint64_t* resultCount) override;
    const char* GetErrorText() override { return m_errorText.c_str(); }

  private:
    ~CLuaScriptSystem();

    void Close();
    // The thread a call runs on: the main one, or inside a native the one that called it.
    lua_State* Thread() const;
    // Runs body with job under the message handler and the instruction budget. On success
    // its results lie above base + 1 (base being the top before the call); on failure the
    // error text is kept. The caller restores the top.
    int RunProtected(lua_State* L, lua_CFunction body, void* job);
    // Loads and runs a file or code; the status as LoadScript gives it.
    int RunChunk(LuaLoadJob& job);
    // Where fileName is: as given, else in scripts/. LUA_ERRFILE with the error text when
    // neither exists.
    int FindScript(const std::string& fileName, std::string* path);
    void ReplaceResults(std::vector<ScriptValue> results);
    // Marks path as run by the reload under way; false when it had run already.
    bool MarkReloaded(const std::string& path);

    LuaLimits m_limits;
    lua_State* m_state = nullptr;
    LuaNativeCalls m_calls;
    // Calls from the client under way (more than one when a native calls back into Lua).
    int m_depth = 0;
    LuaNativeMap m_natives;
    // Unregistered records, kept while closures of the current state may point at them.
    std::vector<std::unique_ptr<LuaNative>> m_retired;
    // Files loaded successfully, in first-load order, for ReloadScripts.
    std::vector<std::string> m_loadedFiles;
    // Files run by the reload under way, so one that another loads is not run twice.
    std::vector<std::string> m_reloaded;
    bool m_reloading = false;
    std::vector<ScriptValue> m_results;
    std::string m_errorText;
};
