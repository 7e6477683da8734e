// Downloads, the update check and the standard script library, as far as the application
// itself drives them. Without a script host no script request exists, and no HTTP worker runs
// yet.
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

bool CApp::StartSystemLibrary() { return true; }

void CApp::StopSystemLibrary() {}
