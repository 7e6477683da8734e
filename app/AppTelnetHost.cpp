#include "app/AppTelnetHost.h"

#include <chrono>
#include <string>

#include "app/App.h"
#include "script/ScriptHost.h"
#include "ui/FormatCodes.h"

void CAppTelnetHost::PrintError(std::string_view text) { m_app.PrintError(std::string(text)); }

void CAppTelnetHost::PrintColoured(std::uint32_t rrggbb, std::string_view text) {
    m_app.PrintColour(rrggbb, std::string(text));
}

std::string CAppTelnetHost::ColourMessage(std::uint32_t rrggbb, std::string_view text) {
    return ::ColourMessage(rrggbb, text);
}

void CAppTelnetHost::ShowText(std::string_view text) { m_app.OutputPane().Append(text); }

bool CAppTelnetHost::HasReceiveFilter() { return m_app.ScriptHost() != nullptr; }

void CAppTelnetHost::FilterReceivedLine(std::string& line) {
    CScriptHost* scripts = m_app.ScriptHost();
    if (!scripts) return;
    line = scripts->FireReceive(line);
    if (!scripts->m_message.empty()) m_app.PrintError(scripts->m_message);
}

void CAppTelnetHost::FireConnected() {
    if (CScriptHost* scripts = m_app.ScriptHost()) {
        scripts->FireConnected();
        if (!scripts->m_message.empty()) m_app.PrintError(scripts->m_message);
    }
}

void CAppTelnetHost::FireConnectFailed() {
    if (CScriptHost* scripts = m_app.ScriptHost()) {
        scripts->FireConnectFailed();
        if (!scripts->m_message.empty()) m_app.PrintError(scripts->m_message);
    }
}

void CAppTelnetHost::FireDisconnect(bool byUser) {
    if (CScriptHost* scripts = m_app.ScriptHost()) {
        scripts->FireDisconnect(byUser);
        if (!scripts->m_message.empty()) m_app.PrintError(scripts->m_message);
    }
}

PaneMetrics CAppTelnetHost::MeasureOutputPane() { return m_app.MeasureOutputPane(); }

std::int64_t CAppTelnetHost::CurrentTimeSeconds() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

void CAppTelnetHost::WatchSocket(int descriptor) {
    if (IWindowPort* window = m_app.Port()) window->WatchSocket(descriptor);
}
