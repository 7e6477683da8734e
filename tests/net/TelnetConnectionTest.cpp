// Connecting, receiving lines and ending connections against the scripted server.
#include <gtest/gtest.h>
#include <sys/socket.h>

#include <algorithm>

#include "net/Socket.h"
#include "tests/net/EngineHarness.h"
#include "tests/net/TestResolver.h"

namespace {

std::size_t IndexOf(const std::vector<std::string>& events, const std::string& event) {
    for (std::size_t i = 0; i < events.size(); ++i) {
        if (events[i] == event) return i;
    }
    return events.size();
}

// An engine whose sockets look names up with the given resolver.
struct ResolvingEngine {
    explicit ResolvingEngine(TestResolver& resolver)
        : engine(host, [&resolver] { return SocketPtr(new CSocket(resolver.Function())); }) {}

    template <class Predicate>
    bool PollUntil(Predicate done) {
        for (int i = 0; i < 2000 && !done(); ++i) {
            engine.PollConnection();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return done();
    }

    RecordingTelnetHost host;
    CTelnetEngine engine;
};

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

TEST(Connection, ASlowServerGetsTheWholeCompressedStreamIntact) {
    EngineHarness h({.receiveBuffer = 64 * 1024});
    ASSERT_TRUE(h.Connect());
    h.server.Send(Bytes({255, 253, 86}));  // DO COMPRESS2
    ASSERT_TRUE(h.PumpUntil([&] { return h.engine.IsCompressOut(); }));
    h.server.SetReading(false);
    auto* socket = static_cast<CSocket*>(h.engine.GetConnection());
    const int sendBuffer = 64 * 1024;
    setsockopt(socket->GetDescriptor(), SOL_SOCKET, SO_SNDBUF, &sendBuffer, sizeof(sendBuffer));

    // Letters in no order deflate little, so the stream is long.
    std::string text;
    std::string line;
    std::uint32_t seed = 1;
    std::size_t mostUnsent = 0;
    for (int i = 0; text.size() < 2 * 1024 * 1024; ++i) {
        line.clear();
        for (int c = 0; c < 100; ++c) {
            seed = seed * 1103515245u + 12345u;
            line += static_cast<char>('a' + (seed >> 16) % 26);
        }
        line += "\r\n";
        h.engine.SendToServer(line.data(), line.size());
        text += line;
        mostUnsent = std::max(mostUnsent, socket->GetUnsentSize());
        if (i % 64 == 0) h.Tick();
    }
    EXPECT_GT(mostUnsent, 0u);

    h.server.SetReading(true);
    ASSERT_TRUE(h.PumpUntil([&] { return socket->GetUnsentSize() == 0; }, 5000));
    ASSERT_TRUE(h.server.WaitForReceived(line, 5000));
    const std::string received = h.server.Received();
    EXPECT_EQ(received.find("<inflate error>"), std::string::npos);
    ASSERT_GE(received.size(), text.size());
    EXPECT_TRUE(received.compare(received.size() - text.size(), text.size(), text) == 0);
    EXPECT_TRUE(h.engine.IsConnected());
}

TEST(Connection, AServerThatTakesNothingMoreIsDroppedWithAClearLine) {
    EngineHarness h({.receiveBuffer = 64 * 1024});
    ASSERT_TRUE(h.Connect());
    h.server.SetReading(false);
    const std::string piece(64 * 1024, 'x');
    for (int i = 0; i < 200 && h.engine.IsConnected(); ++i) {
        h.engine.SendToServer(piece.data(), piece.size());
        h.Tick();
    }
    EXPECT_FALSE(h.engine.IsConnected());
    EXPECT_TRUE(h.host.HasEvent(
        "error:send() Failed! More than 4194304 bytes wait for the server to take them. "
        "WinSock Error Code 10055: No buffer space availiable.\r\n"));
    EXPECT_EQ(h.host.events.back(), "disconnect:0");
    EXPECT_EQ(h.host.watched, -1);
}

TEST(Connection, ANameServerThatNeverAnswersHoldsNothingAndDisconnectGivesItUp) {
    TestResolver resolver({"127.0.0.1"});
    resolver.Hold();
    ResolvingEngine e(resolver);
    e.engine.CmdConnect("slow.example:4000");
    EXPECT_TRUE(e.engine.IsConnecting());
    ASSERT_TRUE(resolver.WaitForLookups(1));
    // Every poll returns at once, so the ticks go on while the name server is silent.
    for (int i = 0; i < 200; ++i) e.engine.PollConnection();
    EXPECT_TRUE(e.engine.IsConnecting());
    EXPECT_TRUE(e.host.events.empty());

    e.engine.CmdDisconnect("");
    EXPECT_FALSE(e.engine.IsConnecting());
    EXPECT_EQ(e.host.events, std::vector<std::string>{"error:Not connected\r\n"});
    // A late answer starts nothing.
    resolver.Release();
    ASSERT_TRUE(resolver.WaitForAnswers());
    for (int i = 0; i < 20; ++i) e.engine.PollConnection();
    EXPECT_FALSE(e.engine.IsConnecting());
    EXPECT_FALSE(e.engine.IsConnected());
    EXPECT_EQ(e.host.events.size(), 1u);
}

TEST(Connection, ANewConnectGivesUpAPendingLookUp) {
    ScriptedTelnetServer server;
    TestResolver resolver({"127.0.0.1"});
    resolver.Hold();
    ResolvingEngine e(resolver);
    e.engine.CmdConnect("slow.example:" + std::to_string(server.Port()));
    ASSERT_TRUE(resolver.WaitForLookups(1));
    e.engine.CmdConnect(server.Address());
    ASSERT_TRUE(e.PollUntil([&] { return e.engine.IsConnected(); }));
    resolver.Release();
    ASSERT_TRUE(resolver.WaitForAnswers());
    e.engine.ProcessIncoming();
    EXPECT_EQ(e.host.events, (std::vector<std::string>{"success:Connected!\r\n", "connected"}));
    EXPECT_GE(e.host.watched, 0);
}

TEST(Connection, AnUnknownNameIsReportedAsBeforeWhenTheLookUpEnds) {
    TestResolver resolver;  // knows no name
    ResolvingEngine e(resolver);
    e.engine.CmdConnect("nowhere.invalid:23");
    ASSERT_TRUE(e.PollUntil([&] { return !e.engine.IsConnecting(); }));
    EXPECT_EQ(e.host.events,
              (std::vector<std::string>{"error:Failed to connect to server. Could not look up IP "
                                        "address for host nowhere.invalid\r\n",
                                        "connectfailed"}));
    EXPECT_EQ(e.host.watched, -1);
}

TEST(Connection, PlaysOverIPv6WithThePortAfterAColonOrASpace) {
    for (const std::string separator : {":", " "}) {
        EngineHarness h({.ipv6 = true});
        if (!h.server.IsListening()) GTEST_SKIP() << "this machine has no IPv6 loopback (::1)";
        h.engine.CmdConnect("[::1]" + separator + std::to_string(h.server.Port()));
        ASSERT_TRUE(h.PumpUntil([&] { return h.engine.IsConnected(); })) << separator;
        ASSERT_TRUE(h.server.WaitForClient());
        h.server.Send("hello over six\r\n");
        ASSERT_TRUE(h.PumpUntilShown("hello over six\r\n"));
        h.engine.SendToServer("look\r\n", 6);
        EXPECT_TRUE(h.server.WaitForReceived("look\r\n"));
    }
}

TEST(Connection, ANameWithOnlyAnIPv6AddressConnects) {
    ScriptedTelnetServer server({.ipv6 = true});
    if (!server.IsListening()) GTEST_SKIP() << "this machine has no IPv6 loopback (::1)";
    TestResolver resolver({"::1"});
    ResolvingEngine e(resolver);
    e.engine.CmdConnect("six.example " + std::to_string(server.Port()));
    ASSERT_TRUE(e.PollUntil([&] { return e.engine.IsConnected(); }));
    EXPECT_EQ(resolver.Hosts(), std::vector<std::string>{"six.example"});
    EXPECT_GE(e.host.watched, 0);
    EXPECT_TRUE(server.WaitForClient());
}
