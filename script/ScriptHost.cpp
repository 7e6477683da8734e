#include "script/ScriptHost.h"

#include <chrono>
#include <cstring>
#include <utility>

#include "base/AsciiText.h"
#include "script/Library.h"
#include "script/ScriptRegistry.h"

namespace {

std::uint32_t MonotonicMilliseconds() {
    const auto elapsed = std::chrono::steady_clock::now().time_since_epoch();
    const auto milliseconds = std::chrono::duration_cast<std::chrono::milliseconds>(elapsed);
    // The counter wraps at 2^32 like the system tick count timers are written against.
    return static_cast<std::uint32_t>(milliseconds.count());
}

std::string SystemErrorText(ScriptSystem* system) {
    const char* text = system->GetErrorText();
    return text ? text : "";
}

// Joins one more line onto a gathered text.
void AppendLine(std::string& gathered, const std::string& line) {
    if (!gathered.empty()) gathered += "\r\n";
    gathered += line;
}

}  // namespace

CScriptHost::CScriptHost() : m_tickCounter(&MonotonicMilliseconds) {}

CScriptHost::~CScriptHost() { UnloadSystems(); }

void CScriptHost::AppendMessage(const char* text) { AppendLine(m_message, text ? text : ""); }

bool CScriptHost::LoadSystems() {
    m_message.clear();
    std::string warnings;
    for (const std::string& fileName : ListLibraries()) {
        std::string error;
        void* module = LoadLibraryFile(fileName, error);
        if (!module) {
            AppendLine(m_message, "* Could not load " + fileName + ": " + error);
            continue;
        }
        auto create = reinterpret_cast<CreateScriptInterfaceFunction>(
            FindExport(module, "CreateScriptInterface", error));
        if (!create) {
            AppendLine(m_message, "* CreateScriptInterface does not exist in " + fileName);
            m_otherModules.push_back(module);
            continue;
        }
        ScriptSystem* system = create(kScriptInterfaceVersion);
        if (!system) {
            AppendLine(m_message, "* CreateScriptInterface failed for " + fileName);
            m_otherModules.push_back(module);
            continue;
        }
        const char* reported = system->GetExtension();
        const std::string extension = reported ? reported : "";
        const SystemRecord* first = nullptr;
        for (const SystemRecord& record : m_systems) {
            if (record.extension == extension) {
                first = &record;
                break;
            }
        }
        if (first) {
            AppendLine(warnings, "* Script extension ." + extension + " registered by both " +
                                     first->fileName + " and " + fileName + ". Using " +
                                     first->fileName);
            system->Destroy();
            UnloadLibrary(module);
            continue;
        }
        m_systems.push_back(SystemRecord{system, extension, fileName, module});
    }
    if (m_systems.empty()) {
        m_message = m_message.empty()
                        ? std::string("Could not find any suitable scripting systems")
                        : "Could not find any suitable scripting systems:\r\n" + m_message;
        return false;
    }
    ScriptRegistry::RegisterAll(*this);
    m_message.clear();
    if (!warnings.empty())
        m_message = "Script system reports the following warnings:\r\n" + warnings;
    return true;
}

bool CScriptHost::RegisterFunction(const PluginFunctionInfo& info) {
    m_message.clear();
    // The name field comes from a plug-in: never read past its 256 bytes.
    const std::string name(info.name, strnlen(info.name, sizeof info.name));
    for (const SystemRecord& record : m_systems) {
        if (!record.system->RegisterFunction(info.function, info.user, name.c_str())) {
            AppendMessage(record.system->GetErrorText());
        }
    }
    return m_message.empty();
}

bool CScriptHost::UnregisterFunction(const std::string& name) {
    m_message.clear();
    for (const SystemRecord& record : m_systems) {
        if (!record.system->UnregisterFunction(name.c_str())) {
            AppendMessage(record.system->GetErrorText());
        }
    }
    return m_message.empty();
}

bool CScriptHost::RunAutoexec() {
    m_message.clear();
    for (const SystemRecord& record : m_systems) {
        const std::string fileName = "autoexec." + record.extension;
        if (record.system->LoadScript(fileName.c_str()) != 0) {
            AppendMessage(record.system->GetErrorText());
        }
    }
    return m_message.empty();
}

std::int32_t CScriptHost::LoadScript(const std::string& fileName) {
    m_message.clear();
    const std::size_t dot = fileName.find('.');
    if (dot == std::string::npos) {
        m_message = "Script \"" + fileName +
                    "\" has no extension; unable to determine script system to use";
        return 4;
    }
    ScriptSystem* system = FindSystem(LowerAsciiCopy(fileName.substr(dot + 1)));
    if (!system) return 4;
    const std::int32_t code = system->LoadScript(fileName.c_str());
    if (code != 0) m_message = SystemErrorText(system);
    return code;
}

bool CScriptHost::Execute(const std::string& code) {
    m_message.clear();
    for (const SystemRecord& record : m_systems) {
        if (record.system->Execute(code.c_str(), code.size())) {
            m_message.clear();
            return true;
        }
        AppendMessage(record.system->GetErrorText());
    }
    return false;
}

bool CScriptHost::Reload() {
    ClearRegistry();
    m_message.clear();
    for (const SystemRecord& record : m_systems) {
        if (!record.system->ReloadScripts()) AppendMessage(record.system->GetErrorText());
    }
    return m_message.empty();
}

ScriptSystem* CScriptHost::FindSystem(const std::string& extension) {
    for (const SystemRecord& record : m_systems) {
        if (record.extension == extension) return record.system;
    }
    m_message = "No registered script system handles ." + extension + " files.";
    return nullptr;
}

void CScriptHost::UnloadSystems() {
    m_message.clear();
    ClearRegistry();
    // Taken out first, so nothing reached from a Destroy sees a half-ended system.
    std::vector<SystemRecord> systems = std::exchange(m_systems, {});
    for (SystemRecord& record : systems) {
        record.system->Destroy();
        UnloadLibrary(record.module);
    }
    for (void* module : std::exchange(m_otherModules, {})) UnloadLibrary(module);
}

void CScriptHost::ClearRegistry() {
    m_commands.clear();
    for (auto& list : m_events) list.clear();
    m_timers.clear();
    for (WalkCursor* walk : m_walks) walk->cleared = true;
}
