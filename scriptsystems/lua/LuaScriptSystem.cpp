#include "LuaScriptSystem.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

#include "LuaValues.h"

namespace {

// Puts the stack of a thread back where a call found it.
class CStackTop {
  public:
    explicit CStackTop(lua_State* L) : m_state(L), m_top(lua_gettop(L)) {}
    ~CStackTop() { lua_settop(m_state, m_top); }
    CStackTop(const CStackTop&) = delete;
    CStackTop& operator=(const CStackTop&) = delete;
    int Top() const { return m_top; }

  private:
    lua_State* m_state;
    int m_top;
};

bool IsFile(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

const char* const kNotRunning = "the Lua state could not be started (not enough memory)";
const char* const kNoMemory = "not enough memory";

}  // namespace

CLuaScriptSystem::CLuaScriptSystem() = default;

CLuaScriptSystem::~CLuaScriptSystem() {
    Close();
    ReplaceResults({});
}

bool CLuaScriptSystem::Open() {
    m_state = NewLimitedState(&m_limits);
    if (!m_state) {
        m_errorText = kNotRunning;
        return false;
    }
    m_calls.currentThread = m_state;
    int status = LUA_OK;
    {
        CStackTop top(m_state);
        status = RunProtected(m_state, LuaOpenState, &m_natives);
    }
    if (status != LUA_OK) {
        m_errorText = "the Lua state could not be started: " + m_errorText;
        Close();
        return false;
    }
    return true;
}

void CLuaScriptSystem::Close() {
    if (!m_state) return;
    // Finalizers run while the state closes: they get a budget of their own, and the depth
    // keeps them from reloading the state under its own feet.
    StartInstructionBudget(m_state, &m_limits);
    ++m_depth;
    lua_close(m_state);
    --m_depth;
    m_state = nullptr;
    m_calls.currentThread = nullptr;
    m_retired.clear();
}

void CLuaScriptSystem::Destroy() { delete this; }

lua_State* CLuaScriptSystem::Thread() const {
    return m_depth > 0 && m_calls.currentThread ? m_calls.currentThread : m_state;
}

int CLuaScriptSystem::RunProtected(lua_State* L, lua_CFunction body, void* job) {
    if (!lua_checkstack(L, 4)) {
        m_errorText = "stack overflow";
        return LUA_ERRMEM;
    }
    if (m_depth == 0) StartInstructionBudget(m_state, &m_limits);
    const int handler = lua_gettop(L) + 1;
    lua_pushcfunction(L, LuaMessageHandler);
    lua_pushcfunction(L, body);
    lua_pushlightuserdata(L, job);
    ++m_depth;
    const int status = lua_pcall(L, 1, LUA_MULTRET, handler);
    --m_depth;
    if (status != LUA_OK) m_errorText = LuaErrorText(L, -1);
    return status;
}

int CLuaScriptSystem::RunChunk(LuaLoadJob& job) {
    lua_State* L = Thread();
    CStackTop top(L);
    const int status = RunProtected(L, LuaLoadAndRun, &job);
    if (status == LUA_OK) return LUA_OK;
    return job.loadStatus != LUA_OK ? job.loadStatus : status;
}

int CLuaScriptSystem::FindScript(const std::string& fileName, std::string* path) {
    if (IsFile(fileName)) {
        *path = fileName;
        return LUA_OK;
    }
    const bool relative = fileName.empty() || fileName[0] != '/';
    if (relative && IsFile("scripts/" + fileName)) {
        *path = "scripts/" + fileName;
        return LUA_OK;
    }
    m_errorText = "cannot open " + fileName;
    if (relative) m_errorText += " or scripts/" + fileName;
    m_errorText += ": no such file";
    return LUA_ERRFILE;
}

void CLuaScriptSystem::ReplaceResults(std::vector<ScriptValue> results) {
    for (ScriptValue& value : m_results) DestroyScriptValue(&value);
    m_results = std::move(results);
}

bool CLuaScriptSystem::MarkReloaded(const std::string& path) {
    if (std::find(m_reloaded.begin(), m_reloaded.end(), path) != m_reloaded.end()) return false;
    m_reloaded.push_back(path);
    return true;
}

bool CLuaScriptSystem::Execute(const char* code, std::uint64_t length) {
    if (!m_state) {
        m_errorText = kNotRunning;
        return false;
    }
    LuaLoadJob job;
    job.path = "=(command)";
    job.code = code ? code : "";
    job.length = code ? static_cast<std::size_t>(length) : 0;
    try {
        return RunChunk(job) == LUA_OK;
    } catch (const std::bad_alloc&) {
        m_errorText.clear();
        return false;
    }
}

std::int32_t CLuaScriptSystem::LoadScript(const char* fileName) {
    if (!m_state) {
        m_errorText = kNotRunning;
        return LUA_ERRMEM;
    }
    try {
        std::string path;
        const int found = FindScript(fileName ? fileName : "", &path);
        if (found != LUA_OK) return found;
        if (m_reloading) MarkReloaded(path);
        // Taken in when the load starts, so a file that loads others comes before them.
        const bool first =
            std::find(m_loadedFiles.begin(), m_loadedFiles.end(), path) == m_loadedFiles.end();
        if (first) m_loadedFiles.push_back(path);
        LuaLoadJob job;
        job.path = path.c_str();
        const int status = RunChunk(job);
        if (status != LUA_OK && first) {
            m_loadedFiles.erase(std::find(m_loadedFiles.begin(), m_loadedFiles.end(), path));
        }
        return status;
    } catch (const std::bad_alloc&) {
        m_errorText.clear();
        return LUA_ERRMEM;
    }
}

bool CLuaScriptSystem::ReloadScripts() {
    // Closing the state that runs the caller would pull the ground from under it (a script
    // can reach this through a client command it sends).
    if (m_depth > 0) {
        m_errorText = "scripts cannot be reloaded while a script is running";
        return false;
    }
    Close();
    if (!Open()) return false;
    try {
        std::string errors;
        const std::vector<std::string> files = m_loadedFiles;
        m_reloading = true;
        m_reloaded.clear();
        for (const std::string& path : files) {
            // A file that another one loads again has run already.
            if (!MarkReloaded(path)) continue;
            LuaLoadJob job;
            job.path = path.c_str();
            if (RunChunk(job) == LUA_OK) continue;
            if (!errors.empty()) errors += "\r\n";
            errors += m_errorText;
        }
        m_reloading = false;
        m_reloaded.clear();
        if (errors.empty()) return true;
        m_errorText = errors;
        return false;
    } catch (const std::bad_alloc&) {
        m_reloading = false;
        m_errorText.clear();
        return false;
    }
}

bool CLuaScriptSystem::RegisterFunction(ScriptFunction function, void* user, const char* name) {
    if (!function || !name || !*name) {
        m_errorText = "a native function needs a function and a name";
        return false;
    }
    try {
        std::unique_ptr<LuaNative>& slot = m_natives[name];
        const bool fresh = !slot;
        if (fresh) {
            slot = std::make_unique<LuaNative>();
            slot->name = name;
            slot->calls = &m_calls;
        }
        // A record that already exists is updated in place, so references scripts hold to
        // the old global reach the new function too.
        slot->function = function;
        slot->user = user;
        if (!m_state) return true;
        lua_State* L = Thread();
        CStackTop top(L);
        if (RunProtected(L, LuaSetNative, slot.get()) == LUA_OK) return true;
        m_errorText = "could not register " + std::string(name) + ": " + m_errorText;
        if (fresh) {
            // A closure may exist already; its record stays until the state goes.
            slot->function = nullptr;
            m_retired.push_back(std::move(slot));
            m_natives.erase(name);
        }
        return false;
    } catch (const std::bad_alloc&) {
        m_errorText.clear();
        return false;
    }
}

bool CLuaScriptSystem::UnregisterFunction(const char* name) {
    try {
        const auto found = name ? m_natives.find(name) : m_natives.end();
        if (found == m_natives.end()) {
            m_errorText =
                "no native function named '" + std::string(name ? name : "") + "' is registered";
            return false;
        }
        m_retired.reserve(m_retired.size() + 1);
        found->second->function = nullptr;
        found->second->user = nullptr;
        m_retired.push_back(std::move(found->second));
        m_natives.erase(found);
        if (m_state) {
            lua_State* L = Thread();
            CStackTop top(L);
            // The name is off the list whatever happens to the global; a stale closure refuses.
            RunProtected(L, LuaClearGlobal, const_cast<char*>(name));
        }
        return true;
    } catch (const std::bad_alloc&) {
        m_errorText.clear();
        return false;
    }
}

bool CLuaScriptSystem::CallFunction(const char* name, std::uint64_t argumentCount,
                                    const ScriptValue* arguments, const ScriptValue** results,
                                    std::uint64_t* resultCount) {
    if (results) *results = nullptr;
    if (resultCount) *resultCount = 0;
    if (!m_state) {
        m_errorText = kNotRunning;
        return false;
    }
    try {
        LuaCallJob job;
        job.name = name;
        job.argumentCount = arguments ? argumentCount : 0;
        job.arguments = arguments;
        lua_State* L = Thread();
        std::vector<ScriptValue> fresh;
        {
            CStackTop top(L);
            if (RunProtected(L, LuaCallByName, &job) != LUA_OK) {
                ReplaceResults({});
                return false;
            }
            // The results lie above the message handler.
            const int first = top.Top() + 2;
            const int last = lua_gettop(L);
            fresh.reserve(static_cast<std::size_t>(last - first + 1));
            for (int i = first; i <= last; ++i) fresh.push_back(ReadScriptValue(L, i));
        }
        // Stored only now, so results of calls nested in this one stay valid until it ends.
        ReplaceResults(std::move(fresh));
        if (results && !m_results.empty()) *results = m_results.data();
        if (resultCount) *resultCount = m_results.size();
        return true;
    } catch (const std::bad_alloc&) {
        m_errorText = kNoMemory;
        return false;
    }
}
