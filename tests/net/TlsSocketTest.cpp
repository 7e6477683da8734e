// The TLS socket and "tls://" connects against an openssl s_server the test starts, with a CA
// and server certificate the test makes.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "net/TelnetEngine.h"
#include "net/TlsSocket.h"
#include "tests/net/TestResolver.h"
#include "tests/support/RecordingTelnetHost.h"
#include "tests/support/TlsTestServer.h"

namespace {

using namespace std::chrono_literals;

// s_server reversing each line it is sent.
struct TlsServer : TlsTestServer {
    TlsServer() : TlsTestServer({"-rev"}) {}
};

std::uint32_t PollConnect(CBaseSocket& socket) {
    std::uint32_t state = socket.CheckConnect();
    for (int i = 0; i < 2000 && state == kSocketConnecting; ++i) {
        std::this_thread::sleep_for(2ms);
        state = socket.CheckConnect();
    }
    return state;
}

#define REQUIRE_SERVER(server) \
    if (!(server).Ready()) GTEST_SKIP() << "openssl could not start a TLS server"

}  // namespace

TEST(TlsSocket, VerifiedConnectionExchangesTextAndTellsItsProtocol) {
    TlsServer server;
    REQUIRE_SERVER(server);
    for (const char* host : {"127.0.0.1", "localhost"}) {
        SCOPED_TRACE(host);
        CTlsSocket socket(server.CaFile());
        ASSERT_TRUE(socket.Connect(host, server.Port()));
        ASSERT_EQ(PollConnect(socket), kSocketConnected) << socket.GetLastErrorText();
        EXPECT_EQ(socket.GetFingerprint(), server.Fingerprint());
        EXPECT_EQ(std::string(socket.GetEncryption()).rfind("TLSv1.", 0), 0u);

        ASSERT_TRUE(socket.Send("hello tls\n", 10));
        std::string received;
        for (int i = 0; i < 2000 && received.find('\n') == std::string::npos; ++i) {
            ASSERT_EQ(socket.Receive(), kReceiveOk) << socket.GetLastErrorText();
            received.append(socket.GetBuffer(), socket.GetBufferSize());
            socket.ClearBuffer();
            std::this_thread::sleep_for(1ms);
        }
        EXPECT_EQ(received, "slt olleh\n");
        socket.Close();
        EXPECT_STREQ(socket.GetEncryption(), "");
    }
}

// Most game servers simply close the connection, without a close notice: that is a hang-up,
// not an error.
TEST(TlsSocket, ServerClosingWithoutNoticeIsAPlainHangUp) {
    TlsServer server;
    REQUIRE_SERVER(server);
    CTlsSocket socket(server.CaFile());
    ASSERT_TRUE(socket.Connect("127.0.0.1", server.Port()));
    ASSERT_EQ(PollConnect(socket), kSocketConnected) << socket.GetLastErrorText();
    // One exchange first, so the server has read everything: unread bytes would make its
    // kernel answer the close with a reset, which is a real error.
    ASSERT_TRUE(socket.Send("ab\n", 3));
    for (int i = 0; i < 2000 && socket.GetBufferSize() < 3; ++i) {
        ASSERT_EQ(socket.Receive(), kReceiveOk) << socket.GetLastErrorText();
        std::this_thread::sleep_for(1ms);
    }
    ASSERT_EQ(std::string(socket.GetBuffer(), socket.GetBufferSize()), "ba\n");
    server.Kill();
    std::uint32_t status = kReceiveOk;
    for (int i = 0; i < 2000 && status == kReceiveOk; ++i) {
        status = socket.Receive();
        std::this_thread::sleep_for(1ms);
    }
    EXPECT_EQ(status, kReceiveClosed) << socket.GetLastErrorText();
    EXPECT_FALSE(socket.IsConnected());
}

TEST(TlsSocket, CertificatesThatDoNotVerifyAreRefusedWithReasonAndFingerprint) {
    TlsServer server;
    REQUIRE_SERVER(server);
    const std::string fingerprint = " SHA-256 fingerprint " + server.Fingerprint();
    {
        // A trusted certificate, but for another name than the one asked for.
        TestResolver resolver({"127.0.0.1"});
        CTlsSocket socket(server.CaFile(), resolver.Function());
        ASSERT_TRUE(socket.Connect("other.test", server.Port()));
        ASSERT_EQ(PollConnect(socket), kSocketFailed);
        EXPECT_EQ(
            std::string(socket.GetLastErrorText()),
            "The server's certificate does not match the host name other.test." + fingerprint);
        EXPECT_FALSE(socket.IsConnected());
        EXPECT_FALSE(socket.Send("x", 1));
    }
    {
        // The system's trust does not know the test's CA.
        CTlsSocket socket;
        ASSERT_TRUE(socket.Connect("127.0.0.1", server.Port()));
        ASSERT_EQ(PollConnect(socket), kSocketFailed);
        const std::string text = socket.GetLastErrorText();
        EXPECT_EQ(text.rfind("The server's certificate is not trusted (", 0), 0u) << text;
        EXPECT_TRUE(text.ends_with(")." + fingerprint)) << text;
        socket.ClearError();
        EXPECT_EQ(socket.CheckConnect(), kSocketIdle);
    }
}

TEST(TlsSocket, StalledHandshakeStaysConnectingWithoutWaiting) {
    LoopbackListener silent;  // never accepts: no TLS byte comes back
    CTlsSocket socket;
    ASSERT_TRUE(socket.Connect("127.0.0.1", silent.port));
    const auto start = std::chrono::steady_clock::now();
    auto longest = std::chrono::steady_clock::duration::zero();
    while (std::chrono::steady_clock::now() - start < 300ms) {
        const auto before = std::chrono::steady_clock::now();
        ASSERT_EQ(socket.CheckConnect(), kSocketConnecting);
        longest = std::max(longest, std::chrono::steady_clock::now() - before);
        std::this_thread::sleep_for(5ms);
    }
    EXPECT_LT(longest, 50ms);
    EXPECT_GE(socket.GetDescriptor(), 0);
    socket.Close();
    EXPECT_EQ(socket.CheckConnect(), kSocketIdle);
}

TEST(TlsSocket, ConnectCommandChoosesTlsAndTheReportSaysSo) {
    TlsServer server;
    REQUIRE_SERVER(server);
    RecordingTelnetHost host;
    CTelnetEngine engine(host);
    std::vector<std::string> made;
    engine.SetTlsSocketFactory([&] {
        made.push_back("tls");
        return SocketPtr(new CTlsSocket(server.CaFile()));
    });
    // Without a port the default port is used; the scheme is read in any case.
    engine.SetDefaultPort(server.Port());
    engine.CmdConnect("TLS://localhost");
    for (int i = 0; i < 2000 && engine.IsConnecting(); ++i) {
        engine.PollConnection();
        std::this_thread::sleep_for(2ms);
    }
    ASSERT_TRUE(engine.IsConnected()) << (host.events.empty() ? "" : host.events.front());
    EXPECT_EQ(made.size(), 1u);
    engine.ShowTelnetReport();
    ASSERT_FALSE(host.events.empty());
    EXPECT_EQ(host.events.back().rfind("block:[success]The connection is encrypted (" +
                                           std::string(engine.GetConnection()->GetEncryption()) +
                                           ").\r\n[plain]Negotiated options:",
                                       0),
              0u)
        << host.events.back();
    engine.SendToServer("abc\r\n", 5);
    for (int i = 0; i < 2000 && host.shown.find("cba") == std::string::npos; ++i) {
        engine.ProcessIncoming();
        std::this_thread::sleep_for(1ms);
    }
    EXPECT_NE(host.shown.find("cba"), std::string::npos) << host.shown;
    engine.CmdDisconnect("");

    // A refused certificate reaches the player as a failed connect; "tls" alone stays a host.
    engine.SetTlsSocketFactory([&] { return SocketPtr(new CTlsSocket()); });
    host.events.clear();
    engine.CmdConnect("tls://127.0.0.1:" + std::to_string(server.Port()));
    for (int i = 0; i < 2000 && engine.IsConnecting(); ++i) {
        engine.PollConnection();
        std::this_thread::sleep_for(2ms);
    }
    ASSERT_FALSE(host.events.empty());
    EXPECT_EQ(
        host.events.front().rfind(
            "error:Failed to connect to server. The server's certificate is not trusted (", 0),
        0u)
        << host.events.front();
    EXPECT_TRUE(host.HasEvent("connectfailed"));
}

TEST(TlsSocket, TrustedFingerprintAcceptsOnlyThatCertificate) {
    TlsServer server;
    REQUIRE_SERVER(server);
    const std::string other(server.Fingerprint().size(), '0');
    {
        // The system's trust does not know the certificate; the fingerprint trusted does, in
        // whatever case it was written.
        std::string lower = server.Fingerprint();
        for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        CTlsSocket socket;
        socket.SetTrustedFingerprint(lower);
        ASSERT_TRUE(socket.Connect("127.0.0.1", server.Port()));
        ASSERT_EQ(PollConnect(socket), kSocketConnected) << socket.GetLastErrorText();
        EXPECT_EQ(socket.GetCertificateTrust(), CertificateTrust::Pinned);
        socket.Close();

        // Another fingerprint on the same socket: refused, naming both.
        socket.SetTrustedFingerprint(other);
        ASSERT_TRUE(socket.Connect("127.0.0.1", server.Port()));
        ASSERT_EQ(PollConnect(socket), kSocketFailed);
        EXPECT_EQ(socket.GetCertificateTrust(), CertificateTrust::Changed);
        EXPECT_EQ(std::string(socket.GetLastErrorText()),
                  "The server's certificate has changed, so the connection was refused: it was "
                  "trusted with SHA-256 fingerprint " +
                      other + " and now shows " + server.Fingerprint() + ".");
        EXPECT_EQ(socket.GetCertificateFingerprint(), server.Fingerprint());
    }
    {
        // A certificate that verifies needs no fingerprint, and an old one does not block it.
        CTlsSocket socket(server.CaFile());
        socket.SetTrustedFingerprint(other);
        ASSERT_TRUE(socket.Connect("localhost", server.Port()));
        ASSERT_EQ(PollConnect(socket), kSocketConnected) << socket.GetLastErrorText();
        EXPECT_EQ(socket.GetCertificateTrust(), CertificateTrust::Verified);
    }
}
