#pragma once

#include <string>

// The script manager: loads the script-system libraries and keeps the commands, event callbacks
// and timers that scripts register. Every operation empties m_message first and leaves in it
// what the caller has to report.
//
// This build carries no script-system loader yet: LoadSystems finds no system, so the
// application runs as it does on a machine without script libraries.
class CScriptHost {
  public:
    bool LoadSystems();
    bool RunAutoexec();

    std::string FirePreParse(const std::string& text);
    std::string FireSendLine(const std::string& line);
    std::string FireReceive(const std::string& line);
    void FireReceivePML(const std::string& tag);
    void FireConnected();
    void FireConnectFailed();
    void FireDisconnect(bool byUser);
    void FireTick();
    bool RunCommand(const std::string& name, const std::string& argument);
    int LoadScript(const std::string& fileName);
    bool Reload();
    bool Execute(const std::string& code);
    std::string Dump();

    std::string m_message;
};
