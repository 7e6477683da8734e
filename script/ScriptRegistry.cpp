#include "script/ScriptRegistry.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <utility>

#include "base/AsciiText.h"
#include "script/ScriptHost.h"

namespace {

CScriptHost& HostOf(void* user) { return *static_cast<CScriptHost*>(user); }

std::string CallerExtension(ScriptCallContext* context) {
    const char* extension = context->GetExtension();
    return extension ? extension : "";
}

bool Fail(ScriptCallContext* context, const std::string& text) {
    context->SetError(text.c_str());
    return false;
}

// Fetches one parameter as text; false (with nothing left to destroy) when it is no String.
bool FetchText(ScriptCallContext* context, std::uint64_t index, std::string& text) {
    ScriptValue value = MakeIntValue(0);
    context->GetParameter(&value, index);
    const bool isText = value.type == ScriptValue::String;
    if (isText) text = value.value.text ? value.value.text : "";
    DestroyScriptValue(&value);
    return isText;
}

// The one-parameter functions share their opening: the count, then the function name.
bool FetchOnlyName(ScriptCallContext* context, const char* function, const char* role,
                   std::string& name) {
    if (context->GetParameterCount() != 1) {
        return Fail(context, std::string(function) + " expects 1 parameter");
    }
    if (!FetchText(context, 0, name)) {
        return Fail(context,
                    std::string(function) + " expects parameter 1 to be a string (" + role + ")");
    }
    return true;
}

// Index of the event list for a name register_event accepts (already lower case), or -1.
int EventIndex(const std::string& name) {
    static const struct {
        const char* name;
        ScriptEvent event;
    } kNames[] = {
        {"onreceive", ScriptEvent::Receive},
        {"onsendline", ScriptEvent::SendLine},
        {"onpreparse", ScriptEvent::PreParse},
        {"onpreparsetext", ScriptEvent::PreParse},
        {"onreceivepml", ScriptEvent::ReceivePML},
        {"onconnect", ScriptEvent::Connected},
        {"onconnected", ScriptEvent::Connected},
        {"onconnectfailed", ScriptEvent::ConnectFailed},
        {"ondisconnect", ScriptEvent::Disconnect},
        {"ontick", ScriptEvent::Tick},
        {"ongmcp", ScriptEvent::Gmcp},
    };
    for (const auto& entry : kNames) {
        if (name == entry.name) return static_cast<int>(entry.event);
    }
    return -1;
}

// A frequency in whole milliseconds, or 0 when it is below 1. A Float is truncated toward
// zero; one beyond the 32-bit range (or not a number) must not reach the conversion.
std::int32_t FrequencyOf(const ScriptValue& value) {
    if (value.type == ScriptValue::Int) return value.value.i < 1 ? 0 : value.value.i;
    const float number = value.value.f;
    if (!(number >= 1.0f)) return 0;
    if (number >= 2147483648.0f) return std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(std::trunc(number));
}

}  // namespace

void ScriptRegistry::RegisterAll(CScriptHost& host) {
    static const struct {
        const char* name;
        ScriptFunction function;
    } kFunctions[] = {
        {"load", &Load},
        {"register_command", &RegisterCommand},
        {"unregister_command", &UnregisterCommand},
        {"register_event", &RegisterEvent},
        {"unregister_event", &UnregisterEvent},
        {"register_timer", &RegisterTimer},
        {"unregister_timer", &UnregisterTimer},
    };
    for (const auto& entry : kFunctions) {
        PluginFunctionInfo info{};
        info.function = entry.function;
        info.user = &host;
        std::strncpy(info.name, entry.name, sizeof info.name - 1);
        host.RegisterFunction(info);
    }
}

bool ScriptRegistry::Load(ScriptCallContext* context, void* user) {
    CScriptHost& host = HostOf(user);
    std::string fileName;
    if (!FetchOnlyName(context, "load", "script name", fileName)) return false;
    // A script loads another inside some host operation: what that operation has gathered so
    // far must survive the nested load, whose own failure goes back to the script.
    std::string outer = std::move(host.m_message);
    const std::int32_t code = host.LoadScript(fileName);
    const std::string inner = std::exchange(host.m_message, std::move(outer));
    if (code == 0 || code == 1) return true;
    return Fail(context, inner);
}

bool ScriptRegistry::RegisterCommand(ScriptCallContext* context, void* user) {
    CScriptHost& host = HostOf(user);
    if (context->GetParameterCount() != 2) {
        return Fail(context, "register_command expects 2 parameters");
    }
    std::string name;
    if (!FetchText(context, 0, name)) {
        return Fail(context, "register_command expects parameter 1 to be a string (command name)");
    }
    std::string function;
    if (!FetchText(context, 1, function)) {
        return Fail(context,
                    "register_command expects parameter 2 to be a string (callback function name)");
    }
    if (name.find_first_of(" /") != std::string::npos) {
        return Fail(context, "Invalid name for command: \"" + name + "\"");
    }
    host.m_commands[name] = CommandEntry{CallerExtension(context), function};
    return true;
}

bool ScriptRegistry::UnregisterCommand(ScriptCallContext* context, void* user) {
    CScriptHost& host = HostOf(user);
    std::string function;
    if (!FetchOnlyName(context, "unregister_command", "callback function name", function)) {
        return false;
    }
    const std::string extension = CallerExtension(context);
    for (auto it = host.m_commands.begin(); it != host.m_commands.end(); ++it) {
        if (it->second.function == function && it->second.extension == extension) {
            host.m_commands.erase(it);
            return true;
        }
    }
    return Fail(context, "unregister_command could not find callback function " + function);
}

bool ScriptRegistry::RegisterEvent(ScriptCallContext* context, void* user) {
    CScriptHost& host = HostOf(user);
    if (context->GetParameterCount() != 2) {
        return Fail(context, "register_event expects 2 parameters");
    }
    std::string event;
    if (!FetchText(context, 0, event)) {
        return Fail(context, "register_event expects parameter 1 to be a string (event name)");
    }
    std::string function;
    if (!FetchText(context, 1, function)) {
        return Fail(context,
                    "register_event expects parameter 2 to be a string (callback function name)");
    }
    const std::string lower = LowerAsciiCopy(event);
    const int index = EventIndex(lower);
    if (index < 0) return Fail(context, "Invalid event for register_event: " + lower);
    host.m_events[static_cast<std::size_t>(index)].push_back(
        CallbackEntry{CallerExtension(context), function});
    return true;
}

bool ScriptRegistry::UnregisterEvent(ScriptCallContext* context, void* user) {
    CScriptHost& host = HostOf(user);
    std::string function;
    if (!FetchOnlyName(context, "unregister_event", "callback function name", function)) {
        return false;
    }
    const std::string extension = CallerExtension(context);
    for (std::size_t list = 0; list < host.m_events.size(); ++list) {
        const auto& entries = host.m_events[list];
        for (std::size_t i = 0; i < entries.size(); ++i) {
            if (entries[i].function == function && entries[i].extension == extension) {
                host.EraseCallback(list, i);
                return true;
            }
        }
    }
    return Fail(context, "unregister_event could not find callback function " + function);
}

bool ScriptRegistry::RegisterTimer(ScriptCallContext* context, void* user) {
    CScriptHost& host = HostOf(user);
    if (context->GetParameterCount() != 2) {
        return Fail(context, "register_timer expects 2 parameters");
    }
    ScriptValue frequencyValue = MakeIntValue(0);
    context->GetParameter(&frequencyValue, 0);
    const bool isNumber =
        frequencyValue.type == ScriptValue::Int || frequencyValue.type == ScriptValue::Float;
    const std::int32_t frequency = isNumber ? FrequencyOf(frequencyValue) : 0;
    DestroyScriptValue(&frequencyValue);
    if (!isNumber) {
        return Fail(context,
                    "register_timer expects parameter 1 to be an integer (timer frequency)");
    }
    if (frequency < 1) return Fail(context, "Timer frequency for register_timer cannot be < 1ms");
    std::string function;
    if (!FetchText(context, 1, function)) {
        return Fail(context,
                    "register_timer expects parameter 2 to be a string (callback function name)");
    }
    const auto interval = static_cast<std::uint32_t>(frequency);
    host.m_timers.push_back(
        TimerEntry{CallerExtension(context), function, interval, host.TickCount() + interval});
    return true;
}

bool ScriptRegistry::UnregisterTimer(ScriptCallContext* context, void* user) {
    CScriptHost& host = HostOf(user);
    std::string function;
    if (!FetchOnlyName(context, "unregister_timer", "callback function name", function)) {
        return false;
    }
    const std::string extension = CallerExtension(context);
    for (std::size_t i = 0; i < host.m_timers.size(); ++i) {
        if (host.m_timers[i].function == function && host.m_timers[i].extension == extension) {
            host.EraseTimer(i);
            return true;
        }
    }
    return Fail(context, "unregister_timer could not find timer callback " + function);
}
