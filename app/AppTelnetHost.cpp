#include "app/AppTelnetHost.h"

#include <Version.h>

#include <chrono>
#include <string>

#include "app/App.h"
#include "app/MessageColours.h"
#include "script/ScriptHost.h"
#include "ui/FormatCodes.h"

namespace {

// The colour of a coloured kind; false for the kinds shown without one.
bool ColourOf(TelnetMessageKind kind, std::uint32_t& rrggbb) {
    switch (kind) {
        case TelnetMessageKind::Error:
            rrggbb = kErrorColour;
            return true;
        case TelnetMessageKind::Success:
            rrggbb = kSuccessColour;
            return true;
        case TelnetMessageKind::Notice:
            rrggbb = kNoticeColour;
            return true;
        case TelnetMessageKind::Plain:
        case TelnetMessageKind::Quoted:
            break;
    }
    return false;
}

// The pane text of one message. Quoted text ends with a reset code, so that formats typed
// into it stop there.
std::string FormatTelnetMessage(TelnetMessageKind kind, std::string_view text) {
    std::uint32_t rrggbb = 0;
    if (ColourOf(kind, rrggbb)) return ColourMessage(rrggbb, text);
    std::string shown(text);
    if (kind == TelnetMessageKind::Quoted) shown += kResetCode;
    return shown;
}

}  // namespace

void CAppTelnetHost::Report(TelnetMessageKind kind, std::string_view text) {
    // Coloured messages take the application's own path, which also keeps what is printed
    // before the pane exists.
    std::uint32_t rrggbb = 0;
    if (ColourOf(kind, rrggbb)) {
        m_app.PrintColour(rrggbb, std::string(text));
    } else {
        m_app.OutputPane().Append(FormatTelnetMessage(kind, text));
    }
}

void CAppTelnetHost::ReportBlock(std::span<const TelnetMessagePart> parts) {
    std::string block;
    for (const TelnetMessagePart& part : parts) block += FormatTelnetMessage(part.kind, part.text);
    m_app.OutputPane().Append(block);
}

void CAppTelnetHost::ShowText(std::string_view text) { m_app.OutputPane().AppendReceived(text); }

void CAppTelnetHost::ShowProvisional(std::string_view text) {
    m_app.OutputPane().ShowProvisional(text);
}

void CAppTelnetHost::TakeBackProvisional() { m_app.OutputPane().TakeBackProvisional(); }

void CAppTelnetHost::SettleProvisional() { m_app.OutputPane().SettleProvisional(); }

bool CAppTelnetHost::HasReceiveFilter() {
    // Lines go one by one while a script listens to them, or to the tags in them (a tag's
    // callback may start listening to the lines after it).
    const CScriptHost* scripts = m_app.ScriptHost();
    return scripts && (!scripts->Callbacks(ScriptEvent::Receive).empty() ||
                       !scripts->Callbacks(ScriptEvent::ReceivePML).empty());
}

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

std::uint64_t CAppTelnetHost::CurrentTimeMilliseconds() { return m_app.NowMilliseconds(); }

void CAppTelnetHost::WatchSocket(int descriptor) {
    if (IWindowPort* window = m_app.Port()) window->WatchSocket(descriptor);
}

bool CAppTelnetHost::TakesGmcp() { return m_app.ScriptHost() != nullptr; }

void CAppTelnetHost::ReceiveGmcp(std::string_view package, std::string_view json) {
    if (CScriptHost* scripts = m_app.ScriptHost()) {
        scripts->FireGmcp(std::string(package), std::string(json));
        if (!scripts->m_message.empty()) m_app.PrintError(scripts->m_message);
    }
}

std::string CAppTelnetHost::ClientVersion() { return OSTRAK_PRODUCT_VERSION; }

std::string CAppTelnetHost::TrustedFingerprint(const std::string& target) {
    return m_app.Settings().Get(CApp::kTrustedCertificatePrefix + target);
}
