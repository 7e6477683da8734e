// Downloads, the update check, the standard script library and plug-ins, as far as the
// application itself drives them. Without a script host no plug-in and no script request
// exists, and no HTTP worker runs yet.
#include <string>

#include "app/App.h"
#include "app/MessageColours.h"
#include "base/AsciiText.h"
#include "script/ScriptHost.h"

void CApp::CmdDownloads(const std::string&) {
    std::string listing = "Active downloads:\r\n";
    bool any = false;
    for (const auto& request : m_downloads) {
        if (request->kind != DownloadRequest::kUserDownload) continue;
        listing += "+ " + request->url + ": Connecting...\r\n";
        any = true;
    }
    if (!any) listing += "+ No downloads in progress.\r\n";
    PrintColour(kSuccessColour, listing);
}

void CApp::CmdCheckUpdates(const std::string&) {
    for (const auto& request : m_downloads) {
        if (request->kind == DownloadRequest::kUpdateCheck) {
            PrintColour(kNoticeColour, "Update check already in progress.\r\n");
            return;
        }
    }
    const std::string url = m_config.Get("UpdateCheckURL");
    if (url.empty()) {
        PrintError("Failed to check for updates: Invalid \"UpdateCheckURL\" in config file.");
        return;
    }
    PrintError("Failed to check for updates: HTTP downloads are not available in this build");
}

void CApp::CompleteDownload(DownloadRequest& request) {
    if (!request.error.empty())
        PrintError("Failed to download \"" + request.url + "\". " + request.error);
}

// The native functions the application offers to scripts, registered with every script system
// once one is loaded. None exist before the script contract does.
void CApp::RegisterApplicationFunctions() {}

bool CApp::StartSystemLibrary() { return true; }

// Plug-in libraries in the working directory, loaded once script systems are up.
void CApp::ScanPlugins() {}

void CApp::StopSystemLibrary() {}

void CApp::UnloadPlugin(PluginRecord& plugin) { plugin.library = nullptr; }

void CApp::CmdLoadPlugin(const std::string& argument) {
    if (argument.empty()) {
        CmdHelp("loadplugin");
        return;
    }
    const std::string name = LowerAsciiCopy(argument);
    for (const PluginRecord& plugin : m_plugins) {
        if (plugin.name == name) {
            PrintError("Plugin \"" + name + "\" already exists. Use /unload to unload it first.");
            return;
        }
    }
    if (!m_scriptHost) PrintError("No script system loaded");
}

void CApp::CmdUnloadPlugin(const std::string& argument) {
    if (argument.empty()) {
        CmdHelp("unloadplugin");
        return;
    }
    const std::string name = LowerAsciiCopy(argument);
    for (auto it = m_plugins.begin(); it != m_plugins.end(); ++it) {
        if (it->name == name) {
            UnloadPlugin(*it);
            PrintColour(kSuccessColour, name + " unloaded OK\r\n");
            m_plugins.erase(it);
            return;
        }
    }
    PrintError("Failed to find plugin:" + name);
}
