#include "sysfuncs/SystemFunctions.h"

bool GetOS(ScriptCallContext*, void*) { return true; }
bool GetTime(ScriptCallContext*, void*) { return true; }
bool SetIcon(ScriptCallContext*, void*) { return true; }
bool SetWindowTitle(ScriptCallContext*, void*) { return true; }
