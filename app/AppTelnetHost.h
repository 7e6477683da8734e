#pragma once

#include "net/TelnetHost.h"

class CApp;

// What the telnet engine reaches of the application: the output pane, the scripts' events
// and filters, the pane's measurements and the event loop's socket watch. The engine's
// messages come by kind; here they get the colours of all the client's own messages.
class CAppTelnetHost : public ITelnetHost {
  public:
    explicit CAppTelnetHost(CApp& app) : m_app(app) {}

    void Report(TelnetMessageKind kind, std::string_view text) override;
    void ReportBlock(std::span<const TelnetMessagePart> parts) override;
    void ShowText(std::string_view text) override;
    // Only scripts filter received lines; without them lines go to the pane uncopied.
    bool HasReceiveFilter() override;
    void FilterReceivedLine(std::string& line) override;
    void FireConnected() override;
    void FireConnectFailed() override;
    void FireDisconnect(bool byUser) override;
    PaneMetrics MeasureOutputPane() override;
    std::int64_t CurrentTimeSeconds() override;
    std::uint64_t CurrentTimeMilliseconds() override;
    void ShowProvisional(std::string_view text) override;
    void TakeBackProvisional() override;
    void SettleProvisional() override;
    void WatchSocket(int descriptor) override;
    // GMCP goes to the scripts' "onGMCP" callbacks.
    bool TakesGmcp() override;
    void ReceiveGmcp(std::string_view package, std::string_view json) override;
    std::string ClientVersion() override;
    // Kept in the user settings only: trust is the player's word, not the program's.
    std::string TrustedFingerprint(const std::string& target) override;

  private:
    CApp& m_app;
};
