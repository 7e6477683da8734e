#include "tests/support/RecordingTelnetHost.h"

#include <cstdio>

void RecordingTelnetHost::PrintError(std::string_view text) {
    events.push_back("error:" + std::string(text));
}

void RecordingTelnetHost::PrintColoured(std::uint32_t rrggbb, std::string_view text) {
    char colour[16];
    std::snprintf(colour, sizeof(colour), "%06x", rrggbb);
    events.push_back("colour:" + std::string(colour) + ":" + std::string(text));
}

std::string RecordingTelnetHost::ColourMessage(std::uint32_t rrggbb, std::string_view text) {
    char colour[16];
    std::snprintf(colour, sizeof(colour), "%06x", rrggbb);
    std::string span = "\xC4" + std::string(colour) + std::string(text);
    const unsigned char last = text.empty() ? 0 : static_cast<unsigned char>(text.back());
    if (text.empty() || last < 0x80 || last > 0xBF) span += '\xBE';
    return span;
}

void RecordingTelnetHost::ShowText(std::string_view text) {
    shownBytes += text.size();
    if (countOnly) return;
    shown.append(text);
    events.push_back("show:" + std::string(text));
}

void RecordingTelnetHost::FilterReceivedLine(std::string& line) {
    if (line.size() > longestLine) longestLine = line.size();
    if (!countOnly) lines.push_back(line);
    if (filter) filter(line);
}

void RecordingTelnetHost::FireConnected() { events.push_back("connected"); }

void RecordingTelnetHost::FireConnectFailed() { events.push_back("connectfailed"); }

void RecordingTelnetHost::FireDisconnect(bool byUser) {
    events.push_back(byUser ? "disconnect:1" : "disconnect:0");
    if (onDisconnect) onDisconnect();
}

std::vector<std::string> RecordingTelnetHost::EventsStartingWith(const std::string& prefix) const {
    std::vector<std::string> found;
    for (const std::string& event : events) {
        if (event.compare(0, prefix.size(), prefix) == 0) found.push_back(event);
    }
    return found;
}

bool RecordingTelnetHost::HasEvent(const std::string& event) const {
    for (const std::string& recorded : events) {
        if (recorded == event) return true;
    }
    return false;
}
