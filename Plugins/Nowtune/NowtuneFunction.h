#pragma once

#include "SongInfo.h"
#include "script/ScriptInterface.h"

// Answers one call of getNowtune from a snapshot: one result per string parameter, in the
// order given. False after SetError at the first parameter that is not a known name; the
// results handed over before it stay.
bool AnswerNowtune(ScriptCallContext* context, const SongInfo& song);
