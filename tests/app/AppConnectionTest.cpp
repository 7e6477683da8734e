#include <functional>

#include "net/TelnetEngine.h"
#include "tests/app/AppFixture.h"
#include "tests/support/RecordingPaneControl.h"
#include "tests/support/ScriptedTelnetServer.h"

namespace {

class AppConnection : public AppFixture {
  protected:
    bool OutputHas(const std::string& text) { return Output().find(text) != std::string::npos; }

    // Runs the action and returns the formats of what it showed, followed by a probe line that
    // shows whether its formats ended with it. Expects exactly what the given pane bytes show
    // when appended to the same pane from the same state.
    std::string ShownAs(const std::function<void()>& action, const std::string& bytes) {
        const std::string reset = "\xBE";
        const std::string probe = "probe\r\n";
        CRichPane& pane = App().OutputPane();
        auto& control = *static_cast<RecordingPaneControl*>(pane.Control());
        auto length = [&] { return static_cast<std::size_t>(control.GetTextLength()); };
        pane.Append(reset);
        const std::size_t start = length();
        action();
        pane.Append(probe);
        const std::size_t middle = length();
        pane.Append(reset);
        pane.Append(bytes + probe);
        const std::string shown = control.Runs(start, middle);
        EXPECT_EQ(shown, control.Runs(middle, length()));
        return shown;
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

TEST_F(AppConnection, ConnectionMessagesShowTheirColoursAndCodes) {
    ASSERT_TRUE(Start());
    const std::string red =
        "\xC4"
        "ff0000";
    const std::string green =
        "\xC4"
        "00ff00";
    const std::string yellow =
        "\xC4"
        "ffff00";
    const std::string reset = "\xBE";

    // The port text is repeated as typed, and a format code in it ends with it.
    const std::string invalid = ShownAs([&] { App().SubmitText("/connect 127.0.0.1:\xE0x\r\n"); },
                                        red + "Invalid port: " + reset + "\xE0x\r\n" + reset);
    EXPECT_EQ(invalid, "[c=ff0000]Invalid port: [b]x\\r\\n[]probe\\r\\n");

    ScriptedTelnetServer server;
    EXPECT_EQ(ShownAs([&] { ASSERT_TRUE(Connect(server)); }, green + "Connected!\r\n" + reset),
              "[c=00ff00]Connected!\\r\\n[]probe\\r\\n");

    server.Send(std::string("\xFF\xFB\x01\xFF\xFE\x18\xFF\xFD\x1F", 9));  // WILL 1, DONT 24, DO 31
    ASSERT_TRUE(TickUntil(
        [&] { return App().Telnet().IsNawsAgreed() && App().Telnet().GetTelnetOption(24) != 0; }));
    ShownAs([&] { App().SubmitText("/telnet\r\n"); },
            "Negotiated options:\r\n" + yellow + "   WILL Echo (1)\r\n" + reset + red +
                "   DON'T Terminal-Type (24)\r\n" + reset + green + "   DO NAWS (31)\r\n" + reset +
                green + "Server is aware of current window size.\r\n" + reset);

    ShownAs([&] { App().SubmitText("/disconnect\r\n"); }, red + "Disconnected\r\n" + reset);
    ShownAs([&] { App().SubmitText("/disconnect\r\n"); }, red + "Not connected\r\n" + reset);
    ShownAs([&] { App().SubmitText("/telnet\r\n"); }, red + "Not connected.\r\n" + reset);
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

TEST_F(AppConnection, PromptEndedByGoAheadShowsAtOnceAndLeavesNoFormatBehind) {
    ASSERT_TRUE(Start());
    ScriptedTelnetServer server;
    ASSERT_TRUE(Connect(server));
    server.Send("Greetings\r\nEnter name: \xFF\xF9");
    ASSERT_TRUE(TickUntil([&] { return OutputHas("Enter name: "); })) << Output();
    // The name typed goes out with its 255 doubled; the telnet bytes left no format behind.
    App().SubmitText("\xFFGandalf\r\n");
    EXPECT_TRUE(server.WaitForReceived("\xFF\xFFGandalf\r\n"));
    server.Send("\r\nHello\xFF\xEF\r\n");
    ASSERT_TRUE(TickUntil([&] { return OutputHas("Enter name: \nHello\n"); })) << Output();
    EXPECT_EQ(FormatOf("Hello"), FormatOf("Greetings"));
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
