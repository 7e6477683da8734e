#include "script/ScriptInterface.h"

OSTRAK_EXPORT ScriptSystem* CreateScriptInterface(std::int32_t) { return nullptr; }
