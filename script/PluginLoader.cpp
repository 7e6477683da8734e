#include "script/PluginLoader.h"

#include "base/AsciiText.h"
#include "script/Library.h"
#include "script/ScriptHost.h"
#include "script/ScriptInterface.h"

namespace {

// A name typed without an extension means the platform's library file "name.so", as the
// Windows loader would add ".dll".
std::string LibraryFileName(const std::string& fileName) {
    const std::size_t slash = fileName.rfind('/');
    const std::size_t dot = fileName.rfind('.');
    const bool hasExtension =
        dot != std::string::npos && (slash == std::string::npos || dot > slash);
    return hasExtension ? fileName : fileName + ".so";
}

}  // namespace

std::string PluginRecordName(const std::string& fileName) {
    const std::size_t dot = fileName.rfind('.');
    return LowerAsciiCopy(dot == std::string::npos ? fileName : fileName.substr(0, dot));
}

bool LoadPlugin(CScriptHost& host, const std::string& fileName, PluginRecord& record,
                std::string& error) {
    error.clear();
    void* module = LoadLibraryFile(LibraryFileName(fileName), error);
    if (!module) return false;
    auto* getCount = reinterpret_cast<GetNumExportedFunctionsFunction>(
        FindExport(module, "GetNumExportedFunctions", error));
    GetExportedFunctionFunction getFunction = nullptr;
    if (getCount) {
        getFunction = reinterpret_cast<GetExportedFunctionFunction>(
            FindExport(module, "GetExportedFunction", error));
    }
    if (!getCount || !getFunction) {
        UnloadLibrary(module);
        return false;
    }

    record = PluginRecord{};
    record.module = module;
    record.name = PluginRecordName(fileName);
    const std::uint64_t count = getCount(kPluginInterfaceVersion);
    for (std::uint64_t index = 0; index < count; ++index) {
        PluginFunctionInfo info{};
        getFunction(index, &info);
        // The plug-in may have filled all 256 bytes, or left an entry empty.
        info.name[sizeof info.name - 1] = '\0';
        if (!info.function || info.name[0] == '\0') continue;
        // A name that some system refused may still be registered with the others, so it is
        // recorded all the same: unloading must take it away from every system before the
        // library's code goes.
        host.RegisterFunction(info);
        record.functions.emplace_back(info.name);
    }
    return true;
}

void UnloadPlugin(CScriptHost& host, PluginRecord& record) {
    for (const std::string& name : record.functions) host.UnregisterFunction(name);
    record.functions.clear();
    if (record.module) UnloadLibrary(record.module);
    record.module = nullptr;
}
