// Downloads, the update check, the standard script library and plug-ins, as far as the
// application itself drives them. Without a script host no plug-in and no script request
// exists, and no HTTP worker runs yet.
#include <string>

#include "app/App.h"
#include "script/ScriptHost.h"

namespace {

constexpr std::uint32_t kGreen = 0x00ff00;
constexpr std::uint32_t kYellow = 0xffff00;

std::string LowerAscii(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

}  // namespace

void CApp::CmdDownloads(const std::string&) {
    std::string listing = "Active downloads:\r\n";
    bool any = false;
    for (const auto& request : m_downloads) {
        if (request->kind != DownloadRequest::kUserDownload) continue;
        listing += "+ " + request->url + ": Connecting...\r\n";
        any = true;
    }
    if (!any) listing += "+ No downloads in progress.\r\n";
    PrintColour(kGreen, listing);
}

void CApp::CmdCheckUpdates(const std::string&) {
    for (const auto& request : m_downloads) {
        if (request->kind == DownloadRequest::kUpdateCheck) {
            PrintColour(kYellow, "Update check already in progress.\r\n");
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

bool CApp::StartSystemLibrary() { return true; }

void CApp::StopSystemLibrary() {}

void CApp::UnloadPlugin(PluginRecord& plugin) { plugin.library = nullptr; }

void CApp::CmdLoadPlugin(const std::string& argument) {
    if (argument.empty()) {
        CmdHelp("loadplugin");
        return;
    }
    const std::string name = LowerAscii(argument);
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
    const std::string name = LowerAscii(argument);
    for (auto it = m_plugins.begin(); it != m_plugins.end(); ++it) {
        if (it->name == name) {
            UnloadPlugin(*it);
            PrintColour(kGreen, name + " unloaded OK\r\n");
            m_plugins.erase(it);
            return;
        }
    }
    PrintError("Failed to find plugin:" + name);
}
