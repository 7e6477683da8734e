#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "script/ScriptHost.h"

// A host in a fresh working directory holding copies of the test script systems: TestScript.so
// (extension "tst") and OtherScript.so ("oth"). Scripts can call "record", which notes the
// text of its parameters joined by ",".
class ScriptHostFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        m_previous = std::filesystem::current_path();
        char pattern[] = "/tmp/ostrak-script-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_directory = pattern;
        std::filesystem::current_path(m_directory);
    }

    void TearDown() override {
        m_host.reset();
        std::filesystem::current_path(m_previous);
        std::filesystem::remove_all(m_directory);
    }

    // Copies a test library into the working directory, writable by its owner only.
    static void Install(const std::string& module, const std::string& as) {
        const std::filesystem::path source =
            std::filesystem::path(OSTRAK_TEST_MODULE_DIR) / (module + ".so");
        std::filesystem::copy_file(source, as);
        ASSERT_EQ(chmod(as.c_str(), 0755), 0);
    }

    static void WriteFile(const std::string& name, const std::string& text) {
        std::ofstream(name, std::ios::binary) << text;
    }

    CScriptHost& Host() {
        if (!m_host) {
            m_host = std::make_unique<CScriptHost>();
            m_host->SetTickCounter([this] { return m_tick; });
        }
        return *m_host;
    }

    // tst first, then oth (listing order a.so, b.so), with "record" registered.
    void LoadBoth() {
        Install("TestScript", "a.so");
        Install("OtherScript", "b.so");
        ASSERT_TRUE(Host().LoadSystems()) << Host().m_message;
        ASSERT_EQ(Host().Systems().size(), 2u);
        PluginFunctionInfo info{};
        info.function = &Record;
        info.user = &m_recorded;
        std::snprintf(info.name, sizeof info.name, "record");
        ASSERT_TRUE(Host().RegisterFunction(info)) << Host().m_message;
    }

    // Runs a line in one system; its error text, or empty text when the line ran.
    std::string Run(const std::string& extension, const std::string& line) {
        ScriptSystem* system = Host().FindSystem(extension);
        if (!system) return "no system " + extension;
        if (system->Execute(line.c_str(), line.size())) return std::string();
        return system->GetErrorText();
    }

    static bool Record(ScriptCallContext* context, void* user) {
        std::string line;
        for (std::uint64_t i = 0; i < context->GetParameterCount(); ++i) {
            ScriptValue value = MakeIntValue(0);
            context->GetParameter(&value, i);
            line += (i ? "," : "") + std::string(ToText(value));
            DestroyScriptValue(&value);
        }
        static_cast<std::vector<std::string>*>(user)->push_back(line);
        return true;
    }

    std::vector<std::string> m_recorded;
    std::uint32_t m_tick = 1000;

  private:
    std::filesystem::path m_previous;
    std::filesystem::path m_directory;
    std::unique_ptr<CScriptHost> m_host;
};
