// A tiny script system for the host's tests. Lines hold statements separated by ";":
//   call NAME ARG...   call a native function      return ARG...   results of a function
//   fail ARG           fail with that text         need EXT        fail unless this is EXT
//   def NAME STMTS     define a function (the rest of the line is its body)
// ARG is "text", a whole number (Int), a number with a dot (Float) or $N, the call's Nth
// argument. LoadScript runs a file's lines; a file it cannot open gives code 1.
// Loading the library leaves a file "<ext>.loaded" in the working directory.

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "script/ScriptInterface.h"

#ifndef TEST_SCRIPT_EXTENSION
#define TEST_SCRIPT_EXTENSION "tst"
#endif

namespace {

__attribute__((constructor)) void MarkLoaded() {
    if (std::FILE* file = std::fopen(TEST_SCRIPT_EXTENSION ".loaded", "w")) std::fclose(file);
}

struct Values {
    std::vector<ScriptValue> items;
    Values() = default;
    Values(const Values&) = delete;
    Values& operator=(const Values&) = delete;
    ~Values() { Clear(); }
    void Clear() {
        for (ScriptValue& value : items) DestroyScriptValue(&value);
        items.clear();
    }
};

class CallContext final : public ScriptCallContext {
  public:
    Values parameters;
    Values results;
    std::string error;

    std::uint64_t GetParameterCount() override { return parameters.items.size(); }
    void GetParameter(ScriptValue* value, std::uint64_t index) override {
        *value = index < parameters.items.size() ? CopyScriptValue(parameters.items[index])
                                                 : MakeIntValue(0);
    }
    void ReturnValue(const ScriptValue* value) override {
        results.items.push_back(CopyScriptValue(*value));
    }
    void SetError(const char* text) override { error = text ? text : ""; }
    const char* GetExtension() override { return TEST_SCRIPT_EXTENSION; }
};

enum class Outcome { Done, Returned, Failed };

class TestScript final : public ScriptSystem {
  public:
    const char* GetExtension() override { return TEST_SCRIPT_EXTENSION; }
    void Destroy() override { delete this; }
    bool Execute(const char* code, std::uint64_t length) override {
        return RunLine(std::string(code, length), nullptr, 0) != Outcome::Failed;
    }
    std::int32_t LoadScript(const char* fileName) override {
        const std::int32_t code = RunFile(fileName);
        if (code != 1) m_files.push_back(fileName);
        return code;
    }
    bool ReloadScripts() override {
        const std::vector<std::string> files = m_files;
        for (const std::string& file : files) {
            if (RunFile(file) != 0) return false;
        }
        return true;
    }
    bool RegisterFunction(ScriptFunction function, void* user, const char* name) override {
        if (std::string(name) == "unwanted") return Refuse("refuses unwanted");
        m_natives[name] = {function, user};
        return true;
    }
    bool UnregisterFunction(const char* name) override {
        if (m_natives.erase(name) == 0) return Refuse(std::string("has no ") + name);
        return true;
    }
    bool CallFunction(const char* name, std::uint64_t argumentCount, const ScriptValue* arguments,
                      const ScriptValue** results, std::uint64_t* resultCount) override {
        m_results.Clear();
        const auto found = m_functions.find(name);
        if (found == m_functions.end()) return Refuse(std::string("no function ") + name);
        const std::string body = found->second;
        const Outcome outcome = RunLine(body, arguments, argumentCount);
        if (outcome == Outcome::Failed) return false;
        // A body without return returns nothing, whatever calls nested in it returned.
        if (outcome == Outcome::Done) m_results.Clear();
        *results = m_results.items.data();
        *resultCount = m_results.items.size();
        return true;
    }
    const char* GetErrorText() override { return m_error.c_str(); }

  private:
    struct Native {
        ScriptFunction function;
        void* user;
    };

    bool Refuse(const std::string& text) {
        m_error = TEST_SCRIPT_EXTENSION " " + text;
        return false;
    }
    Outcome FailWith(const std::string& text) {
        Refuse(text);
        return Outcome::Failed;
    }

    std::int32_t RunFile(const std::string& fileName) {
        std::ifstream file(fileName);
        if (!file) {
            Refuse("could not open " + fileName);
            return 1;
        }
        std::string line;
        for (int number = 1; std::getline(file, line); ++number) {
            if (RunLine(line, nullptr, 0) == Outcome::Failed) {
                // snprintf, not to_string: the library must stay unloadable (no unique symbols).
                char place[32];
                std::snprintf(place, sizeof place, ":%d: ", number);
                m_error = fileName + place + m_error;
                return 3;
            }
        }
        return 0;
    }

    // Words of a statement; a quoted word keeps its quotes so that it reads as text.
    static std::vector<std::string> Split(const std::string& text, std::size_t& at) {
        std::vector<std::string> words;
        while (at < text.size() && text[at] != ';') {
            if (text[at] == ' ') {
                ++at;
                continue;
            }
            std::size_t end = at + 1;
            if (text[at] == '"') {
                end = text.find('"', at + 1);
                end = end == std::string::npos ? text.size() : end + 1;
            } else {
                end = text.find_first_of(" ;", at);
                if (end == std::string::npos) end = text.size();
            }
            words.push_back(text.substr(at, end - at));
            at = end;
        }
        if (at < text.size()) ++at;
        return words;
    }

    static ScriptValue ValueOf(const std::string& word, const ScriptValue* arguments,
                               std::uint64_t count) {
        if (word[0] == '"') return MakeTextValue(word.substr(1, word.size() - 2).c_str());
        if (word[0] == '$') {
            const std::uint64_t index = std::strtoull(word.c_str() + 1, nullptr, 10) - 1;
            return index < count ? CopyScriptValue(arguments[index]) : MakeIntValue(0);
        }
        if (word.find('.') != std::string::npos)
            return MakeFloatValue(std::strtof(word.c_str(), nullptr));
        return MakeIntValue(static_cast<std::int32_t>(std::strtol(word.c_str(), nullptr, 10)));
    }

    Outcome RunLine(const std::string& line, const ScriptValue* arguments, std::uint64_t count) {
        if (line.rfind("def ", 0) == 0) {
            const std::size_t nameEnd = line.find(' ', 4);
            if (nameEnd == std::string::npos) return FailWith("def needs a body");
            m_functions[line.substr(4, nameEnd - 4)] = line.substr(nameEnd + 1);
            return Outcome::Done;
        }
        for (std::size_t at = 0; at < line.size();) {
            const std::vector<std::string> words = Split(line, at);
            if (words.empty()) continue;
            const Outcome outcome = RunStatement(words, arguments, count);
            if (outcome != Outcome::Done) return outcome;
        }
        return Outcome::Done;
    }

    Outcome RunStatement(const std::vector<std::string>& words, const ScriptValue* arguments,
                         std::uint64_t count) {
        const std::string& verb = words[0];
        Values values;
        const std::size_t first = verb == "call" ? 2 : 1;
        for (std::size_t i = first; i < words.size(); ++i) {
            values.items.push_back(ValueOf(words[i], arguments, count));
        }
        if (verb == "return") {
            m_results.Clear();
            std::swap(m_results.items, values.items);
            return Outcome::Returned;
        }
        if (verb == "fail") {
            m_error = values.items.empty() ? "" : ToText(values.items[0]);
            return Outcome::Failed;
        }
        if (verb == "need") {
            if (words.size() > 1 && words[1] == TEST_SCRIPT_EXTENSION) return Outcome::Done;
            return FailWith("is not " + (words.size() > 1 ? words[1] : ""));
        }
        if (verb != "call" || words.size() < 2) return FailWith("bad statement " + verb);
        const auto native = m_natives.find(words[1]);
        if (native == m_natives.end()) return FailWith("unknown native " + words[1]);
        CallContext context;
        std::swap(context.parameters.items, values.items);
        if (native->second.function(&context, native->second.user)) return Outcome::Done;
        m_error = context.error;
        return Outcome::Failed;
    }

    std::map<std::string, Native> m_natives;
    std::map<std::string, std::string> m_functions;
    std::vector<std::string> m_files;
    Values m_results;
    std::string m_error;
};

}  // namespace

OSTRAK_EXPORT ScriptSystem* CreateScriptInterface(std::int32_t version) {
    if (version != kScriptInterfaceVersion) return nullptr;
    return new TestScript;
}
