// /connect argument handling, /disconnect and /telnet without a real connection.
#include <gtest/gtest.h>

#include "net/TelnetEngine.h"
#include "tests/net/FakeSocket.h"
#include "tests/support/RecordingTelnetHost.h"

namespace {

struct CommandHarness {
    FakeSocket::Record record;
    bool connectSucceeds = true;
    RecordingTelnetHost host;
    CTelnetEngine engine{host, [this] {
                             auto* socket = new FakeSocket(record);
                             socket->connectSucceeds = connectSucceeds;
                             return SocketPtr(socket);
                         }};

    std::string LastConnect() const {
        return record.connects.empty() ? std::string() : record.connects.back();
    }
};

const std::string kInvalidPortPrefix = "block:[error]Invalid port: [quoted]";

}  // namespace

namespace {

// Each argument and the host:port it connects to.
void ExpectConnects(CommandHarness& h,
                    std::initializer_list<std::pair<const char*, const char*>> cases) {
    for (const auto& [argument, connect] : cases) {
        h.engine.CmdConnect(argument);
        EXPECT_EQ(h.LastConnect(), connect) << argument;
    }
}

}  // namespace

TEST(ConnectArguments, PortIsReadLikeAStreamReadsANumber) {
    CommandHarness h;
    ExpectConnects(h, {{"example:4000x", "example:4000"},
                       {"example: 23", "example:23"},
                       {"example:+80", "example:80"},
                       {"example:65535", "example:65535"}});
    EXPECT_TRUE(h.host.events.empty());
}

TEST(ConnectArguments, SpaceSeparatesHostAndPort) {
    CommandHarness h;
    // The colon wins over a space before it; the host keeps what precedes the colon.
    ExpectConnects(
        h,
        {{"host 4000", "host:4000"}, {"host   4000", "host:4000"}, {"host 1:4001", "host 1:4001"}});
}

TEST(ConnectArguments, BracketsHoldAnIPv6Address) {
    CommandHarness h;
    ExpectConnects(h, {{"[::1]:4000", "::1:4000"},
                       {"[::1]   4001", "::1:4001"},
                       {"[::1]", "::1:23"},
                       {"[2001:db8::7]:4000x", "2001:db8::7:4000"}});
    EXPECT_TRUE(h.host.events.empty());
    h.engine.CmdConnect("[::1]:");
    h.engine.CmdConnect("[::1] 99999");
    EXPECT_EQ(h.host.events, (std::vector<std::string>{kInvalidPortPrefix + "\r\n",
                                                       kInvalidPortPrefix + "99999\r\n"}));
    EXPECT_EQ(h.record.connects.size(), 4u);
}

TEST(ConnectArguments, InvalidPortsPrintThePortTextAndTryNothing) {
    CommandHarness h;
    h.engine.CmdConnect("example:99999");
    h.engine.CmdConnect("example:");
    h.engine.CmdConnect("example:abc");
    h.engine.CmdConnect("example:-1");
    h.engine.CmdConnect("host    ");
    EXPECT_TRUE(h.record.connects.empty());
    EXPECT_EQ(h.engine.GetConnection(), nullptr);
    EXPECT_FALSE(h.engine.IsConnecting());
    const std::vector<std::string> expected = {
        kInvalidPortPrefix + "99999\r\n", kInvalidPortPrefix + "\r\n",
        kInvalidPortPrefix + "abc\r\n", kInvalidPortPrefix + "-1\r\n", kInvalidPortPrefix + "\r\n"};
    EXPECT_EQ(h.host.events, expected);
}

TEST(ConnectArguments, DefaultsFillWhatIsMissing) {
    CommandHarness h;
    h.engine.CmdConnect("");
    EXPECT_EQ(h.LastConnect(), ":23");
    h.engine.SetDefaultServer("mud.example");
    h.engine.SetDefaultPort(5000);
    h.engine.CmdConnect("");
    EXPECT_EQ(h.LastConnect(), "mud.example:5000");
    h.engine.CmdConnect(":4000");
    EXPECT_EQ(h.LastConnect(), "mud.example:4000");
    h.engine.CmdConnect("other");
    EXPECT_EQ(h.LastConnect(), "other:5000");
}

TEST(ConnectArguments, InvalidPortLeavesAnAttemptUnderWayAlone) {
    CommandHarness h;
    h.engine.CmdConnect("first:1");
    ASSERT_TRUE(h.engine.IsConnecting());
    CBaseSocket* attempt = h.engine.GetConnection();
    h.engine.CmdConnect("second:99999");
    EXPECT_TRUE(h.engine.IsConnecting());
    EXPECT_EQ(h.engine.GetConnection(), attempt);
    EXPECT_EQ(h.record.released, 0);
}

TEST(ConnectCommand, ImmediateFailureReportsAndKeepsNoConnection) {
    CommandHarness h;
    h.connectSucceeds = false;
    h.engine.CmdConnect("example:4000");
    EXPECT_EQ(h.host.events, std::vector<std::string>{
                                 "error:Failed to connect to server. no route in this test\r\n"});
    EXPECT_EQ(h.engine.GetConnection(), nullptr);
    EXPECT_EQ(h.record.released, 1);
    EXPECT_FALSE(h.engine.IsConnecting());
}

TEST(ConnectCommand, NewConnectAbandonsAPendingAttempt) {
    CommandHarness h;
    h.engine.CmdConnect("first:1");
    h.engine.CmdConnect("second:2");
    EXPECT_EQ(h.record.released, 1);  // the first attempt's socket is gone, not leaked
    EXPECT_TRUE(h.engine.IsConnecting());
    EXPECT_EQ(h.LastConnect(), "second:2");
    EXPECT_TRUE(h.host.EventsStartingWith("disconnect").empty());
}

TEST(DisconnectCommand, NotConnectedLeavesAnAttemptGoingOn) {
    CommandHarness h;
    h.engine.CmdDisconnect("");
    EXPECT_EQ(h.host.events, std::vector<std::string>{"error:Not connected\r\n"});
    h.engine.CmdConnect("example:4000");
    h.engine.PollConnection();
    h.engine.CmdDisconnect("now");
    EXPECT_TRUE(h.engine.IsConnecting());
    EXPECT_EQ(h.host.events.back(), "error:Not connected\r\n");
}

TEST(TelnetReport, NotConnected) {
    CommandHarness h;
    h.engine.ShowTelnetReport();
    EXPECT_EQ(h.host.events, std::vector<std::string>{"error:Not connected.\r\n"});
}

TEST(TelnetOptionNames, TableAndUnknownCodes) {
    EXPECT_STREQ(CTelnetEngine::GetTelnetOptionName(0), "Transmit-Binary");
    EXPECT_STREQ(CTelnetEngine::GetTelnetOptionName(31), "NAWS");
    EXPECT_STREQ(CTelnetEngine::GetTelnetOptionName(49), "FORWARD_X");
    EXPECT_STREQ(CTelnetEngine::GetTelnetOptionName(50), "<Unknown>");
    EXPECT_STREQ(CTelnetEngine::GetTelnetOptionName(86), "Compress2");
    EXPECT_STREQ(CTelnetEngine::GetTelnetOptionName(140), "TELOPT PRAGMA HEARTBEAT");
    EXPECT_STREQ(CTelnetEngine::GetTelnetOptionName(201), "GMCP");
    EXPECT_STREQ(CTelnetEngine::GetTelnetOptionName(254), "<Unknown>");
    EXPECT_STREQ(CTelnetEngine::GetTelnetOptionName(255), "Extended-Options-List");
}
