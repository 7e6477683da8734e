#pragma once

#include <cstdint>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/RetryBackoff.h"
#include "base/ThreadEvent.h"
#include "config/ConfigStore.h"
#include "http/DownloadRequest.h"
#include "net/TelnetHost.h"
#include "script/PluginLoader.h"
#include "ui/RichPane.h"
#include "ui/Window.h"

class CApp;
class CScriptHost;
class CTelnetEngine;
class CAppTelnetHost;
class CAppSystemHost;
class ISystemHost;

// A built-in client command: its handler and the text /help shows for it.
struct CommandInfo {
    void (CApp::*handler)(const std::string& argument) = nullptr;
    std::string help;
};

// The application object: the main window, owning the panes, the settings, the script host,
// the game connection and the pending downloads for the whole run.
class CApp : public CWindow {
  public:
    static constexpr const char* kProgramConfigFile = "OstrakClient.cfg";
    // A user setting per trusted certificate: this prefix and "host:port", the value its
    // SHA-256 fingerprint.
    static constexpr const char* kTrustedCertificatePrefix = "TrustedCertificate.";
    // The window timer that makes the tick run at least every tick delay.
    static constexpr int kTickTimer = 1;
    // Font sizes, in points, that a setting may choose.
    static constexpr std::int32_t kMinFontSize = 1;
    static constexpr std::int32_t kMaxFontSize = 200;

    CApp();
    ~CApp() override;

    bool Create(IPlatform* instance) override;
    void Destroy() override;
    std::intptr_t WndProc(WindowMessage& message) override;
    void OnTick() override;
    bool IsHighPerfMode() const override;
    void OnNotify(const PaneNotify& notify) override;

    // Messages to the player.
    void PrintError(const std::string& text);
    void PrintColour(std::uint32_t rrggbb, const std::string& text);

    // Settings.
    bool LoadConfigFile(CConfigStore& store, const std::string& path);
    void ParseUrlPrefixes(const std::string& value);
    std::string GetConfigValue(const std::string& key) const;
    void SetConfigValue(const std::string& key, const std::string& value);

    // Entered text and commands.
    void SubmitText(const std::string& text);
    void ProcessLine(const std::string& line);
    void ExecuteCommand(const std::string& line);
    void CmdHelp(const std::string& argument);
    void CmdLoad(const std::string& argument);
    void CmdReload(const std::string& argument);
    void CmdExec(const std::string& argument);
    void CmdDump(const std::string& argument);
    void CmdResetPml(const std::string& argument);
    void CmdDownloads(const std::string& argument);
    void CmdCheckUpdates(const std::string& argument);
    void CmdLoadPlugin(const std::string& argument);
    void CmdUnloadPlugin(const std::string& argument);

    // Plug-in libraries; error gets the loader's text of a failure.
    bool LoadPlugin(const std::string& fileName, std::string& error);
    void UnloadPlugin(PluginRecord& plugin);
    const std::vector<PluginRecord>& Plugins() const { return m_plugins; }

    // The game connection.
    void CmdConnect(const std::string& argument);
    void CmdDisconnect(const std::string& argument);
    void ShowTelnetReport(const std::string& argument);
    // Trusts the certificate of the last refused "tls://" connect and connects again.
    void CmdTrust(const std::string& argument);
    void PollConnection();
    void ProcessIncoming();
    void SendWindowSize(bool force);
    void SendToServer(const char* data, std::size_t length);
    bool IsConnected() const;
    bool IsConnecting() const;
    CTelnetEngine& Telnet() { return *m_telnet; }
    PaneMetrics MeasureOutputPane();
    CScriptHost* ScriptHost() const { return m_scriptHost.get(); }
    // What the system functions for scripts reach the window and the time through.
    ISystemHost* SystemHost();

    // High-performance mode of the event loop (raised and lowered by scripts).
    void EnterHighPerfMode() { ++m_highPerfCount; }
    void ExitHighPerfMode() {
        if (m_highPerfCount > 0) --m_highPerfCount;
    }
    std::int32_t HighPerfCount() const { return m_highPerfCount; }
    // The window system the application runs on (sounds, beeps).
    IPlatform* Platform() const { return m_hInstance; }

    CRichPane& OutputPane() { return m_output; }
    CRichPane& InputLine() { return m_input; }
    const std::map<std::string, CommandInfo>& BuiltinCommands() const { return m_builtinCommands; }
    const std::string& SettingsPath() const { return m_settingsPath; }
    std::int32_t InputHeight() const { return m_inputHeight; }
    const Rect& SplitterRect() const { return m_splitterRect; }
    std::list<DownloadRequestPtr>& Downloads() { return m_downloads; }
    CConfigStore& Config() { return m_config; }
    CConfigStore& Settings() { return m_settings; }
    bool SettingsDirty() const { return m_settingsDirty; }
    // Monotonic milliseconds; the steady clock unless a test drives its own.
    using MonotonicClock = std::function<std::uint64_t()>;
    void SetClock(MonotonicClock clock) { m_clock = std::move(clock); }
    std::uint64_t NowMilliseconds() const { return m_clock(); }
    const std::string& DefaultServer() const;
    std::uint16_t DefaultPort() const;
    const std::string& SearchUrlPrefix() const { return m_searchUrlPrefix; }
    std::int32_t TickDelay() const { return m_tickDelay; }
    bool HasSavedWindowRect() const { return m_hasSavedWindowRect; }
    const Rect& SavedWindowRect() const { return m_savedWindowRect; }

  private:
    void EnterBuiltinCommands();
    void BuildSettingsPath();
    void LayoutPanes(std::int32_t width, std::int32_t height);
    void DragSplitter(std::int32_t y);
    void FillSplitter();
    void SaveSettingsIfDirty(bool atShutdown);
    void ReportScriptMessage();
    void AppendOutput(const std::string& text);
    bool HasUserDownloads() const;
    void CompleteDownload(DownloadRequest& request);
    void CompleteUpdateCheck(DownloadRequest& request);
    // Asks where to save a link and starts downloading it there.
    void SaveLink(const std::string& link);
    void RegisterApplicationFunctions();
    bool StartSystemLibrary();
    void ScanPlugins();
    void StopSystemLibrary();
    void CloseConnection();

    std::unique_ptr<CScriptHost> m_scriptHost;
    std::unique_ptr<CAppSystemHost> m_systemHost;
    // Shared with the download workers, which may outlive the window.
    std::shared_ptr<CThreadEvent> m_stopEvent;
    std::int32_t m_inputHeight = 64;
    std::int32_t m_highPerfCount = 0;
    std::map<std::string, CommandInfo> m_builtinCommands;
    CConfigStore m_config;
    CConfigStore m_settings;
    bool m_settingsDirty = false;
    // Paces the retries of a settings write that failed.
    CRetryBackoff m_settingsRetry;
    MonotonicClock m_clock;
    std::vector<PluginRecord> m_plugins;
    CRichPane m_output;
    CRichPane m_input;
    // The game connection with its telnet and compression state.
    std::unique_ptr<CAppTelnetHost> m_telnetHost;
    std::unique_ptr<CTelnetEngine> m_telnet;
    Rect m_splitterRect;
    std::list<DownloadRequestPtr> m_downloads;
    std::string m_settingsPath;
    std::string m_searchUrlPrefix;
    std::int32_t m_tickDelay = 100;
    Rect m_savedWindowRect;
    bool m_hasSavedWindowRect = false;

    // Output printed before the output pane exists, shown once it does.
    std::string m_earlyOutput;
};

// The one application object.
extern CApp* g_app;
// The program's version, read at start-up.
extern std::int32_t g_versionMajor;
extern std::int32_t g_versionMinor;

// The system's text for an error code, line break included.
std::string GetSystemErrorText(std::uint32_t code);
// Splits "major.minor" at its first "." into the two leading-digit values; both 0 without ".".
void ParseProductVersion(const std::string& version, std::int32_t& major, std::int32_t& minor);
