// Entered text: splitting into lines, client commands and the built-in commands of the
// dispatcher itself.
#include <string>

#include "app/App.h"
#include "app/MessageColours.h"
#include "base/AsciiText.h"
#include "script/ScriptHost.h"
#include "ui/FormatCodes.h"

namespace {

void StripLineEnds(std::string& text) {
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n')) text.pop_back();
}

std::string UnknownCommandMessage(const std::string& name) {
    return ColourMessage(kErrorColour, "Unknown command: ") + name +
           ". Type /help for a list of commands\r\n" + kResetCode;
}

}  // namespace

void CApp::EnterBuiltinCommands() {
    m_builtinCommands["help"] = {&CApp::CmdHelp, "Don't you think you've had enough help?"};
    m_builtinCommands["telnet"] = {&CApp::ShowTelnetReport,
                                   "Display negotiated telnet options and current state."};
    m_builtinCommands["connect"] = {
        &CApp::CmdConnect,
        "Connect to a server, optionally specifying a host and port.\r\nUsage:\r\n"
        "   /connect [host[:port]]"};
    m_builtinCommands["trust"] = {
        &CApp::CmdTrust,
        "Trust the certificate of the last refused tls:// connection and connect again.\r\n"
        "Usage:\r\n   /trust"};
    m_builtinCommands["disconnect"] = {&CApp::CmdDisconnect, "Disconnect from the server"};
    m_builtinCommands["load"] = {&CApp::CmdLoad,
                                 "Load a script file from the scripts directory. The file "
                                 "extension is optional.\r\nUsage:\r\n   /load filename"};
    m_builtinCommands["reload"] = {&CApp::CmdReload, "Reload all scripts.\r\nUsage:\r\n   /reload"};
    m_builtinCommands["loadplugin"] = {&CApp::CmdLoadPlugin,
                                       "Load a plugin library.\r\nUsage:\r\n   /unload filename"};
    m_builtinCommands["unloadplugin"] = {
        &CApp::CmdUnloadPlugin, "Unload a plugin library.\r\nUsage:\r\n   /unload filename"};
    m_builtinCommands[":"] = {&CApp::CmdExec,
                              "Execute a script line.\r\nUsage:\r\n   /: script code"};
    m_builtinCommands["dump"] = {&CApp::CmdDump,
                                 "Debug dump script information.\r\nUsage:\r\n   /dump"};
    m_builtinCommands["downloads"] = {&CApp::CmdDownloads,
                                      "List pending downloads.\r\nUsage:\r\n   /downloads"};
    m_builtinCommands["checkupdates"] = {&CApp::CmdCheckUpdates,
                                         "Check for updates.\r\nUsage:\r\n   /checkupdates"};
    m_builtinCommands["resetpml"] = {
        &CApp::CmdResetPml,
        "Close any open PML tags sent by the server. Should only be used as a result of server "
        "error.\r\nUsage:\r\n   /resetpml"};
}

void CApp::SubmitText(const std::string& entered) {
    std::string text = entered;
    if (m_scriptHost) {
        text = m_scriptHost->FirePreParse(text);
        ReportScriptMessage();
    }
    // Pieces end just after each line feed; a rest without one is the last piece.
    std::size_t start = 0;
    do {
        const std::size_t feed = text.find('\n', start);
        const std::size_t end = feed == std::string::npos ? text.size() : feed + 1;
        ProcessLine(text.substr(start, end - start));
        start = end;
    } while (start < text.size());
}

void CApp::ProcessLine(const std::string& entered) {
    if (!entered.empty() && entered[0] == '/' && (entered.size() == 1 || entered[1] != '/')) {
        ExecuteCommand(entered);
        return;
    }
    std::string line = entered;
    if (m_scriptHost) {
        line = m_scriptHost->FireSendLine(line);
        ReportScriptMessage();
    }
    if (line.empty()) return;
    if (IsConnected()) {
        SendToServer(line.data(), line.size());
    } else {
        m_output.Append(TagsToCodes(line));
    }
}

void CApp::ExecuteCommand(const std::string& line) {
    const std::size_t space = line.find(' ', 1);
    std::string name;
    std::string argument;
    if (space == std::string::npos) {
        name = line.substr(1);
        StripLineEnds(name);
    } else {
        name = line.substr(1, space - 1);
        argument = line.substr(space + 1);
        StripLineEnds(argument);
    }
    name = LowerAsciiCopy(name);

    // /load never reaches the scripts; every other built-in can be taken over by a script.
    if (name != "load" && m_scriptHost) {
        const bool handled = m_scriptHost->RunCommand(name, argument);
        ReportScriptMessage();
        if (handled) return;
    }
    auto found = m_builtinCommands.find(name);
    if (found != m_builtinCommands.end()) {
        (this->*found->second.handler)(argument);
        return;
    }
    m_output.Append(UnknownCommandMessage(name));
}

void CApp::CmdHelp(const std::string& argument) {
    if (argument.empty()) {
        std::string listing = ColourMessage(kNoticeColour, "Registered commands:\r\n");
        for (const auto& [name, info] : m_builtinCommands) {
            listing += "   /" + name + "\r\n" + kResetCode;
        }
        m_output.Append(listing);
        return;
    }
    const std::string name = LowerAsciiCopy(argument);
    auto found = m_builtinCommands.find(name);
    if (found == m_builtinCommands.end()) {
        m_output.Append(UnknownCommandMessage(name));
        return;
    }
    m_output.Append(
        ColourMessage(kNoticeColour, "/" + name + ":\r\n" + found->second.help + "\r\n"));
}

void CApp::CmdLoad(const std::string& argument) {
    if (argument.empty()) {
        CmdHelp("Load");
        return;
    }
    if (!m_scriptHost) {
        PrintError("No script system loaded");
        return;
    }
    if (m_scriptHost->LoadScript(argument) == 0) {
        PrintColour(kSuccessColour, "Script loaded\r\n");
    } else {
        PrintError("Failed to load script: " + m_scriptHost->m_message);
    }
}

void CApp::CmdReload(const std::string& argument) {
    if (!argument.empty()) {
        CmdHelp("Reload");
        return;
    }
    if (!m_scriptHost) {
        PrintError("No script system loaded");
        return;
    }
    if (m_scriptHost->Reload()) {
        PrintColour(kSuccessColour, "Scripts reloaded\r\n");
    } else {
        PrintError("Failed to reload scripts: " + m_scriptHost->m_message);
    }
}

void CApp::CmdExec(const std::string& argument) {
    if (!m_scriptHost) {
        PrintError("No script system loaded");
        return;
    }
    if (m_scriptHost->Execute(argument)) {
        PrintColour(kSuccessColour, "Exec OK\r\n");
    } else {
        PrintError("Failed to execute: " + m_scriptHost->m_message);
    }
}

void CApp::CmdDump(const std::string&) {
    if (!m_scriptHost) {
        PrintError("No script system loaded");
        return;
    }
    m_output.Append(TagsToCodes(m_scriptHost->Dump()));
}

void CApp::CmdResetPml(const std::string&) {
    m_output.ResetPml();
    PrintColour(kSuccessColour, "PML tags reset.\r\n");
}
