#include "app/App.h"
#include "app/MessageColours.h"

#include <Version.h>

#include <cctype>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "app/AppSystemHost.h"
#include "app/AppTelnetHost.h"
#include "base/AsciiText.h"
#include "http/ScriptRequests.h"
#include "net/TelnetEngine.h"
#include "script/ScriptHost.h"
#include "ui/FormatCodes.h"

CApp* g_app = nullptr;
std::int32_t g_versionMajor = 0;
std::int32_t g_versionMinor = 0;

namespace {

// Used for the first window when the pane cannot measure its font.
constexpr std::int32_t kFallbackClientWidth = 640;
constexpr std::int32_t kDefaultClientHeight = 320;

std::uint64_t SteadyMilliseconds() {
    using std::chrono::milliseconds;
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<std::uint64_t>(std::chrono::duration_cast<milliseconds>(now).count());
}

}  // namespace

void ParseProductVersion(const std::string& version, std::int32_t& major, std::int32_t& minor) {
    const std::size_t dot = version.find('.');
    if (version.empty() || dot == std::string::npos) return;
    major = LeadingDigitsValue(version.substr(0, dot));
    minor = LeadingDigitsValue(version.substr(dot + 1));
}

std::string GetSystemErrorText(std::uint32_t code) {
    return std::string(std::strerror(static_cast<int>(code))) + "\r\n";
}

CApp::CApp()
    : m_clock(SteadyMilliseconds),
      m_telnetHost(std::make_unique<CAppTelnetHost>(*this)),
      m_telnet(std::make_unique<CTelnetEngine>(*m_telnetHost)) {
    EnterBuiltinCommands();
    g_app = this;
}

ISystemHost* CApp::SystemHost() {
    if (!m_systemHost) m_systemHost = std::make_unique<CAppSystemHost>(*this);
    return m_systemHost.get();
}

CApp::~CApp() {
    if (g_app == this) g_app = nullptr;
}

void CApp::BuildSettingsPath() {
    // The per-user configuration folder stands where the application-data folder would.
    const char* configHome = std::getenv("XDG_CONFIG_HOME");
    const char* home = std::getenv("HOME");
    if (configHome && *configHome) {
        m_settingsPath = configHome;
    } else if (home && *home) {
        m_settingsPath = std::string(home) + "/.config";
    } else {
        m_settingsPath.clear();
    }
    m_settingsPath += m_settingsPath.empty() ? "OstrakClient/" : "/OstrakClient/";
    std::error_code ignored;
    std::filesystem::create_directories(m_settingsPath, ignored);
    m_settingsPath += "Settings.cfg";
}

bool CApp::Create(IPlatform* instance) {
    // 1. Version.
    ParseProductVersion(OSTRAK_PRODUCT_VERSION, g_versionMajor, g_versionMinor);
    // 2-4. Settings path, program configuration, user settings.
    BuildSettingsPath();
    const bool configLoaded = LoadConfigFile(m_config, kProgramConfigFile);
    LoadConfigFile(m_settings, m_settingsPath);

    // 5. Window rectangle.
    if (m_hasSavedWindowRect) {
        m_width = m_savedWindowRect.Width();
        m_height = m_savedWindowRect.Height();
        m_x = m_savedWindowRect.left;
        m_y = m_savedWindowRect.top;
    } else {
        std::int32_t clientWidth = m_output.PreferredWidth(instance->TextMeasure());
        if (clientWidth <= 0) clientWidth = kFallbackClientWidth;
        const Size frame = instance->DefaultFrameSize();
        m_width = clientWidth + frame.width;
        m_height = kDefaultClientHeight + frame.height;
        m_x = kDefaultPosition;
        m_y = kDefaultPosition;
    }

    // 6. The main window.
    m_title = OSTRAK_PRODUCT_NAME;
    if (!CWindow::Create(instance)) return false;

    // 7. Tick timer and panes.
    m_hWnd->StartTimer(kTickTimer, m_tickDelay);
    const Size client = m_hWnd->GetClientSize();
    const std::int32_t outputHeight = client.height - m_inputHeight - 2;
    if (!m_output.Create(*m_hWnd, this, 0, client.width, outputHeight, true)) return false;
    if (!m_input.Create(*m_hWnd, this, client.height - m_inputHeight, client.width, m_inputHeight,
                        false)) {
        return false;
    }
    m_splitterRect = Rect{0, outputHeight, client.width, client.height - m_inputHeight};

    // 8. Banner, then what was printed before the pane existed.
    m_output.Append(ColourMessage(kSuccessColour, "Welcome to " OSTRAK_PRODUCT_NAME
                                                  "\r\nType /help for a list of commands\r\n") +
                    "---------------------------------\r\n");
    if (!configLoaded) PrintError("Failed to load OstrakClient.cfg");
    if (!m_earlyOutput.empty()) {
        m_output.Append(m_earlyOutput);
        m_earlyOutput.clear();
    }

    // 9. Show the window, focus to the input line.
    m_hWnd->Show();
    if (m_input.Control()) m_input.Control()->SetFocus();

    // 10. Script host.
    m_scriptHost = std::make_unique<CScriptHost>();
    // Timers run on the application's clock, so a test that drives the clock drives them too.
    m_scriptHost->SetTickCounter([this] { return static_cast<std::uint32_t>(m_clock()); });
    if (m_scriptHost->LoadSystems()) {
        if (!m_scriptHost->m_message.empty())
            PrintColour(kNoticeColour, m_scriptHost->m_message + "\r\n");
        RegisterApplicationFunctions();
        if (!StartSystemLibrary()) {
            PrintError("Failed to initialise standard library!");
            return false;
        }
        ScanPlugins();
        if (!m_scriptHost->RunAutoexec()) {
            PrintError("Failed to load autoexec script: " + m_scriptHost->m_message);
        }
    } else {
        PrintError("Failed to initialise script system: " + m_scriptHost->m_message);
        m_scriptHost.reset();
    }

    // 11. Thread termination event.
    // Manual reset: the one signal at shutdown must reach every download worker, not just one.
    m_stopEvent = std::make_shared<CThreadEvent>(true);

    // 12. Update check, only when the program configuration asks for it.
    if (IsTrueWord(m_config.Get("DoUpdateCheck"))) CmdCheckUpdates("");
    return true;
}

void CApp::Destroy() {
    // 1-2. Stop the workers, write what changed (the window rectangle among it).
    if (m_stopEvent) m_stopEvent->Signal();
    SaveSettingsIfDirty(true);
    // 3-4. Script requests and plug-ins.
    StopSystemLibrary();
    for (PluginRecord& plugin : m_plugins) UnloadPlugin(plugin);
    m_plugins.clear();
    // 5-7. Connection and panes.
    CloseConnection();
    m_input.Reset();
    m_output.Reset();
    // 8-9. Timer and window.
    if (m_hWnd) m_hWnd->StopTimer(kTickTimer);
    CWindow::Destroy();
    // A window still open until here (the loop ended on a quit request) stored its rectangle
    // just now; write it too rather than lose it.
    SaveSettingsIfDirty(true);
    // 10. Script host.
    m_scriptHost.reset();
    // 11. Wait for every download worker, then delete the requests.
    for (auto& request : m_downloads) {
        if (request->thread.joinable()) request->thread.join();
    }
    m_downloads.clear();
    // 12.
    m_stopEvent.reset();
}

void CApp::OnTick() {
    // 1-2. Connection.
    if (IsConnecting()) PollConnection();
    if (IsConnected()) ProcessIncoming();

    // 3. Finished downloads.
    for (auto it = m_downloads.begin(); it != m_downloads.end();) {
        if ((*it)->HasEnded()) {
            CompleteDownload(**it);
            it = m_downloads.erase(it);
        } else {
            ++it;
        }
    }

    // 4. PML tags for the scripts; taken off even without a script host.
    while (m_output.HasPmlTags()) {
        std::string tag = m_output.PopPmlTag();
        if (m_scriptHost) {
            m_scriptHost->FireReceivePML(tag);
            ReportScriptMessage();
        }
    }

    // 5. Script requests, callbacks and timers.
    if (m_scriptHost) {
        m_scriptHost->m_message.clear();
        DispatchScriptRequests(*m_scriptHost);
        ReportScriptMessage();
        m_scriptHost->FireTick();
        ReportScriptMessage();
    }

    // 6. Settings.
    SaveSettingsIfDirty(false);

    // 7. Window size report.
    if (IsConnected() && m_telnet->IsNawsAgreed() && m_telnet->IsSizeChanged()) {
        SendWindowSize(false);
    }
}

void CApp::SaveSettingsIfDirty(bool atShutdown) {
    if (!m_settingsDirty) return;
    // A failed write is not reported. The change stays pending, and the tick tries again once
    // the back-off allows, so a full or read-only disk is not hammered every tick; shutdown
    // tries regardless, as it is the last chance.
    const std::uint64_t now = m_clock();
    if (!atShutdown && !m_settingsRetry.IsDue(now)) return;
    if (m_settings.Save(m_settingsPath, CConfigStore::kSettingsHeader)) {
        m_settingsDirty = false;
        m_settingsRetry.Succeeded();
    } else {
        m_settingsRetry.Failed(now);
    }
}

void CApp::ReportScriptMessage() {
    if (m_scriptHost && !m_scriptHost->m_message.empty()) PrintError(m_scriptHost->m_message);
}

void CApp::AppendOutput(const std::string& text) {
    if (m_output.Control()) {
        m_output.Append(text);
    } else {
        m_earlyOutput += text;
    }
}

void CApp::PrintError(const std::string& text) {
    AppendOutput(ColourMessage(kErrorColour, text + "\r\n"));
}

void CApp::PrintColour(std::uint32_t rrggbb, const std::string& text) {
    AppendOutput(ColourMessage(rrggbb, text));
}

std::string CApp::GetConfigValue(const std::string& key) const {
    std::string value = m_settings.Get(key);
    return value.empty() ? m_config.Get(key) : value;
}

void CApp::SetConfigValue(const std::string& key, const std::string& value) {
    m_settings.Set(key, value);
    m_settingsDirty = true;
}

bool CApp::HasUserDownloads() const {
    for (const auto& request : m_downloads) {
        if (request->kind == DownloadRequest::kUserDownload) return true;
    }
    return false;
}
