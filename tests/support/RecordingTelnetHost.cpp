#include "tests/support/RecordingTelnetHost.h"

const char* RecordingTelnetHost::KindName(TelnetMessageKind kind) {
    switch (kind) {
        case TelnetMessageKind::Plain:
            return "plain";
        case TelnetMessageKind::Quoted:
            return "quoted";
        case TelnetMessageKind::Error:
            return "error";
        case TelnetMessageKind::Success:
            return "success";
        case TelnetMessageKind::Notice:
            return "notice";
    }
    return "?";
}

void RecordingTelnetHost::Report(TelnetMessageKind kind, std::string_view text) {
    events.push_back(KindName(kind) + (":" + std::string(text)));
}

void RecordingTelnetHost::ReportBlock(std::span<const TelnetMessagePart> parts) {
    std::string block = "block:";
    for (const TelnetMessagePart& part : parts) {
        block += '[';
        block += KindName(part.kind);
        block += ']';
        block += part.text;
    }
    events.push_back(block);
}

void RecordingTelnetHost::ShowText(std::string_view text) {
    shownBytes += text.size();
    if (countOnly) return;
    shown.append(text);
    events.push_back("show:" + std::string(text));
}

void RecordingTelnetHost::ShowProvisional(std::string_view text) {
    provisional.append(text);
    events.push_back("provisional:" + std::string(text));
}

void RecordingTelnetHost::TakeBackProvisional() {
    provisional.clear();
    events.push_back("takeback");
}

void RecordingTelnetHost::SettleProvisional() {
    shown += provisional;
    provisional.clear();
    events.push_back("settle");
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
