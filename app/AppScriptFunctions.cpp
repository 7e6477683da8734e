// The application's native functions for scripts: window attention, sounds, printing, sending,
// connection state, version, settings, the loop's high-performance mode and password input.
// Each follows the one calling pattern: check the count, fetch and check one parameter at a
// time, destroy whatever was fetched.
#include "app/AppScriptFunctions.h"

#include <cmath>
#include <cstdio>
#include <string>

#include "app/App.h"
#include "app/MessageColours.h"
#include "script/ScriptCallHelpers.h"
#include "script/ScriptHost.h"
#include "ui/FormatCodes.h"

std::int32_t g_sendNesting = 0;

namespace {

CApp& AppOf(void* user) { return *static_cast<CApp*>(user); }

// The string parameters in order, each through convert; other types are skipped.
template <typename Convert>
std::string JoinTextParameters(ScriptCallContext* context, Convert convert) {
    std::string joined;
    const std::uint64_t count = context->GetParameterCount();
    std::string text;
    for (std::uint64_t i = 0; i < count; ++i) {
        if (FetchText(context, i, text)) joined += convert(text);
    }
    return joined;
}

// Script text takes the road of a typed line until sends nest too deep; from there it goes
// out (or into the pane) as it is.
void SendScriptText(CApp& app, const std::string& text) {
    ++g_sendNesting;
    if (g_sendNesting <= kMaxSendNesting) {
        app.ProcessLine(text);
    } else if (app.IsConnected()) {
        app.SendToServer(text.data(), text.size());
    } else {
        app.OutputPane().Append(text);
    }
    --g_sendNesting;
}

bool FlashWindow(ScriptCallContext*, void* user) {
    if (IWindowPort* window = AppOf(user).Port()) window->FlashUntilForeground();
    return true;
}

bool ShowWindow(ScriptCallContext*, void* user) {
    if (IWindowPort* window = AppOf(user).Port()) window->BringToFront();
    return true;
}

// Fails without a message, so a script cannot tell a bad argument from a missing file.
bool PlaySound(ScriptCallContext* context, void* user) {
    if (context->GetParameterCount() != 1) return false;
    std::string fileName;
    if (!FetchText(context, 0, fileName)) return false;
    if (IPlatform* platform = AppOf(user).Platform()) platform->PlaySoundFile(fileName);
    return true;
}

bool Beep(ScriptCallContext*, void* user) {
    if (IPlatform* platform = AppOf(user).Platform()) platform->Beep();
    return true;
}

// The pieces go into the pane in one append; the bytes are the same as one append each.
bool Print(ScriptCallContext* context, void* user) {
    const std::string text =
        JoinTextParameters(context, [](const std::string& piece) { return TagsToCodes(piece); });
    if (!text.empty()) AppOf(user).OutputPane().Append(text);
    return true;
}

bool PrintLine(ScriptCallContext* context, void* user) {
    std::string text =
        JoinTextParameters(context, [](const std::string& piece) { return TagsToCodes(piece); });
    text += "\r\n";
    text += kResetCode;
    AppOf(user).OutputPane().Append(text);
    return true;
}

bool Send(ScriptCallContext* context, void* user) {
    SendScriptText(AppOf(user),
                   JoinTextParameters(context, [](const std::string& piece) { return piece; }));
    return true;
}

bool SendLine(ScriptCallContext* context, void* user) {
    SendScriptText(AppOf(user), JoinTextParameters(context, [](const std::string& piece) {
                                    return piece;
                                }) + "\r\n");
    return true;
}

bool Clear(ScriptCallContext*, void* user) {
    CRichPane& output = AppOf(user).OutputPane();
    if (IPaneControl* control = output.Control()) control->Clear();
    output.ClearHoverUrl();
    return true;
}

bool IsConnected(ScriptCallContext* context, void* user) {
    ScriptValue value = MakeIntValue(AppOf(user).IsConnected() ? 1 : 0);
    context->ReturnValue(&value);
    return true;
}

bool GetVersion(ScriptCallContext* context, void*) {
    // The architecture word tells the truth on a 32-bit build.
    constexpr const char* kArchitecture = sizeof(void*) == 8 ? "x64" : "x86";
    char text[256];
    std::snprintf(text, sizeof text, "OstrakClient Version %d.%d %s", g_versionMajor,
                  g_versionMinor, kArchitecture);
    ReturnText(context, text);
    return true;
}

bool GetConfigValue(ScriptCallContext* context, void* user) {
    if (context->GetParameterCount() != 1) {
        context->SetError("getConfigValue expects 1 parameter");
        return false;
    }
    std::string key;
    if (!FetchText(context, 0, key)) {
        context->SetError("getConfigValue expects a string as the first parameter");
        return false;
    }
    ReturnText(context, AppOf(user).GetConfigValue(key).c_str());
    return true;
}

bool SetConfigValue(ScriptCallContext* context, void* user) {
    if (context->GetParameterCount() != 2) {
        context->SetError("setConfigValue expects 2 parameters");
        return false;
    }
    std::string key;
    if (!FetchText(context, 0, key)) {
        context->SetError("setConfigValue expects a string as the first parameter");
        return false;
    }
    std::string value;
    if (!FetchText(context, 1, value)) {
        context->SetError("setConfigValue expects a string as the second parameter");
        return false;
    }
    AppOf(user).SetConfigValue(key, value);
    return true;
}

// Parameters are a mistake worth a word, not a reason to leave the mode alone.
bool EnterHighPerfMode(ScriptCallContext* context, void* user) {
    if (context->GetParameterCount() != 0)
        context->SetError("enterHighPerfMode expects no parameters. Parameters ignored");
    AppOf(user).EnterHighPerfMode();
    return true;
}

bool ExitHighPerfMode(ScriptCallContext* context, void* user) {
    if (context->GetParameterCount() != 0)
        context->SetError("exitHighPerfMode expects no parameters. Parameters ignored");
    AppOf(user).ExitHighPerfMode();
    return true;
}

bool SetPasswordInput(ScriptCallContext* context, void* user) {
    if (context->GetParameterCount() != 1) {
        context->SetError("setPasswordInput expects 1 parameter");
        return false;
    }
    ScriptValue flag{};
    context->GetParameter(&flag, 0);
    bool on = false;
    if (flag.type == ScriptValue::Float) {
        // Truncated toward zero without converting to an integer, which a huge float could
        // not survive.
        on = std::trunc(flag.value.f) != 0.0f;
    } else if (flag.type == ScriptValue::Int) {
        on = flag.value.i != 0;
    } else {
        DestroyScriptValue(&flag);
        context->SetError("setPasswordInput expects a boolean as the first parameter");
        return false;
    }
    CRichPane& input = AppOf(user).InputLine();
    if (on != input.IsPasswordMode()) input.SetPasswordMode(on);
    return true;
}

struct FunctionEntry {
    const char* name;
    ScriptFunction function;
};

constexpr FunctionEntry kFunctions[] = {
    {"flashWindow", FlashWindow},
    {"showWindow", ShowWindow},
    {"playSound", PlaySound},
    {"beep", Beep},
    {"print", Print},
    {"println", PrintLine},
    {"send", Send},
    {"sendln", SendLine},
    {"clear", Clear},
    {"isConnected", IsConnected},
    {"getVersion", GetVersion},
    {"getConfigValue", GetConfigValue},
    {"setConfigValue", SetConfigValue},
    {"enterHighPerfMode", EnterHighPerfMode},
    {"exitHighPerfMode", ExitHighPerfMode},
    {"setPasswordInput", SetPasswordInput},
};

}  // namespace

std::vector<PluginFunctionInfo> ApplicationFunctions(CApp& app) {
    std::vector<PluginFunctionInfo> functions;
    for (const FunctionEntry& entry : kFunctions) {
        PluginFunctionInfo info{};
        info.function = entry.function;
        info.user = &app;
        std::snprintf(info.name, sizeof info.name, "%s", entry.name);
        functions.push_back(info);
    }
    return functions;
}

// Registered once the script systems are loaded; a system that refuses one is not reported.
void CApp::RegisterApplicationFunctions() {
    if (!m_scriptHost) return;
    for (const PluginFunctionInfo& info : ApplicationFunctions(*this)) {
        m_scriptHost->RegisterFunction(info);
    }
    for (const PluginFunctionInfo& info : ProtocolFunctions(*this)) {
        m_scriptHost->RegisterFunction(info);
    }
}
