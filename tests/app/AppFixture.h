#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "app/App.h"
#include "tests/support/HeadlessPlatform.h"
#include "tests/support/ScriptedTelnetServer.h"
#include "tests/support/TempDir.h"

// Starts a real CApp on the headless platform, in a folder of its own (the working directory,
// where OstrakClient.cfg is read) with its own per-user configuration folder.
class AppFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        char cwd[4096];
        ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
        m_oldCwd = cwd;
        ASSERT_EQ(chdir(m_dir.Path().c_str()), 0);
        setenv("XDG_CONFIG_HOME", (m_dir.Path() + "/config").c_str(), 1);
    }

    void TearDown() override {
        if (m_app && m_created) m_app->Destroy();
        m_app.reset();
        ASSERT_EQ(chdir(m_oldCwd.c_str()), 0);
    }

    void WriteProgramConfig(const std::string& text) {
        TempDir::Write(m_dir.File("OstrakClient.cfg"), text);
    }

    std::string SettingsFile() const { return m_dir.Path() + "/config/OstrakClient/Settings.cfg"; }

    void WriteSettings(const std::string& text) {
        std::string folder = m_dir.Path() + "/config/OstrakClient";
        std::string command = "mkdir -p '" + folder + "'";
        ASSERT_EQ(std::system(command.c_str()), 0);
        TempDir::Write(SettingsFile(), text);
    }

    bool Start() {
        m_app = std::make_unique<CApp>();
        m_created = m_app->Create(&m_platform);
        return m_created;
    }

    void Shutdown() {
        if (m_app && m_created) m_app->Destroy();
        m_created = false;
    }

    CApp& App() { return *m_app; }

    // Ticks the application until the condition holds, for at most two seconds.
    bool TickUntil(const std::function<bool()>& condition,
                   std::chrono::milliseconds timeout = std::chrono::seconds(2)) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < deadline) {
            App().OnTick();
            if (condition()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return condition();
    }

    bool Connect(ScriptedTelnetServer& server) {
        App().SubmitText("/connect " + server.Address() + "\r\n");
        return server.WaitForClient() && TickUntil([&] { return App().IsConnected(); });
    }
    HeadlessWindow& Window() { return *m_platform.Window(); }

    // The output pane's text with carriage returns dropped, so tests read lines by "\n".
    std::string Output() {
        std::string text = m_app->OutputPane().GetText();
        std::erase(text, '\r');
        return text;
    }

    // Format of the first character of `needle` in the output pane.
    CharFormat FormatOf(const std::string& needle) {
        IPaneControl* control = m_app->OutputPane().Control();
        std::string text = control->GetText();
        std::size_t found = text.find(needle);
        EXPECT_NE(found, std::string::npos) << needle;
        if (found == std::string::npos) return {};
        std::int32_t position = static_cast<std::int32_t>(found);
        control->SetSelection(position, position + 1);
        return control->GetSelectionFormat();
    }

    TempDir m_dir;
    HeadlessPlatform m_platform;
    std::unique_ptr<CApp> m_app;
    bool m_created = false;
    std::string m_oldCwd;
};
