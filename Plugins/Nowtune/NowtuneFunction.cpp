#include "NowtuneFunction.h"

#include <string>

namespace {

// The value a parameter name asks for; false for a name that is not known.
bool MakeField(const std::string& name, const SongInfo& song, ScriptValue& value) {
    struct IntField {
        const char* name;
        std::int32_t SongInfo::*field;
    };
    struct TextField {
        const char* name;
        std::string SongInfo::*field;
    };
    static constexpr IntField kIntFields[] = {
        {"number", &SongInfo::number},         {"length", &SongInfo::length},
        {"position", &SongInfo::position},     {"bitrate", &SongInfo::bitrate},
        {"samplerate", &SongInfo::samplerate}, {"channels", &SongInfo::channels}};
    static constexpr TextField kTextFields[] = {{"artist", &SongInfo::artist},
                                                {"title", &SongInfo::title},
                                                {"player", &SongInfo::player},
                                                {"status", &SongInfo::status}};
    for (const IntField& entry : kIntFields) {
        if (name == entry.name) {
            value = MakeIntValue(song.*entry.field);
            return true;
        }
    }
    for (const TextField& entry : kTextFields) {
        if (name == entry.name) {
            value = MakeTextValue((song.*entry.field).c_str());
            return true;
        }
    }
    return false;
}

std::string LowerCopy(const char* text) {
    std::string lower = text ? text : "";
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + ('a' - 'A'));
    }
    return lower;
}

}  // namespace

bool AnswerNowtune(ScriptCallContext* context, const SongInfo& song) {
    const std::uint64_t count = context->GetParameterCount();
    for (std::uint64_t index = 0; index < count; ++index) {
        ScriptValue parameter{};
        context->GetParameter(&parameter, index);
        const bool isText = parameter.type == ScriptValue::String;
        const std::string name = isText ? LowerCopy(parameter.value.text) : std::string();
        DestroyScriptValue(&parameter);
        if (!isText) {
            context->SetError("getNowtune expects all string parameters");
            return false;
        }
        ScriptValue result{};
        if (!MakeField(name, song, result)) {
            const std::string error = "Unknown parameter passed to getNowtune: \"" + name + "\"";
            context->SetError(error.c_str());
            return false;
        }
        context->ReturnValue(&result);
        DestroyScriptValue(&result);
    }
    return true;
}
