// The plug-in's exports: one native function, "getNowtune", for interface version 2.
#include <chrono>
#include <cstdio>

#include "NowtuneFunction.h"
#include "script/ScriptInterface.h"

#ifdef _WIN32
#include "PlayerWindow.h"
#include "Win32PlayerWindow.h"
#else
#include "MprisPlayers.h"
#endif

namespace {

// The call runs on the client's main thread: a hung player may hold it up this long at most.
constexpr std::chrono::milliseconds kSnapshotBudget{250};

SongInfo TakeSnapshot() {
#ifdef _WIN32
    CWin32PlayerWindow window(kSnapshotBudget);
    return TakeWindowSnapshot(window);
#else
    return TakeMprisSnapshot(kSnapshotBudget);
#endif
}

bool GetNowtune(ScriptCallContext* context, void*) {
    return AnswerNowtune(context, TakeSnapshot());
}

}  // namespace

OSTRAK_EXPORT std::uint64_t GetNumExportedFunctions(std::int32_t version) {
    return version == kPluginInterfaceVersion ? 1 : 0;
}

OSTRAK_EXPORT void GetExportedFunction(std::uint64_t index, PluginFunctionInfo* info) {
    if (index != 0 || !info) return;
    info->function = &GetNowtune;
    info->user = nullptr;
    std::snprintf(info->name, sizeof info->name, "%s", "getNowtune");
}
