#pragma once

#include <string>
#include <vector>

#include "script/ScriptInterface.h"

// The call context a script system would hand a native function: it owns copies of the
// parameters, keeps copies of the results and the last error, and counts what was fetched.
class ScriptCallRecorder final : public ScriptCallContext {
  public:
    ScriptCallRecorder() = default;
    ScriptCallRecorder(const ScriptCallRecorder&) = delete;
    ScriptCallRecorder& operator=(const ScriptCallRecorder&) = delete;
    ~ScriptCallRecorder() {
        for (ScriptValue& value : parameters) DestroyScriptValue(&value);
        for (ScriptValue& value : results) DestroyScriptValue(&value);
    }

    ScriptCallRecorder& Text(const char* text) {
        parameters.push_back(MakeTextValue(text));
        return *this;
    }
    ScriptCallRecorder& Int(std::int32_t number) {
        parameters.push_back(MakeIntValue(number));
        return *this;
    }
    ScriptCallRecorder& Float(float number) {
        parameters.push_back(MakeFloatValue(number));
        return *this;
    }
    std::string ResultText(std::size_t index = 0) const {
        return index < results.size() ? ToText(results[index]) : "<no result>";
    }

    std::uint64_t GetParameterCount() override { return parameters.size(); }
    void GetParameter(ScriptValue* value, std::uint64_t index) override {
        *value = index < parameters.size() ? CopyScriptValue(parameters[index]) : MakeIntValue(0);
        ++fetched;
    }
    void ReturnValue(const ScriptValue* value) override {
        results.push_back(CopyScriptValue(*value));
    }
    void SetError(const char* text) override { error = text ? text : ""; }
    const char* GetExtension() override { return "tst"; }

    std::vector<ScriptValue> parameters;
    std::vector<ScriptValue> results;
    std::string error;
    int fetched = 0;
};
