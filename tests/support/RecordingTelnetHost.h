#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "net/TelnetHost.h"

// An ITelnetHost that records what the engine hands it. Events go into one ordered list of
// short texts: messages as "<kind>:<text>" (kinds "plain", "quoted", "error", "success",
// "notice"), blocks as "block:" followed by "[<kind>]<text>" for each part, then "show:<text>",
// "connected", "connectfailed", "disconnect:<0|1>"; server text also collects in `shown`.
class RecordingTelnetHost : public ITelnetHost {
  public:
    static const char* KindName(TelnetMessageKind kind);

    void Report(TelnetMessageKind kind, std::string_view text) override;
    void ReportBlock(std::span<const TelnetMessagePart> parts) override;
    void ShowText(std::string_view text) override;
    bool HasReceiveFilter() override { return hasFilter; }
    void FilterReceivedLine(std::string& line) override;
    void FireConnected() override;
    void FireConnectFailed() override;
    void FireDisconnect(bool byUser) override;
    PaneMetrics MeasureOutputPane() override { return metrics; }
    std::int64_t CurrentTimeSeconds() override { return now; }
    std::uint64_t CurrentTimeMilliseconds() override { return nowMs; }
    // As a pane would: "provisional:<text>", "takeback" and "settle" events, and the text
    // shown for now in `provisional` (settled, it joins `shown`).
    void ShowProvisional(std::string_view text) override;
    void TakeBackProvisional() override;
    void SettleProvisional() override;
    // What a pane would show now.
    std::string Screen() const { return shown + provisional; }
    void WatchSocket(int descriptor) override { watched = descriptor; }
    bool TakesGmcp() override { return takesGmcp; }
    // GMCP messages as "gmcp:<package>|<json>" events.
    void ReceiveGmcp(std::string_view package, std::string_view json) override {
        events.push_back("gmcp:" + std::string(package) + "|" + std::string(json));
    }
    std::string ClientVersion() override { return "2.11"; }

    // Events whose text starts with prefix.
    std::vector<std::string> EventsStartingWith(const std::string& prefix) const;
    bool HasEvent(const std::string& event) const;

    std::vector<std::string> events;
    std::string shown;
    // Lines as the engine handed them to the filter.
    std::vector<std::string> lines;
    // Counting mode: shown text is counted, not kept (for very large streams).
    bool countOnly = false;
    std::uint64_t shownBytes = 0;
    std::size_t longestLine = 0;
    std::function<void(std::string&)> filter;
    // Off: lines go straight to ShowText, as they do when no scripts run.
    bool hasFilter = true;
    std::function<void()> onDisconnect;
    PaneMetrics metrics{802, 402, 8, 16};
    std::int64_t now = 1000;
    // Stands still unless a test moves it, so nothing is shown provisionally by chance.
    std::uint64_t nowMs = 0;
    std::string provisional;
    int watched = -1;
    bool takesGmcp = false;
};
