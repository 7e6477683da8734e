#include <cstdint>
#include <string>
#include <vector>

#include "script/ScriptHost.h"

namespace {

const char* const kEventNames[kScriptEventCount] = {
    "onReceive",       "onSendLine",   "onPreParse", "onReceivePML", "onConnected",
    "onConnectFailed", "onDisconnect", "onTick",     "onGMCP",
};

bool IsTextFilter(ScriptEvent event) {
    return event == ScriptEvent::Receive || event == ScriptEvent::SendLine ||
           event == ScriptEvent::PreParse;
}

std::string ErrorTextOf(ScriptSystem* system) {
    const char* text = system->GetErrorText();
    return text ? text : "";
}

// Milliseconds until a timer is due, 0 once it is due. The counter wraps, so the two readings
// are compared by their signed distance: a due time just past the wrap still lies ahead.
std::int32_t DueIn(std::uint32_t due, std::uint32_t now) {
    const auto distance = static_cast<std::int32_t>(due - now);
    return distance > 0 ? distance : 0;
}

// Keeps a walk's position known to the registry for as long as the walk runs, so removals made
// by callbacks under it shift the position instead of skipping or repeating entries. Walks nest
// (a callback may raise another event), so the innermost one is always last.
template <typename Entry>
class CStackEntry {
  public:
    CStackEntry(std::vector<Entry*>& stack, Entry& entry) : m_stack(stack) {
        m_stack.push_back(&entry);
    }
    ~CStackEntry() { m_stack.pop_back(); }
    CStackEntry(const CStackEntry&) = delete;
    CStackEntry& operator=(const CStackEntry&) = delete;

  private:
    std::vector<Entry*>& m_stack;
};

}  // namespace

void CScriptHost::EraseCallback(std::size_t list, std::size_t index) {
    auto& entries = m_events[list];
    if (index >= entries.size()) return;
    entries.erase(entries.begin() + static_cast<std::ptrdiff_t>(index));
    for (WalkCursor* walk : m_walks) {
        if (walk->list != list) continue;
        if (index < walk->index) {
            --walk->index;
        } else if (index == walk->index) {
            walk->removed = true;
        }
    }
}

void CScriptHost::EraseTimer(std::size_t index) {
    if (index >= m_timers.size()) return;
    m_timers.erase(m_timers.begin() + static_cast<std::ptrdiff_t>(index));
    for (WalkCursor* walk : m_walks) {
        if (walk->list != kTimerList) continue;
        if (index < walk->index) {
            --walk->index;
        } else if (index == walk->index) {
            walk->removed = true;
        }
    }
}

std::string CScriptHost::WalkEvent(ScriptEvent event, const ScriptValue* argument, std::string text,
                                   std::uint64_t argumentCount) {
    const auto list = static_cast<std::size_t>(event);
    // Every server line passes here; most of the time nobody listens.
    if (m_events[list].empty()) return text;
    const std::string eventName = kEventNames[list];
    const bool filter = IsTextFilter(event);
    WalkCursor cursor;
    cursor.list = list;
    CStackEntry scope(m_walks, cursor);
    for (; !cursor.cleared && cursor.index < m_events[list].size(); cursor.Advance()) {
        // Copies: a callback may grow or shrink the list, which moves its entries.
        const std::string extension = m_events[list][cursor.index].extension;
        const std::string function = m_events[list][cursor.index].function;
        ScriptSystem* system = FindSystem(extension);
        if (!system) {
            EraseCallback(list, cursor.index);
            continue;
        }
        ScriptValue textArgument{};
        if (filter) textArgument = MakeTextValue(text.c_str());
        const ScriptValue* arguments = filter ? &textArgument : argument;
        const ScriptValue* results = nullptr;
        std::uint64_t resultCount = 0;
        const std::uint64_t count = !arguments ? 0 : filter ? 1 : argumentCount;
        const bool called =
            system->CallFunction(function.c_str(), count, arguments, &results, &resultCount);
        if (filter) DestroyScriptValue(&textArgument);
        if (cursor.cleared) break;
        std::string failure;
        if (!called) {
            failure = "Failed to call callback function \"" + function + "\" for " + eventName +
                      ": " + ErrorTextOf(system);
        } else if (filter && resultCount != 1) {
            failure = "Callback function \"" + function + "\" for " + eventName +
                      " should return 1 return value";
        } else if (filter && (!results || results[0].type != ScriptValue::String)) {
            failure = "Callback function \"" + function + "\" for " + eventName +
                      " should return a string";
        } else if (filter) {
            text = results[0].value.text ? results[0].value.text : "";
        }
        if (failure.empty()) continue;
        m_message = failure;
        // The callback may already have unregistered itself.
        if (!cursor.removed) EraseCallback(list, cursor.index);
    }
    return text;
}

std::string CScriptHost::FireReceive(const std::string& line) {
    m_message.clear();
    return WalkEvent(ScriptEvent::Receive, nullptr, line);
}

std::string CScriptHost::FireSendLine(const std::string& line) {
    m_message.clear();
    return WalkEvent(ScriptEvent::SendLine, nullptr, line);
}

std::string CScriptHost::FirePreParse(const std::string& text) {
    m_message.clear();
    return WalkEvent(ScriptEvent::PreParse, nullptr, text);
}

void CScriptHost::FireReceivePML(const std::string& tag) {
    m_message.clear();
    ScriptValue argument = MakeTextValue(tag.c_str());
    WalkEvent(ScriptEvent::ReceivePML, &argument, std::string());
    DestroyScriptValue(&argument);
}

void CScriptHost::FireConnected() {
    m_message.clear();
    WalkEvent(ScriptEvent::Connected, nullptr, std::string());
}

void CScriptHost::FireConnectFailed() {
    m_message.clear();
    WalkEvent(ScriptEvent::ConnectFailed, nullptr, std::string());
}

void CScriptHost::FireDisconnect(bool byUser) {
    m_message.clear();
    const ScriptValue argument = MakeIntValue(byUser ? 1 : 0);
    WalkEvent(ScriptEvent::Disconnect, &argument, std::string());
}

void CScriptHost::FireTick() {
    m_message.clear();
    WalkEvent(ScriptEvent::Tick, nullptr, std::string());
    RunTimers();
}

void CScriptHost::FireGmcp(const std::string& package, const std::string& json) {
    m_message.clear();
    ScriptValue arguments[2] = {MakeTextValue(package.c_str()), MakeTextValue(json.c_str())};
    WalkEvent(ScriptEvent::Gmcp, arguments, std::string(), 2);
    DestroyScriptValue(&arguments[0]);
    DestroyScriptValue(&arguments[1]);
}

void CScriptHost::RunTimers() {
    const std::uint32_t now = m_tickCounter();
    WalkCursor cursor;
    cursor.list = kTimerList;
    CStackEntry scope(m_walks, cursor);
    for (; !cursor.cleared && cursor.index < m_timers.size(); cursor.Advance()) {
        const TimerEntry timer = m_timers[cursor.index];
        if (DueIn(timer.due, now) > 0) continue;
        ScriptSystem* system = FindSystem(timer.extension);
        if (!system) {
            EraseTimer(cursor.index);
            continue;
        }
        const ScriptValue* results = nullptr;
        std::uint64_t resultCount = 0;
        const bool called =
            system->CallFunction(timer.function.c_str(), 0, nullptr, &results, &resultCount);
        if (cursor.cleared) break;
        if (called) {
            // Counted from this tick's reading, so a late timer runs once, not to catch up.
            if (!cursor.removed) m_timers[cursor.index].due = now + timer.interval;
            continue;
        }
        m_message = "Failed to call callback function \"" + timer.function +
                    "\" for time event: " + ErrorTextOf(system);
        if (!cursor.removed) EraseTimer(cursor.index);
    }
}

bool CScriptHost::RunCommand(const std::string& name, const std::string& argument) {
    m_message.clear();
    const auto found = m_commands.find(name);
    if (found == m_commands.end()) return false;
    const CommandEntry command = found->second;
    ScriptSystem* system = FindSystem(command.extension);
    if (!system) return true;
    ScriptValue text = MakeTextValue(argument.c_str());
    const ScriptValue* results = nullptr;
    std::uint64_t resultCount = 0;
    const bool called =
        system->CallFunction(command.function.c_str(), 1, &text, &results, &resultCount);
    DestroyScriptValue(&text);
    if (called) {
        m_message.clear();
        return true;
    }
    m_message = "Failed to call callback function \"" + command.function +
                "\" for command: " + name + ": " + ErrorTextOf(system);
    // Only the registration that failed goes; the callback may have put another in its place.
    const auto now = m_commands.find(name);
    if (now != m_commands.end() && now->second.extension == command.extension &&
        now->second.function == command.function) {
        m_commands.erase(now);
    }
    return true;
}

std::string CScriptHost::Dump() {
    m_message.clear();
    std::string report;
    if (!m_commands.empty()) {
        report += "<-b>Registered commands:<-/b>\n";
        for (const auto& [name, command] : m_commands) {
            report += "   <-c00ff00>/" + name + " calls " + command.function + " (" +
                      command.extension + " script)\n";
        }
        report += "\n";
    }
    for (std::size_t list = 0; list < kScriptEventCount; ++list) {
        if (m_events[list].empty()) continue;
        report += std::string("<-b>Registered ") + kEventNames[list] + " callbacks:<-/b>\n";
        for (const CallbackEntry& entry : m_events[list]) {
            report += "   <-c00ff00>" + entry.function + " (" + entry.extension + " script)\n";
        }
    }
    if (!m_timers.empty()) {
        report += "<-b>Registered timers:<-/b>\n";
        for (const TimerEntry& timer : m_timers) {
            report += "   <-c00ff00>" + timer.function + " (" + timer.extension +
                      " script) called every " + std::to_string(timer.interval) +
                      "ms, next call in " + std::to_string(DueIn(timer.due, m_tickCounter())) +
                      "ms\n";
        }
    }
    return report;
}
