#pragma once

#include <cstdint>
#include <string>

#include "script/ScriptInterface.h"

// Small steps every native function of the client takes.

// Fetches parameter index; true with its text in text when it is a String.
inline bool FetchText(ScriptCallContext* context, std::uint64_t index, std::string& text) {
    ScriptValue value{};
    context->GetParameter(&value, index);
    const bool isText = value.type == ScriptValue::String;
    if (isText) text = ToText(value);
    DestroyScriptValue(&value);
    return isText;
}

inline void ReturnText(ScriptCallContext* context, const char* text) {
    ScriptValue value = MakeTextValue(text);
    context->ReturnValue(&value);
    DestroyScriptValue(&value);
}
