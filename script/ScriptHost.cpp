#include "script/ScriptHost.h"

CScriptHost::CScriptHost() : m_tickCounter([] { return std::uint32_t{0}; }) {}
CScriptHost::~CScriptHost() { UnloadSystems(); }
void CScriptHost::UnloadSystems() { m_message.clear(); }
ScriptSystem* CScriptHost::FindSystem(const std::string&) { return nullptr; }
bool CScriptHost::RegisterFunction(const PluginFunctionInfo&) {
    m_message.clear();
    return true;
}
bool CScriptHost::UnregisterFunction(const std::string&) {
    m_message.clear();
    return true;
}

bool CScriptHost::LoadSystems() {
    m_message = "Could not find any suitable scripting systems";
    return false;
}

bool CScriptHost::RunAutoexec() {
    m_message.clear();
    return true;
}

std::string CScriptHost::FirePreParse(const std::string& text) {
    m_message.clear();
    return text;
}

std::string CScriptHost::FireSendLine(const std::string& line) {
    m_message.clear();
    return line;
}

std::string CScriptHost::FireReceive(const std::string& line) {
    m_message.clear();
    return line;
}

void CScriptHost::FireReceivePML(const std::string&) { m_message.clear(); }
void CScriptHost::FireConnected() { m_message.clear(); }
void CScriptHost::FireConnectFailed() { m_message.clear(); }
void CScriptHost::FireDisconnect(bool) { m_message.clear(); }
void CScriptHost::FireTick() { m_message.clear(); }

bool CScriptHost::RunCommand(const std::string&, const std::string&) {
    m_message.clear();
    return false;
}

std::int32_t CScriptHost::LoadScript(const std::string&) {
    m_message = "No script system can load this file";
    return 1;
}

bool CScriptHost::Reload() {
    m_message.clear();
    return true;
}

bool CScriptHost::Execute(const std::string&) {
    m_message = "No script system loaded";
    return false;
}

std::string CScriptHost::Dump() {
    m_message.clear();
    return std::string();
}
