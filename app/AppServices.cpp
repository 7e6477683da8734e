// Downloads, the update check and the standard script library, as far as the application
// itself drives them: saving links, /downloads, /checkupdates and taking over finished
// requests.
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "app/App.h"
#include "app/AppSystemHost.h"
#include "app/MessageColours.h"
#include "http/Download.h"
#include "http/LinkSave.h"
#include "http/ScriptRequests.h"
#include "http/UpdateFile.h"
#include "script/ScriptHost.h"
#include "sysfuncs/SystemFunctions.h"
#include "ui/FormatCodes.h"

namespace {

// How long shutdown waits for the scripts' requests to end.
constexpr std::chrono::milliseconds kScriptRequestStopWait{5000};

// A red heading over the server's headers in yellow, as one piece of output.
std::string RemoteServerReport(const std::string& heading, const std::string& headers) {
    return std::string(1, static_cast<char>(FormatCode::kColourOn)) + "ff0000" + heading +
           " Remote server responsed with:\r\n" +
           std::string(1, static_cast<char>(FormatCode::kColourOn)) + "ffff00" + headers + "\r\n" +
           std::string(1, static_cast<char>(FormatCode::kReset));
}

PluginFunctionInfo FunctionInfo(ScriptFunction function, void* user, const char* name) {
    PluginFunctionInfo info{};
    info.function = function;
    info.user = user;
    std::snprintf(info.name, sizeof info.name, "%s", name);
    return info;
}

}  // namespace

void CApp::CmdDownloads(const std::string&) {
    std::string listing = "Active downloads:\r\n";
    bool any = false;
    for (const auto& request : m_downloads) {
        if (request->kind != DownloadRequest::kUserDownload) continue;
        listing += DownloadProgressLine(*request);
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
    std::string error;
    DownloadRequestPtr request = StartDownload(url, std::string(), m_stopEvent, error);
    if (!request) {
        PrintError("Failed to check for updates: " + error);
        return;
    }
    request->kind = DownloadRequest::kUpdateCheck;
    m_downloads.push_back(std::move(request));
}

void CApp::CompleteUpdateCheck(DownloadRequest& request) {
    if (!request.error.empty()) {
        PrintError("Error checking for updates: " + request.error);
        return;
    }
    if (request.status != 200) {
        AppendOutput(RemoteServerReport("Error checking for updates:", request.headers));
        return;
    }
    const UpdateFileVerdict verdict = ReadUpdateFile(request.body, g_versionMajor, g_versionMinor);
    switch (verdict.kind) {
        case UpdateFileVerdict::Malformed:
            PrintError(
                "Error checking for updates: Remote server responsed with incorrectly formatted "
                "response file");
            break;
        case UpdateFileVerdict::NoUpdate:
            PrintColour(kSuccessColour, "No new updates available.\r\n");
            break;
        case UpdateFileVerdict::NewVersion:
            PrintColour(kSuccessColour,
                        "A new version of OstrakClient (Version " + verdict.version +
                            ") is now available to download from " + verdict.location + "\r\n");
            break;
    }
}

void CApp::CompleteDownload(DownloadRequest& request) {
    if (request.kind == DownloadRequest::kUpdateCheck) {
        CompleteUpdateCheck(request);
        return;
    }
    if (!request.error.empty()) {
        PrintError("Error downloading \"" + request.url + "\": " + request.error);
    } else if (request.status == 200) {
        PrintColour(kSuccessColour, "\"" + request.url + "\" downloaded successfully\r\n");
    } else {
        AppendOutput(
            RemoteServerReport("Error downloading \"" + request.url + "\":", request.headers));
    }
}

void CApp::SaveLink(const std::string& link) {
    if (!m_hWnd) return;
    const std::string extension = LinkExtension(link);
    std::vector<FileFilter> filters;
    const std::string description = m_hWnd->FileTypeDescription(extension);
    if (!description.empty())
        filters.push_back({description + " (*" + extension + ")", "*" + extension});
    filters.push_back({"All Files", "*.*"});
    std::string path;
    const std::string defaultExtension = extension.empty() ? std::string() : extension.substr(1);
    if (!m_hWnd->AskSaveFileName(filters, defaultExtension, path)) return;

    std::string error;
    DownloadRequestPtr request = StartDownload(link, path, m_stopEvent, error);
    if (!request) {
        PrintError("Failed to save URL: " + error);
        return;
    }
    request->kind = DownloadRequest::kUserDownload;
    m_downloads.push_back(std::move(request));
    PrintColour(kSuccessColour,
                "Download in progress. Type /downloads to view current downloads.\r\n");
}

bool CApp::StartSystemLibrary() {
    if (!StartScriptRequests()) return false;
    void* system = SystemHost();
    const PluginFunctionInfo functions[] = {
        FunctionInfo(&GetOS, system, "getOS"),
        FunctionInfo(&GetTime, system, "getTime"),
        FunctionInfo(&HttpGet, nullptr, "httpGet"),
        FunctionInfo(&SetIcon, system, "setIcon"),
        FunctionInfo(&SetWindowTitle, system, "setWindowTitle"),
    };
    for (const PluginFunctionInfo& info : functions) m_scriptHost->RegisterFunction(info);
    return true;
}

void CApp::StopSystemLibrary() { StopScriptRequests(kScriptRequestStopWait); }
