#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "script/ScriptInterface.h"

// A command a script registered: which system to ask, and which of its functions to call.
struct CommandEntry {
    std::string extension;
    std::string function;
};

struct CallbackEntry {
    std::string extension;
    std::string function;
};

struct TimerEntry {
    std::string extension;
    std::string function;
    std::uint32_t interval = 0;
    // Tick counter value at or after which the timer is next called.
    std::uint32_t due = 0;
};

// A loaded script system.
struct SystemRecord {
    ScriptSystem* system = nullptr;
    std::string extension;
    std::string fileName;
    void* module = nullptr;
};

// The client events scripts can hook, in the order of the event lists.
enum class ScriptEvent {
    Receive,
    SendLine,
    PreParse,
    ReceivePML,
    Connected,
    ConnectFailed,
    Disconnect,
    Tick,
    Gmcp,
};
constexpr std::size_t kScriptEventCount = 9;

// The script manager: loads the script-system libraries of the working directory and keeps the
// commands, event callbacks and timers that scripts register. Every operation empties
// m_message first and leaves in it what the caller has to report.
class CScriptHost {
  public:
    // The wrapping millisecond counter timers run on.
    using TickCounter = std::function<std::uint32_t()>;

    CScriptHost();
    ~CScriptHost();
    CScriptHost(const CScriptHost&) = delete;
    CScriptHost& operator=(const CScriptHost&) = delete;

    // Systems.
    bool LoadSystems();
    bool RegisterFunction(const PluginFunctionInfo& info);
    // Takes the function away from every system; the error texts of those that refuse are
    // gathered in m_message. True when none refused.
    bool UnregisterFunction(const std::string& name);
    bool RunAutoexec();
    std::int32_t LoadScript(const std::string& fileName);
    bool Execute(const std::string& code);
    bool Reload();
    ScriptSystem* FindSystem(const std::string& extension);
    void UnloadSystems();

    // Events, commands and the report.
    std::string FireReceive(const std::string& line);
    std::string FireSendLine(const std::string& line);
    std::string FirePreParse(const std::string& text);
    void FireReceivePML(const std::string& tag);
    void FireConnected();
    void FireConnectFailed();
    void FireDisconnect(bool byUser);
    void FireTick();
    // A GMCP message from the server: the package name and its JSON text, two strings.
    void FireGmcp(const std::string& package, const std::string& json);
    bool RunCommand(const std::string& name, const std::string& argument);
    std::string Dump();

    void SetTickCounter(TickCounter counter) { m_tickCounter = std::move(counter); }
    std::uint32_t TickCount() const { return m_tickCounter(); }

    const std::vector<SystemRecord>& Systems() const { return m_systems; }
    const std::map<std::string, CommandEntry>& Commands() const { return m_commands; }
    const std::vector<CallbackEntry>& Callbacks(ScriptEvent event) const {
        return m_events[static_cast<std::size_t>(event)];
    }
    const std::vector<TimerEntry>& Timers() const { return m_timers; }

    std::string m_message;

  private:
    friend struct ScriptRegistry;

    // A walk under way over one event list (or the timers): where it stands, kept right while
    // callbacks add and remove entries under it.
    struct WalkCursor {
        std::size_t list = 0;
        std::size_t index = 0;
        // The entry at index is gone; index already names the next one.
        bool removed = false;
        // The list was emptied under the walk, which ends.
        bool cleared = false;

        void Advance() {
            if (removed) {
                removed = false;
            } else {
                ++index;
            }
        }
    };
    static constexpr std::size_t kTimerList = kScriptEventCount;

    void AppendMessage(const char* text);
    std::string WalkEvent(ScriptEvent event, const ScriptValue* argument, std::string text,
                          std::uint64_t argumentCount = 1);
    void RunTimers();
    void EraseCallback(std::size_t list, std::size_t index);
    void EraseTimer(std::size_t index);
    void ClearRegistry();

    std::map<std::string, CommandEntry> m_commands;
    std::array<std::vector<CallbackEntry>, kScriptEventCount> m_events;
    std::vector<TimerEntry> m_timers;
    std::vector<SystemRecord> m_systems;
    // Libraries that loaded but offered no script system; released with the host.
    std::vector<void*> m_otherModules;
    std::vector<WalkCursor*> m_walks;
    TickCounter m_tickCounter;
};
