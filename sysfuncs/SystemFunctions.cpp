#include "sysfuncs/SystemFunctions.h"

#include <ctime>

#include "script/ScriptCallHelpers.h"
#include "sysfuncs/OsName.h"
#include "sysfuncs/TimeFormat.h"

namespace {

ISystemHost& Host(void* user) { return *static_cast<ISystemHost*>(user); }

// Fetches the only parameter when it is a string; false (after the error) when it is not.
bool FetchOnlyText(ScriptCallContext* context, const char* error, std::string& text) {
    if (FetchText(context, 0, text)) return true;
    context->SetError(error);
    return false;
}

}  // namespace

bool GetOS(ScriptCallContext* context, void*) {
    // The name does not change while the client runs.
    static const std::string name = CurrentOsName();
    ReturnText(context, name.c_str());
    return true;
}

bool GetTime(ScriptCallContext* context, void* user) {
    if (context->GetParameterCount() != 1) {
        context->SetError("getTime() expects one parameter");
        return false;
    }
    std::string format;
    if (!FetchOnlyText(context, "getTime() expects a string as the first parameter", format))
        return false;
    const std::int64_t now = Host(user).CurrentTimeSeconds();
    const std::time_t moment = static_cast<std::time_t>(now);
    std::tm local{};
    if (!localtime_r(&moment, &local)) {
        context->SetError("Failed to read current system time");
        return false;
    }
    ReturnText(context, FormatTime(format, local, now, Host(user).UptimeMilliseconds()).c_str());
    return true;
}

bool SetIcon(ScriptCallContext* context, void* user) {
    const std::uint64_t count = context->GetParameterCount();
    if (count >= 2) {
        context->SetError("setIcon() expects one parameter (Icon filename), or none");
        return false;
    }
    std::string file;
    if (count == 1 &&
        !FetchOnlyText(context, "setIcon() expects a string as the first parameter (Icon filename)",
                       file)) {
        return false;
    }
    if (count == 0) {
        Host(user).RestoreProgramIcon();
        return true;
    }
    const int error = Host(user).SetMainWindowIcon(file);
    if (error != 0) {
        const std::string text =
            "Failed to load icon '" + file + "'. Error: " + std::to_string(error);
        context->SetError(text.c_str());
        return false;
    }
    return true;
}

bool SetWindowTitle(ScriptCallContext* context, void* user) {
    const std::uint64_t count = context->GetParameterCount();
    if (count >= 2) {
        context->SetError("setWindowTitle() expects one parameter (New title), or zero");
        return false;
    }
    std::string title;
    if (count == 0) {
        title = Host(user).ProgramTitle();
    } else if (!FetchOnlyText(
                   context,
                   "setWindowTitle() expects a string as the first parameter (Window title)",
                   title)) {
        return false;
    }
    Host(user).SetMainWindowTitle(title);
    return true;
}
