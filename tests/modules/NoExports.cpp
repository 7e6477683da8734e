// A library that is neither a script system nor a plug-in.
#include "script/ScriptInterface.h"

OSTRAK_EXPORT int NoExportsAnswer() { return 42; }
