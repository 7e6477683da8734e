#include <chrono>
#include <functional>
#include <thread>

#include "tests/app/AppFixture.h"
#include "tests/support/ScriptedTelnetServer.h"

namespace {

class AppConnection : public AppFixture {
  protected:
    // Ticks the application until the condition holds, for at most two seconds.
    bool TickUntil(const std::function<bool()>& condition) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        while (std::chrono::steady_clock::now() < deadline) {
            App().OnTick();
            if (condition()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return condition();
    }

    bool OutputHas(const std::string& text) { return Output().find(text) != std::string::npos; }

    bool Connect(ScriptedTelnetServer& server) {
        App().SubmitText("/connect " + server.Address() + "\r\n");
        return server.WaitForClient() && TickUntil([&] { return App().IsConnected(); });
    }
};

TEST_F(AppConnection, PlaysOnALocalServer) {
    ASSERT_TRUE(Start());
    ScriptedTelnetServer server;
    ASSERT_TRUE(server.IsListening());
    ASSERT_TRUE(Connect(server));
    EXPECT_TRUE(OutputHas("Connected!\n"));
    EXPECT_GE(Window().WatchedSocket(), 0);

    server.Send(
        "Welcome, \xE0"
        "adventurer\xA0!\r\nWhat is your name? ");
    ASSERT_TRUE(TickUntil([&] { return OutputHas("Welcome, adventurer!\n"); })) << Output();
    EXPECT_EQ(FormatOf("adventurer").effects & CharFormat::kBold, CharFormat::kBold);
    // The prompt waits for its line feed.
    EXPECT_FALSE(OutputHas("What is your name?"));

    App().SubmitText("Gandalf\r\n");
    App().SubmitText("\r\n");
    EXPECT_TRUE(server.WaitForReceived("Gandalf\r\n\r\n"));

    App().SubmitText("/telnet\r\n");
    EXPECT_TRUE(OutputHas("Negotiated options:\n"));

    App().SubmitText("/disconnect\r\n");
    EXPECT_FALSE(App().IsConnected());
    EXPECT_TRUE(OutputHas("Disconnected\n"));
    EXPECT_TRUE(server.WaitForClientClose());
    EXPECT_EQ(Window().WatchedSocket(), -1);
    App().SubmitText("/disconnect\r\n");
    EXPECT_TRUE(OutputHas("Not connected\n"));
}

TEST_F(AppConnection, ServerCloseIsReported) {
    ASSERT_TRUE(Start());
    ScriptedTelnetServer server;
    ASSERT_TRUE(Connect(server));
    server.Send("bye\r\n");
    server.Close();
    ASSERT_TRUE(TickUntil([&] { return !App().IsConnected(); }));
    EXPECT_TRUE(OutputHas("bye\n"));
    EXPECT_TRUE(OutputHas("Disconnected\n"));
}

TEST_F(AppConnection, ConnectWhileConnectedReplacesTheOldConnection) {
    ASSERT_TRUE(Start());
    ScriptedTelnetServer first;
    ScriptedTelnetServer second;
    ASSERT_TRUE(Connect(first));
    ASSERT_TRUE(Connect(second));
    EXPECT_TRUE(first.WaitForClientClose());
    App().SubmitText("hello second\r\n");
    EXPECT_TRUE(second.WaitForReceived("hello second\r\n"));
    EXPECT_EQ(first.Received().find("hello second"), std::string::npos);
}

TEST_F(AppConnection, RefusedConnectionIsReportedWithTheSocketText) {
    ASSERT_TRUE(Start());
    std::uint16_t port = 0;
    {
        ScriptedTelnetServer closed;
        port = closed.Port();
    }
    App().SubmitText("/connect 127.0.0.1 " + std::to_string(port) + "\r\n");
    ASSERT_TRUE(TickUntil([&] { return OutputHas("Failed to connect to server. "); })) << Output();
    EXPECT_TRUE(OutputHas("WinSock Error Code 10061: Connection refused by remote machine."));
    EXPECT_FALSE(App().IsConnected());
    EXPECT_FALSE(App().IsConnecting());
}

}  // namespace
