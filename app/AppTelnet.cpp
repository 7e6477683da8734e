// The game connection, as the application drives it: every operation forwards to the engine.
#include "app/App.h"
#include "app/MessageColours.h"
#include "net/TelnetEngine.h"

void CApp::CmdConnect(const std::string& argument) { m_telnet->CmdConnect(argument); }

void CApp::CmdDisconnect(const std::string& argument) { m_telnet->CmdDisconnect(argument); }

void CApp::ShowTelnetReport(const std::string&) { m_telnet->ShowTelnetReport(); }

void CApp::CmdTrust(const std::string& argument) {
    if (!argument.empty()) {
        CmdHelp("trust");
        return;
    }
    const CTelnetEngine::RefusedCertificate* refused = m_telnet->GetRefusedCertificate();
    if (!refused) {
        PrintError(
            "No refused certificate to trust: /trust follows a tls:// connection refused "
            "for its certificate.");
        return;
    }
    const CTelnetEngine::RefusedCertificate certificate = *refused;
    m_telnet->ForgetRefusedCertificate();
    SetConfigValue(kTrustedCertificatePrefix + certificate.target, certificate.fingerprint);
    PrintColour(kSuccessColour, "Trusted the certificate with SHA-256 fingerprint " +
                                    certificate.fingerprint + " for " + certificate.target +
                                    ".\r\n");
    m_telnet->CmdConnect("tls://" + certificate.target);
}

void CApp::PollConnection() { m_telnet->PollConnection(); }

void CApp::ProcessIncoming() {
    m_telnet->ProcessIncoming();
    // A prompt without a mark shows once it has waited, also in ticks that brought nothing.
    m_telnet->ShowWaitingPrompt();
}

void CApp::SendWindowSize(bool force) {
    if (m_telnet->IsConnected() && m_telnet->IsNawsAgreed()) m_telnet->SendWindowSize(force);
}

void CApp::SendToServer(const char* data, std::size_t length) {
    m_telnet->SendToServer(data, length);
}

bool CApp::IsConnected() const { return m_telnet->IsConnected(); }

const std::string& CApp::DefaultServer() const { return m_telnet->GetDefaultServer(); }

std::uint16_t CApp::DefaultPort() const { return m_telnet->GetDefaultPort(); }

bool CApp::IsConnecting() const { return m_telnet->IsConnecting(); }

bool CApp::IsHighPerfMode() const {
    // A large compressed burst is inflated over several ticks; keep ticking until it is done.
    return m_highPerfCount > 0 || m_telnet->HasPendingWork();
}

void CApp::CloseConnection() { m_telnet->Shutdown(); }

PaneMetrics CApp::MeasureOutputPane() {
    PaneMetrics metrics;
    if (IPaneControl* output = m_output.Control()) {
        const Size client = output->GetClientSize();
        metrics.clientWidth = client.width;
        metrics.clientHeight = client.height;
    }
    if (m_hInstance) {
        const Size extent =
            m_hInstance->TextMeasure().MeasureText(m_output.FontFace(), m_output.FontSize(), "X");
        metrics.charWidth = extent.width;
        metrics.charHeight = extent.height;
    }
    return metrics;
}
