#pragma once

// Loads the real LuaScripting.so from a temporary working directory and drives it through the
// script contract alone, with a few recording native functions.

#include <dlfcn.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "script/ScriptInterface.h"
#include "tests/support/TempDir.h"

inline ::testing::AssertionResult Contains(const std::string& text, const std::string& part) {
    if (text.find(part) != std::string::npos) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "\"" << text << "\" lacks \"" << part << "\"";
}

inline ::testing::AssertionResult BeginsWith(const std::string& text, const std::string& part) {
    if (text.compare(0, part.size(), part) == 0) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "\"" << text << "\" does not begin with \"" << part << "\"";
}

class LuaFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        char cwd[4096];
        ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
        m_oldCwd = cwd;
        std::filesystem::copy_file(OSTRAK_RUN_DIR "/LuaScripting.so",
                                   m_dir.File("LuaScripting.so"));
        std::filesystem::create_directory(m_dir.File("scripts"));
        ASSERT_EQ(chdir(m_dir.Path().c_str()), 0);
        m_library = dlopen("./LuaScripting.so", RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(m_library, nullptr) << dlerror();
        m_create = reinterpret_cast<CreateScriptInterfaceFunction>(
            dlsym(m_library, "CreateScriptInterface"));
        ASSERT_NE(m_create, nullptr);
        m_lua = m_create(1);
        ASSERT_NE(m_lua, nullptr);
        ASSERT_TRUE(m_lua->RegisterFunction(&Record, this, "record"));
        ASSERT_TRUE(m_lua->RegisterFunction(&Capture, this, "capture"));
        ASSERT_TRUE(m_lua->RegisterFunction(&Echo, this, "echo"));
    }

    void TearDown() override {
        for (ScriptValue& value : m_captured) DestroyScriptValue(&value);
        if (m_lua) m_lua->Destroy();
        if (m_library) dlclose(m_library);
        ASSERT_EQ(chdir(m_oldCwd.c_str()), 0);
    }

    // "record": the text of every parameter.
    static bool Record(ScriptCallContext* context, void* user) {
        auto* self = static_cast<LuaFixture*>(user);
        for (std::uint64_t i = 0; i < context->GetParameterCount(); ++i) {
            ScriptValue value;
            context->GetParameter(&value, i);
            self->m_recorded.push_back(ToText(value));
            DestroyScriptValue(&value);
        }
        return true;
    }

    // "capture": keeps the parameters as they arrived.
    static bool Capture(ScriptCallContext* context, void* user) {
        auto* self = static_cast<LuaFixture*>(user);
        for (std::uint64_t i = 0; i < context->GetParameterCount(); ++i) {
            ScriptValue value;
            context->GetParameter(&value, i);
            self->m_captured.push_back(value);
        }
        return true;
    }

    // "echo": hands every parameter back as a result.
    static bool Echo(ScriptCallContext* context, void*) {
        for (std::uint64_t i = 0; i < context->GetParameterCount(); ++i) {
            ScriptValue value;
            context->GetParameter(&value, i);
            context->ReturnValue(&value);
            DestroyScriptValue(&value);
        }
        return true;
    }

    bool Run(const std::string& code) { return m_lua->Execute(code.data(), code.size()); }
    std::string Error() const { return m_lua->GetErrorText(); }
    void WriteScript(const std::string& path, const std::string& code) {
        TempDir::Write(m_dir.File(path), code);
    }

    TempDir m_dir;
    std::string m_oldCwd;
    void* m_library = nullptr;
    CreateScriptInterfaceFunction m_create = nullptr;
    ScriptSystem* m_lua = nullptr;
    std::vector<std::string> m_recorded;
    std::vector<ScriptValue> m_captured;
};
