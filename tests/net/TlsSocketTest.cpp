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
#include "tests/support/SpawnedProcess.h"
#include "tests/support/TempDir.h"

namespace {

using namespace std::chrono_literals;

// A listener on 127.0.0.1 that never accepts: the kernel completes the TCP connect, and no
// TLS byte ever comes back.
struct SilentListener {
    int fd = -1;
    std::uint16_t port = 0;
    SilentListener() {
        fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof(address);
        bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address));
        listen(fd, 4);
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
        port = ntohs(address.sin_port);
    }
    ~SilentListener() { close(fd); }
};

// Runs the openssl command to its end (bounded); true when it exited.
bool RunOpenssl(const std::string& program, std::vector<std::string> arguments,
                const std::string& log = {}) {
    arguments.insert(arguments.begin(), program);
    SpawnedProcess process;
    if (!process.Start(arguments, log)) return false;
    for (int i = 0; i < 3000 && process.IsRunning(); ++i) std::this_thread::sleep_for(5ms);
    return !process.IsRunning();
}

// A CA, a server certificate it signed for localhost and 127.0.0.1, and s_server with it on a
// free port, reversing each line it is sent.
class TlsServer {
  public:
    TlsServer() {
        m_openssl = SpawnedProcess::FindProgram("openssl");
        if (m_openssl.empty()) return;
        const std::vector<std::string> ec = {"-newkey", "ec", "-pkeyopt",
                                             "ec_paramgen_curve:prime256v1", "-nodes"};
        std::vector<std::string> ca = {"req",   "-x509",       "-days",   "2",
                                       "-subj", "/CN=Test CA", "-keyout", m_dir.File("ca.key"),
                                       "-out",  CaFile()};
        ca.insert(ca.end(), ec.begin(), ec.end());
        std::vector<std::string> request = {"req",
                                            "-subj",
                                            "/CN=localhost",
                                            "-keyout",
                                            m_dir.File("server.key"),
                                            "-out",
                                            m_dir.File("server.csr")};
        request.insert(request.end(), ec.begin(), ec.end());
        TempDir::Write(m_dir.File("ext.cnf"), "subjectAltName=DNS:localhost,IP:127.0.0.1\n");
        const std::vector<std::string> sign = {"x509",
                                               "-req",
                                               "-days",
                                               "2",
                                               "-in",
                                               m_dir.File("server.csr"),
                                               "-CA",
                                               CaFile(),
                                               "-CAkey",
                                               m_dir.File("ca.key"),
                                               "-CAcreateserial",
                                               "-extfile",
                                               m_dir.File("ext.cnf"),
                                               "-out",
                                               m_dir.File("server.pem")};
        if (!RunOpenssl(m_openssl, ca) || !RunOpenssl(m_openssl, request) ||
            !RunOpenssl(m_openssl, sign) ||
            !RunOpenssl(
                m_openssl,
                {"x509", "-noout", "-fingerprint", "-sha256", "-in", m_dir.File("server.pem")},
                m_dir.File("fingerprint.txt"))) {
            return;
        }
        {
            SilentListener probe;  // a free port; s_server takes it once the probe is gone
            m_port = probe.port;
        }
        const std::string log = m_dir.File("server.log");
        m_server.Start(
            {m_openssl, "s_server", "-accept", "127.0.0.1:" + std::to_string(m_port), "-cert",
             m_dir.File("server.pem"), "-key", m_dir.File("server.key"), "-rev"},
            log);
        for (int i = 0; i < 1000 && m_server.IsRunning(); ++i) {
            if (TempDir::Read(log).find("ACCEPT") != std::string::npos) {
                m_ready = true;
                return;
            }
            std::this_thread::sleep_for(5ms);
        }
    }
    ~TlsServer() { m_server.Stop(); }

    bool Ready() const { return m_ready; }
    std::uint16_t Port() const { return m_port; }
    std::string CaFile() const { return m_dir.File("ca.pem"); }
    // What openssl x509 says the server certificate's SHA-256 fingerprint is.
    std::string Fingerprint() const {
        const std::string text = TempDir::Read(m_dir.File("fingerprint.txt"));
        const std::size_t at = text.find('=');
        if (at == std::string::npos) return {};
        return text.substr(at + 1, text.find_first_of("\r\n", at) - at - 1);
    }

  private:
    TempDir m_dir;
    std::string m_openssl;
    SpawnedProcess m_server;
    std::uint16_t m_port = 0;
    bool m_ready = false;
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
    SilentListener silent;
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
