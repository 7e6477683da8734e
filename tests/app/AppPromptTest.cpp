// Prompts in the application: the prompt delay from the settings, a prompt shown for now on the
// application's own clock, and client messages that never stick to a prompt.
#include <chrono>
#include <functional>
#include <thread>

#include "net/TelnetEngine.h"
#include "tests/app/AppFixture.h"
#include "tests/support/ScriptedTelnetServer.h"

namespace {

class AppPrompt : public AppFixture {
  protected:
    // Ticks for a while so that whatever the server sent has arrived.
    void TickAWhile() {
        for (int i = 0; i < 30; ++i) {
            App().OnTick();
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }

    bool StartConnected(ScriptedTelnetServer& server) {
        if (!Start()) return false;
        // The application's clock moves only when the test moves it.
        App().SetClock([this] { return m_now; });
        return Connect(server);
    }

    // The output from the connect message on.
    std::string Session() {
        const std::string text = Output();
        const std::size_t at = text.find("Connected!\n");
        return at == std::string::npos ? text : text.substr(at + 11);
    }

    std::uint64_t m_now = 1000;
};

TEST_F(AppPrompt, DelayIsReadFromEitherSettingsFileWithinItsRange) {
    struct Case {
        const char* program;
        const char* user;
        std::uint32_t expected;
    };
    const Case cases[] = {
        {"", "", CTelnetEngine::kDefaultPromptDelay},
        {"PromptDelay = 400\n", "", 400},
        {"PromptDelay = 400\n", "PromptDelay = 0\n", 0},
        {"PromptDelay = 400\n", "PromptDelay = 60001\n", 400},
        {"PromptDelay = -5\n", "PromptDelay = soon\n", CTelnetEngine::kDefaultPromptDelay},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.program) + "|" + c.user);
        WriteProgramConfig(c.program);
        WriteSettings(c.user);
        ASSERT_TRUE(Start());
        EXPECT_EQ(App().Telnet().GetPromptDelay(), c.expected);
        Shutdown();
    }
}

TEST_F(AppPrompt, PromptWithoutMarkShowsAfterTheDelayAndMessagesStayOffIt) {
    ScriptedTelnetServer server;
    ASSERT_TRUE(StartConnected(server));
    server.Send("Welcome\r\nLogin: ");
    TickAWhile();
    EXPECT_EQ(Session(), "Welcome\n");
    m_now += CTelnetEngine::kDefaultPromptDelay;
    App().OnTick();
    EXPECT_EQ(Session(), "Welcome\nLogin: ");

    // A client message goes above the prompt shown for now; the prompt's line, once complete,
    // is shown once.
    App().SubmitText("/nosuchcommand\r\n");
    const std::string message = Session().substr(8, Session().size() - 8 - 7);
    EXPECT_TRUE(message.starts_with("Unknown command") && message.ends_with("\n")) << Session();
    EXPECT_TRUE(Session().ends_with("\nLogin: ")) << Session();
    server.Send("bob\r\nPassword: \xFF\xF9");
    ASSERT_TRUE(TickUntil([&] { return Session().ends_with("Password: "); })) << Session();
    EXPECT_EQ(Session(), "Welcome\n" + message + "Login: bob\nPassword: ");

    // After a prompt ended by GA, "Disconnected" starts a line of its own.
    App().SubmitText("/disconnect\r\n");
    EXPECT_EQ(Session(), "Welcome\n" + message + "Login: bob\nPassword: \nDisconnected\n");
}

}  // namespace
