// Script functions for the server's out-of-band protocols.
#include <cstdio>
#include <string>

#include "app/App.h"
#include "app/AppScriptFunctions.h"
#include "net/TelnetEngine.h"
#include "script/ScriptCallHelpers.h"

namespace {

// sendGMCP(package [, json]): 1 when the message went out, 0 while GMCP is not agreed.
bool SendGmcp(ScriptCallContext* context, void* user) {
    const std::uint64_t count = context->GetParameterCount();
    if (count != 1 && count != 2) {
        context->SetError("sendGMCP expects 1 or 2 parameters");
        return false;
    }
    std::string package;
    if (!FetchText(context, 0, package)) {
        context->SetError("sendGMCP expects a string as the first parameter");
        return false;
    }
    std::string json;
    if (count == 2 && !FetchText(context, 1, json)) {
        context->SetError("sendGMCP expects a string as the second parameter");
        return false;
    }
    const bool sent = static_cast<CApp*>(user)->Telnet().SendGmcp(package, json);
    ScriptValue result = MakeIntValue(sent ? 1 : 0);
    context->ReturnValue(&result);
    return true;
}

}  // namespace

std::vector<PluginFunctionInfo> ProtocolFunctions(CApp& app) {
    PluginFunctionInfo info{};
    info.function = SendGmcp;
    info.user = &app;
    std::snprintf(info.name, sizeof info.name, "%s", "sendGMCP");
    return {info};
}
