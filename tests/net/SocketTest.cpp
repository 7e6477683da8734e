#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <string>
#include <thread>

#include "net/Socket.h"
#include "net/WinSockErrors.h"
#include "tests/net/TestResolver.h"
#include "tests/support/LoopbackSockets.h"
#include "tests/support/ScriptedTelnetServer.h"

namespace {

bool WaitConnected(CSocket& socket) {
    for (int i = 0; i < 2000; ++i) {
        const std::uint32_t state = socket.CheckConnect();
        if (state != kSocketConnecting) return state == kSocketConnected;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

// Connects to the test server and waits until both ends see the connection.
bool ConnectToServer(CSocket& socket, ScriptedTelnetServer& server) {
    return socket.Connect("127.0.0.1", server.Port()) && WaitConnected(socket) &&
           server.WaitForClient();
}

// Receives until the status is no longer Ok or the buffer holds at least `bytes`.
std::uint32_t ReceiveUntil(CSocket& socket, std::size_t bytes) {
    std::uint32_t status = kReceiveOk;
    for (int i = 0; i < 2000 && status == kReceiveOk && socket.GetBufferSize() < bytes; ++i) {
        status = socket.Receive();
        if (status == kReceiveOk && socket.GetBufferSize() < bytes) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    return status;
}

}  // namespace

TEST(WinSockErrorText, ListedCodesReadTheirSentence) {
    EXPECT_EQ(GetWinSockErrorText(10061),
              "WinSock Error Code 10061: Connection refused by remote machine. Remote server is "
              "most likely offline.");
    EXPECT_EQ(GetWinSockErrorText(10049), "WinSock Error Code 10049: Address not availiable.");
    EXPECT_EQ(GetWinSockErrorText(6),
              "WinSock Error Code 6: Specified event object handle is invalid.");
    EXPECT_EQ(GetWinSockErrorText(11004),
              "WinSock Error Code 11004: Valid name, no data record of requested type.");
    EXPECT_NE(GetWinSockErrorText(10052).find("due to \"keep-alive\" activity"), std::string::npos);
}

TEST(WinSockErrorText, UnlistedCodesAreUnknown) {
    EXPECT_EQ(GetWinSockErrorText(12345), "WinSock Error Code 12345: Unknown error.");
    EXPECT_EQ(GetWinSockErrorText(-1), "WinSock Error Code -1: Unknown error.");
    EXPECT_EQ(GetWinSockErrorText(0), "WinSock Error Code 0: Unknown error.");
}

TEST(WinSockErrorText, ErrnoValuesMapToTheirWinSockCodes) {
    EXPECT_EQ(WinSockCodeFromErrno(ECONNREFUSED), 10061);
    EXPECT_EQ(WinSockCodeFromErrno(EWOULDBLOCK), 10035);
    EXPECT_EQ(WinSockCodeFromErrno(EAGAIN), 10035);
    EXPECT_EQ(WinSockCodeFromErrno(EINPROGRESS), 10036);
    EXPECT_EQ(WinSockCodeFromErrno(ETIMEDOUT), 10060);
    EXPECT_EQ(WinSockCodeFromErrno(ECONNRESET), 10054);
    EXPECT_EQ(WinSockCodeFromErrno(EHOSTUNREACH), 10065);
    EXPECT_EQ(WinSockCodeFromErrno(ENETUNREACH), 10051);
    EXPECT_EQ(WinSockCodeFromErrno(EADDRINUSE), 10048);
    EXPECT_EQ(WinSockCodeFromErrno(EPIPE), 10058);
    // Values without a counterpart must not borrow an unrelated sentence (errno 6 is not an
    // "event object handle").
    EXPECT_EQ(WinSockCodeFromErrno(ENXIO), 10107);
}

TEST(SocketReceive, NotConnectedReportsClosedAndKeepsNothing) {
    CSocket socket;
    EXPECT_EQ(socket.Receive(), kReceiveClosed);
    EXPECT_EQ(socket.GetBufferSize(), 0u);
    EXPECT_FALSE(socket.HasData());
    EXPECT_STREQ(socket.GetBuffer(), "");
    EXPECT_STREQ(socket.GetLine(), "");
    EXPECT_FALSE(socket.Send("x", 1));
}

TEST(SocketReceive, ExactlyOneChunkIsReadAndTheNextReadFindsNothing) {
    ScriptedTelnetServer server;
    CSocket socket;
    ASSERT_TRUE(ConnectToServer(socket, server));
    server.Send(std::string(CSocket::kReadChunk, 'x'));
    ASSERT_TRUE(server.WaitIdle());
    EXPECT_EQ(ReceiveUntil(socket, CSocket::kReadChunk), kReceiveOk);
    EXPECT_EQ(socket.GetBufferSize(), CSocket::kReadChunk);
    EXPECT_TRUE(socket.IsConnected());
}

TEST(SocketReceive, WholeChunksThenCloseAreReportedInOneCall) {
    ScriptedTelnetServer server;
    CSocket socket;
    ASSERT_TRUE(ConnectToServer(socket, server));
    const std::string chunks(CSocket::kReadChunk, 'y');
    server.Send(chunks);
    server.Close();
    ASSERT_TRUE(server.WaitIdle());
    std::this_thread::sleep_for(std::chrono::milliseconds(50));  // let the FIN arrive too
    EXPECT_EQ(socket.Receive(), kReceiveClosed);
    EXPECT_EQ(socket.GetBufferSize(), chunks.size());
    EXPECT_FALSE(socket.IsConnected());
    // Closed sticks, and the bytes stay readable.
    EXPECT_EQ(socket.Receive(), kReceiveClosed);
    EXPECT_EQ(std::string(socket.GetBuffer(), socket.GetBufferSize()), chunks);
}

TEST(SocketReceive, PartialChunkThenCloseReportsTheCloseNextTime) {
    ScriptedTelnetServer server;
    CSocket socket;
    ASSERT_TRUE(ConnectToServer(socket, server));
    server.Send("bye\r\n");
    server.Close();
    ASSERT_TRUE(server.WaitIdle());
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(socket.Receive(), kReceiveOk);
    EXPECT_EQ(socket.GetBufferSize(), 5u);
    EXPECT_EQ(socket.Receive(), kReceiveClosed);
    EXPECT_STREQ(socket.GetLine(), "bye\r\n");
    socket.ClearError();
    EXPECT_EQ(socket.Receive(), kReceiveClosed);  // not connected any more
}

TEST(SocketReceive, ResetIsAnErrorThatSticksUntilCleared) {
    LoopbackListener listener;
    CSocket socket;
    ASSERT_TRUE(socket.Connect("127.0.0.1", listener.port));
    ASSERT_TRUE(WaitConnected(socket));
    const int peer = accept(listener.fd, nullptr, nullptr);
    ASSERT_GE(peer, 0);
    linger abortive{1, 0};
    setsockopt(peer, SOL_SOCKET, SO_LINGER, &abortive, sizeof(abortive));
    close(peer);  // sends a reset
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(ReceiveUntil(socket, 1), kReceiveError);
    EXPECT_STREQ(socket.GetLastErrorText(),
                 "recv() Failed! WinSock Error Code 10054: Connection reset by peer. Remote "
                 "server forcibly closed connection. Likely cause is computer reboot, or software "
                 "crash on the server.");
    EXPECT_EQ(socket.Receive(), kReceiveError);
    EXPECT_EQ(socket.Receive(), kReceiveError);
    socket.ClearError();
    EXPECT_STREQ(socket.GetLastErrorText(), "");
    EXPECT_EQ(socket.Receive(), kReceiveClosed);
}

TEST(SocketReceive, OneCallStopsAtItsBoundAndLaterCallsGetTheRest) {
    ScriptedTelnetServer server;
    CSocket socket;
    ASSERT_TRUE(ConnectToServer(socket, server));
    const std::size_t total = 3 * CSocket::kMaxReceivePerCall;
    server.Send(std::string(total, 'z'));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    std::size_t received = 0;
    for (int i = 0; i < 5000 && received < total; ++i) {
        ASSERT_EQ(socket.Receive(), kReceiveOk);
        EXPECT_LE(socket.GetBufferSize(), CSocket::kMaxReceivePerCall);
        received += socket.GetBufferSize();
        socket.ClearBuffer();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_EQ(received, total);
}

TEST(SocketReceive, ReceiveIntoAppendsAfterTheBytesHeldAndKeepsTheLimitTheBoundAndTheClose) {
    ScriptedTelnetServer server;
    CSocket socket;
    ASSERT_TRUE(ConnectToServer(socket, server));
    server.Send("held ");
    ASSERT_TRUE(server.WaitIdle());
    ASSERT_EQ(ReceiveUntil(socket, 5), kReceiveOk);
    // Bytes already in the socket's own buffer go first, after what the target holds.
    const std::size_t total = 2 * CSocket::kMaxReceivePerCall + 7;
    std::string sent(total, 'q');
    sent.back() = '!';
    server.Send(sent);
    server.Close();
    ASSERT_TRUE(server.WaitIdle());
    CByteBuffer into;
    into.Append("old ", 4);
    // The held bytes count against the room the caller gives; the rest waits with the system.
    ASSERT_EQ(socket.ReceiveInto(into, 9), kReceiveOk);
    EXPECT_EQ(std::string(into.Data(), into.Size()), "old held qqqq");
    // A room past one read piece, and then none: the call reads up to it, never past.
    const std::size_t room = CSocket::kReadChunk + 1000;
    ASSERT_EQ(socket.ReceiveInto(into, room), kReceiveOk);
    EXPECT_EQ(into.Size(), 13 + room);
    ASSERT_EQ(socket.ReceiveInto(into, 0), kReceiveOk);
    EXPECT_EQ(into.Size(), 13 + room);
    std::uint32_t status = kReceiveOk;
    for (int i = 0; i < 5000 && status == kReceiveOk; ++i) {
        const std::size_t before = into.Size();
        status = socket.ReceiveInto(into, CByteBuffer::npos);
        EXPECT_LE(into.Size() - before, CSocket::kMaxReceivePerCall);
        if (status == kReceiveOk) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_EQ(status, kReceiveClosed);
    EXPECT_FALSE(socket.HasData());
    EXPECT_EQ(std::string(into.Data(), into.Size()), "old held " + sent);
}

TEST(SocketConnect, NumericAddressesNeverAskTheResolver) {
    ScriptedTelnetServer server;
    TestResolver resolver;  // knows no name
    CSocket socket(resolver.Function());
    EXPECT_TRUE(socket.Connect("127.0.0.1", server.Port()));
    EXPECT_FALSE(socket.IsLookingUp());
    EXPECT_TRUE(resolver.Hosts().empty());

    // An unknown name fails later, with the same text, and the socket is usable again.
    EXPECT_TRUE(socket.Connect("some.name.invalid", server.Port()));
    EXPECT_FALSE(WaitConnected(socket));
    EXPECT_EQ(socket.CheckConnect(), kSocketFailed);
    EXPECT_EQ(resolver.Hosts(), std::vector<std::string>{"some.name.invalid"});
    EXPECT_STREQ(socket.GetLastErrorText(),
                 "Could not look up IP address for host some.name.invalid");
    socket.ClearError();
    EXPECT_EQ(socket.CheckConnect(), kSocketIdle);
}

TEST(SocketConnect, ANameIsLookedUpWithoutWaitingAndThenConnected) {
    ScriptedTelnetServer server;
    TestResolver resolver({"127.0.0.1"});
    resolver.Hold();  // a name server that takes its time
    CSocket socket(resolver.Function());
    ASSERT_TRUE(socket.Connect("mud.example", server.Port()));
    ASSERT_TRUE(resolver.WaitForLookups(1));
    for (int i = 0; i < 20; ++i) EXPECT_EQ(socket.CheckConnect(), kSocketConnecting);
    EXPECT_TRUE(socket.IsLookingUp());
    EXPECT_EQ(socket.GetDescriptor(), -1);
    EXPECT_FALSE(socket.Send("x", 1));

    resolver.Release();
    EXPECT_TRUE(WaitConnected(socket));
    EXPECT_FALSE(socket.IsLookingUp());
    EXPECT_TRUE(server.WaitForClient());
    EXPECT_TRUE(socket.Send("hello", 5));
    EXPECT_TRUE(server.WaitForReceived("hello"));
}

TEST(SocketConnect, SmallWritesAreNotHeldBack) {
    ScriptedTelnetServer server;
    CSocket socket;
    ASSERT_TRUE(ConnectToServer(socket, server));
    int noDelay = 0;
    socklen_t length = sizeof(noDelay);
    ASSERT_EQ(getsockopt(socket.GetDescriptor(), IPPROTO_TCP, TCP_NODELAY, &noDelay, &length), 0);
    EXPECT_NE(noDelay, 0);
}

TEST(SocketConnect, RefusedPortReportsConnectFailure) {
    std::uint16_t port;
    {
        LoopbackListener unused;  // a port that was just free; nothing listens once it closes
        port = unused.port;
    }
    CSocket socket;
    const std::string expected =
        "connect() Failed! WinSock Error Code 10061: Connection refused by remote machine. "
        "Remote server is most likely offline.";
    if (socket.Connect("127.0.0.1", port)) {
        EXPECT_FALSE(WaitConnected(socket));
        EXPECT_EQ(socket.CheckConnect(), kSocketFailed);
        EXPECT_EQ(socket.GetLastErrorText(), expected);
        socket.ClearError();
        EXPECT_EQ(socket.CheckConnect(), kSocketIdle);
    } else {
        EXPECT_EQ(socket.GetLastErrorText(), expected);
    }
    // The object is usable again.
    ScriptedTelnetServer server;
    EXPECT_TRUE(socket.Connect("127.0.0.1", server.Port()));
    EXPECT_TRUE(WaitConnected(socket));
}

TEST(SocketLines, GetLineTakesOneLineFromTheFront) {
    ScriptedTelnetServer server;
    CSocket socket;
    ASSERT_TRUE(ConnectToServer(socket, server));
    server.Send("a\r\nb");
    ASSERT_EQ(ReceiveUntil(socket, 4), kReceiveOk);
    EXPECT_STREQ(socket.GetLine(), "a\r\n");
    EXPECT_STREQ(socket.GetLine(), "");
    EXPECT_EQ(std::string(socket.GetBuffer(), socket.GetBufferSize()), "b");
    server.Send("c\n");
    ASSERT_EQ(ReceiveUntil(socket, 3), kReceiveOk);
    EXPECT_STREQ(socket.GetLine(), "bc\n");
    EXPECT_FALSE(socket.HasData());
    // Emptied buffers are empty strings, not the old bytes still in the storage.
    EXPECT_EQ(socket.GetBuffer()[0], '\0');
    server.Send("d");
    ASSERT_EQ(ReceiveUntil(socket, 1), kReceiveOk);
    socket.ClearBuffer();
    EXPECT_EQ(socket.GetBufferSize(), 0u);
    EXPECT_EQ(socket.GetBuffer()[0], '\0');
}

TEST(SocketSend, PastItsBoundTheConnectionEndsWithAClearError) {
    LoopbackListener listener;  // never accepts, so nothing is ever read
    CSocket socket;
    ASSERT_TRUE(socket.Connect("127.0.0.1", listener.port));
    ASSERT_TRUE(WaitConnected(socket));
    const std::string piece(64 * 1024, 'f');
    std::size_t accepted = 0;
    bool refused = false;
    for (int i = 0; i < 1000 && !refused; ++i) {
        refused = !socket.Send(piece.data(), piece.size());
        if (!refused) accepted += piece.size();
    }
    ASSERT_TRUE(refused);
    EXPECT_GE(accepted, CSocket::kMaxUnsent);
    EXPECT_EQ(socket.GetUnsentSize(), 0u);
    EXPECT_FALSE(socket.IsConnected());
    EXPECT_FALSE(socket.Send("x", 1));
    const char* expected =
        "send() Failed! More than 4194304 bytes wait for the server to take them. WinSock Error "
        "Code 10055: No buffer space availiable.";
    EXPECT_EQ(socket.Receive(), kReceiveError);
    EXPECT_STREQ(socket.GetLastErrorText(), expected);
    EXPECT_EQ(socket.Receive(), kReceiveError);
    socket.Close();
    EXPECT_EQ(socket.GetDescriptor(), -1);
}

TEST(SocketSend, SendingToAClosedPeerDoesNotRaiseSigpipe) {
    LoopbackListener listener;
    CSocket socket;
    ASSERT_TRUE(socket.Connect("127.0.0.1", listener.port));
    ASSERT_TRUE(WaitConnected(socket));
    const int peer = accept(listener.fd, nullptr, nullptr);
    ASSERT_GE(peer, 0);
    close(peer);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    bool failed = false;
    for (int i = 0; i < 50 && !failed; ++i) failed = !socket.Send("x", 1);
    EXPECT_TRUE(failed);  // reaching this line means no SIGPIPE took the process down
}

TEST(SocketConnect, EachAddressOfANameIsTriedInTurnAndTheLastFailureIsTold) {
    ScriptedTelnetServer server;  // IPv4 only: the first address is refused or unreachable
    TestResolver resolver({"::1", "127.0.0.1"});
    CSocket socket(resolver.Function());
    ASSERT_TRUE(socket.Connect("dual.example", server.Port()));
    EXPECT_TRUE(WaitConnected(socket)) << socket.GetLastErrorText();
    EXPECT_TRUE(server.WaitForClient());

    std::uint16_t port;
    {
        LoopbackListener unused;
        port = unused.port;
    }
    ASSERT_TRUE(socket.Connect("dual.example", port));
    EXPECT_FALSE(WaitConnected(socket));
    EXPECT_STREQ(socket.GetLastErrorText(),
                 "connect() Failed! WinSock Error Code 10061: Connection refused by remote "
                 "machine. Remote server is most likely offline.");
}

TEST(SocketIpv6, ConnectsToAnAddressOrANameOnIPv6) {
    ScriptedTelnetServer server({.ipv6 = true});
    if (!server.IsListening()) GTEST_SKIP() << "this machine has no IPv6 loopback (::1)";
    TestResolver resolver;
    CSocket socket(resolver.Function());
    ASSERT_TRUE(socket.Connect("::1", server.Port()));
    EXPECT_FALSE(socket.IsLookingUp());
    ASSERT_TRUE(WaitConnected(socket));
    ASSERT_TRUE(server.WaitForClient());
    EXPECT_TRUE(resolver.Hosts().empty());
    server.Send("six\r\n");
    ASSERT_EQ(ReceiveUntil(socket, 5), kReceiveOk);
    EXPECT_STREQ(socket.GetLine(), "six\r\n");
    EXPECT_TRUE(socket.Send("back", 4));
    EXPECT_TRUE(server.WaitForReceived("back"));

    // The system's resolver gives IPv6 addresses too, and a name that has only one connects.
    AddressList addresses;
    ASSERT_TRUE(ResolveHostName("::1", addresses));
    EXPECT_EQ(addresses.front().Family(), AF_INET6);
    ScriptedTelnetServer named({.ipv6 = true});
    TestResolver sixOnly({"127.0.0.1", "::1"});
    CSocket byName(sixOnly.Function());
    ASSERT_TRUE(byName.Connect("six.example", named.Port()));
    EXPECT_TRUE(WaitConnected(byName)) << byName.GetLastErrorText();
    EXPECT_TRUE(named.WaitForClient());
}
