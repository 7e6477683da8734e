#include <new>

#include "LuaScriptSystem.h"

OSTRAK_EXPORT ScriptSystem* CreateScriptInterface(std::int32_t version) {
    if (version != kScriptInterfaceVersion) return nullptr;
    auto* system = new (std::nothrow) CLuaScriptSystem();
    if (!system) return nullptr;
    if (!system->Open()) {
        system->Destroy();
        return nullptr;
    }
    return system;
}
