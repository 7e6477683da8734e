// A plug-in for the tests: "addNumbers" adds two Ints, "makeText" returns a String whose
// storage this library allocated and frees through its own counting free, "unwanted" (a name
// the test script system refuses) adds too. Built with TEST_PLUGIN_EMPTY it offers nothing.
#include "script/ScriptInterface.h"

namespace {

int g_freedTexts = 0;

void CountingFree(void* block) {
    ++g_freedTexts;
    std::free(block);
}

bool AddNumbers(ScriptCallContext* context, void*) {
    if (context->GetParameterCount() != 2) {
        context->SetError("addNumbers expects 2 parameters");
        return false;
    }
    std::int32_t sum = 0;
    for (std::uint64_t i = 0; i < 2; ++i) {
        ScriptValue value{};
        context->GetParameter(&value, i);
        const bool isInt = value.type == ScriptValue::Int;
        if (isInt) sum += value.value.i;
        DestroyScriptValue(&value);
        if (!isInt) {
            context->SetError("addNumbers expects two integers");
            return false;
        }
    }
    ScriptValue result = MakeIntValue(sum);
    context->ReturnValue(&result);
    return true;
}

bool MakeText(ScriptCallContext* context, void*) {
    ScriptValue result = MakeTextValue("made by the plug-in");
    result.deallocator = &CountingFree;
    context->ReturnValue(&result);
    DestroyScriptValue(&result);
    return true;
}

struct Entry {
    const char* name;
    ScriptFunction function;
};

constexpr Entry kEntries[] = {
    {"addNumbers", AddNumbers}, {"makeText", MakeText}, {"unwanted", AddNumbers}};

}  // namespace

OSTRAK_EXPORT std::uint64_t GetNumExportedFunctions(std::int32_t version) {
#ifdef TEST_PLUGIN_EMPTY
    (void)version;
    return 0;
#else
    return version == kPluginInterfaceVersion ? sizeof kEntries / sizeof kEntries[0] : 0;
#endif
}

OSTRAK_EXPORT void GetExportedFunction(std::uint64_t index, PluginFunctionInfo* info) {
    if (index >= sizeof kEntries / sizeof kEntries[0]) return;
    info->function = kEntries[index].function;
    std::snprintf(info->name, sizeof info->name, "%s", kEntries[index].name);
}

// For the tests: how many texts went through this library's own free, and a String the test
// can destroy itself.
OSTRAK_EXPORT int TestPluginFreedTexts() { return g_freedTexts; }

OSTRAK_EXPORT ScriptValue TestPluginMakeText() {
    ScriptValue value = MakeTextValue("made by the plug-in");
    value.deallocator = &CountingFree;
    return value;
}
