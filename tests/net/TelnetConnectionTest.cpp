// Connecting, receiving lines and ending connections against the scripted server.
#include <gtest/gtest.h>

#include "tests/net/EngineHarness.h"

namespace {

std::size_t IndexOf(const std::vector<std::string>& events, const std::string& event) {
    for (std::size_t i = 0; i < events.size(); ++i) {
        if (events[i] == event) return i;
    }
    return events.size();
}

}  // namespace

TEST(Connection, ConnectsAndReportsIt) {
    EngineHarness h;
    ASSERT_TRUE(h.Connect());
    EXPECT_EQ(h.host.events, (std::vector<std::string>{"success:Connected!\r\n", "connected"}));
    EXPECT_FALSE(h.engine.IsConnecting());
    EXPECT_GE(h.host.watched, 0);
}

TEST(Connection, RefusedAttemptReportsTheSocketText) {
    RecordingTelnetHost host;
    CTelnetEngine engine(host);
    std::uint16_t port;
    {
        ScriptedTelnetServer closed;  // its port is free again once it is gone
        port = closed.Port();
    }
    engine.CmdConnect("127.0.0.1:" + std::to_string(port));
    for (int i = 0; i < 2000 && engine.IsConnecting(); ++i) {
        engine.PollConnection();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_FALSE(engine.IsConnecting());
    EXPECT_FALSE(engine.IsConnected());
    const std::string text =
        "error:Failed to connect to server. connect() Failed! WinSock Error Code 10061: "
        "Connection refused by remote machine. Remote server is most likely offline.\r\n";
    ASSERT_FALSE(host.events.empty());
    EXPECT_EQ(host.events.front(), text);
    // A failure found while polling fires the event; one at once does not.
    if (host.events.size() > 1) {
        EXPECT_EQ(host.events[1], "connectfailed");
    }
    EXPECT_EQ(host.watched, -1);
}

TEST(Connection, LinesPassTheFilterAndEmptyResultsAreNotShown) {
    EngineHarness h;
    h.host.filter = [](std::string& line) {
        if (line == "secret\r\n") line.clear();
        if (line == "shout\r\n") line = "SHOUT\r\n";
    };
    ASSERT_TRUE(h.Connect());
    h.server.Send("one\r\nsecret\r\nshout\r\nprompt> ");
    ASSERT_TRUE(h.PumpUntilShown("SHOUT\r\n"));
    h.Settle();
    EXPECT_EQ(h.host.shown, "one\r\nSHOUT\r\n");
    h.server.Send("\n");
    ASSERT_TRUE(h.PumpUntilShown("prompt> \n"));
}

TEST(Connection, ServerCloseShowsItsLastLinesThenDisconnects) {
    EngineHarness h;
    ASSERT_TRUE(h.Connect());
    // Whole 256-byte chunks: the read that takes the text also sees the close.
    std::string text;
    for (int i = 0; i < 8; ++i) text += std::string(61, static_cast<char>('a' + i)) + "\r\n";
    ASSERT_EQ(text.size(), 504u);
    text += std::string(6, 'z') + "\r\n";  // 512 bytes
    h.server.Send(text + "unfinished");
    h.server.Close();
    ASSERT_TRUE(h.server.WaitIdle());
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_TRUE(h.PumpUntil([&] { return !h.engine.IsConnected(); }));
    EXPECT_EQ(h.host.shown, text);  // the partial last line goes with the connection
    const std::size_t disconnected = IndexOf(h.host.events, "error:Disconnected\r\n");
    ASSERT_LT(disconnected, h.host.events.size());
    EXPECT_EQ(h.host.events.back(), "disconnect:0");
    EXPECT_EQ(h.host.events[disconnected - 1], "show:zzzzzz\r\n");
    EXPECT_EQ(h.host.watched, -1);
    EXPECT_EQ(h.engine.GetBufferedBytes(), 0u);
}

TEST(Connection, DisconnectCommandClosesAndResets) {
    EngineHarness h;
    ASSERT_TRUE(h.Connect());
    h.server.Send(Bytes({255, 253, 31}) + "partial");
    ASSERT_TRUE(h.PumpUntil([&] { return h.engine.IsNawsAgreed(); }));
    h.engine.CmdDisconnect("");
    EXPECT_FALSE(h.engine.IsConnected());
    EXPECT_FALSE(h.engine.IsNawsAgreed());
    EXPECT_FALSE(h.engine.IsNegotiationStarted());
    EXPECT_EQ(h.engine.GetTelnetOption(31), 0);
    EXPECT_EQ(h.engine.GetBufferedBytes(), 0u);
    EXPECT_EQ(h.host.events.end()[-2], "error:Disconnected\r\n");
    EXPECT_EQ(h.host.events.back(), "disconnect:1");
    EXPECT_TRUE(h.server.WaitForClientClose());

    // Nothing of the old connection reaches the next one.
    ScriptedTelnetServer next;
    h.engine.CmdConnect(next.Address());
    ASSERT_TRUE(h.PumpUntil([&] { return h.engine.IsConnected(); }));
    next.Send("rest\r\n");
    ASSERT_TRUE(h.PumpUntilShown("rest\r\n"));
    EXPECT_EQ(h.host.shown, "rest\r\n");
}

TEST(Connection, ConnectWhileConnectedEndsTheOldConnectionFirst) {
    EngineHarness h;
    ASSERT_TRUE(h.Connect());
    ScriptedTelnetServer second;
    h.engine.CmdConnect(second.Address());
    EXPECT_TRUE(h.server.WaitForClientClose());
    EXPECT_TRUE(h.host.HasEvent("disconnect:1"));
    EXPECT_FALSE(h.host.HasEvent("error:Disconnected\r\n"));
    EXPECT_FALSE(h.engine.IsConnected());
    ASSERT_TRUE(h.PumpUntil([&] { return h.engine.IsConnected(); }));
    second.Send("second\r\n");
    ASSERT_TRUE(h.PumpUntilShown("second\r\n"));
}

TEST(Connection, FilterThatDisconnectsStopsTheRestOfThePass) {
    EngineHarness h;
    h.host.filter = [&](std::string& line) {
        if (line == "quit\r\n") h.engine.CmdDisconnect("");
    };
    ASSERT_TRUE(h.Connect());
    h.server.Send("before\r\nquit\r\nafter\r\n" + Bytes({255, 253, 31}));
    ASSERT_TRUE(h.PumpUntil([&] { return !h.engine.IsConnected(); }));
    h.Settle(20);
    EXPECT_EQ(h.host.shown, "before\r\n");
    EXPECT_FALSE(h.engine.IsNawsAgreed());
}

TEST(Connection, ReconnectFromTheDisconnectEventLeavesAWorkingConnection) {
    EngineHarness h;
    ScriptedTelnetServer second;
    bool once = false;
    h.host.onDisconnect = [&] {
        if (once) return;
        once = true;
        h.engine.CmdConnect(second.Address());
    };
    ASSERT_TRUE(h.Connect());
    h.server.Close();
    ASSERT_TRUE(h.PumpUntil([&] { return h.host.HasEvent("disconnect:0"); }));
    ASSERT_TRUE(h.PumpUntil([&] { return h.engine.IsConnected(); }));
    second.Send(Bytes({255, 253, 1}) + "again\r\n");
    ASSERT_TRUE(h.PumpUntilShown("again\r\n"));
    EXPECT_EQ(h.engine.GetTelnetOption(1), 253);
}

TEST(Connection, ShutdownReleasesTheConnectionQuietly) {
    EngineHarness h;
    ASSERT_TRUE(h.Connect());
    const std::size_t before = h.host.events.size();
    h.engine.Shutdown();
    EXPECT_EQ(h.engine.GetConnection(), nullptr);
    EXPECT_FALSE(h.engine.IsConnected());
    EXPECT_EQ(h.host.events.size(), before);
    EXPECT_TRUE(h.server.WaitForClientClose());
}

TEST(Connection, WithoutAFilterLinesGoStraightToTheOutput) {
    EngineHarness h;
    h.host.hasFilter = false;
    ASSERT_TRUE(h.Connect());
    h.server.SendSplit({"one\r\ntw", "o\r\n" + Bytes({255, 253, 1}) + "three\r\n"});
    ASSERT_TRUE(h.PumpUntilShown("three\r\n"));
    EXPECT_EQ(h.host.EventsStartingWith("show:"),
              (std::vector<std::string>{"show:one\r\n", "show:two\r\n", "show:three\r\n"}));
    EXPECT_TRUE(h.host.lines.empty());
}
