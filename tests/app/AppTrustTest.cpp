// Trust on first use for encrypted game connections: a certificate that does not verify is
// refused with its fingerprint until the player trusts it, the trust is kept in the user
// settings, and a certificate that changed is refused again.
#include <gtest/gtest.h>

#include "net/TelnetEngine.h"
#include "tests/app/AppFixture.h"
#include "tests/support/TlsRelay.h"

namespace {

class AppTrustTest : public AppFixture {
  protected:
    void SetUp() override {
        AppFixture::SetUp();
        if (!m_certificate.Make(m_certificates, "server"))
            GTEST_SKIP() << "openssl could not make a certificate";
    }

    std::string Key(const TlsRelay& relay) const {
        return std::string(CApp::kTrustedCertificatePrefix) + relay.Address();
    }

    bool WaitForOutput(const std::string& text) {
        return TickUntil([&] { return Output().find(text) != std::string::npos; },
                         std::chrono::seconds(5));
    }

    bool ConnectAndSee(ScriptedTelnetServer& server, const std::string& greeting) {
        // The handshake needs the client's ticks before the relay reaches the server.
        if (!TickUntil([&] { return App().IsConnected(); }, std::chrono::seconds(5)) ||
            !server.WaitForClient(5000))
            return false;
        server.Send(greeting + "\r\n");
        return WaitForOutput(greeting + "\n");
    }

    TempDir m_certificates;
    TestCertificate m_certificate;
};

}  // namespace

TEST_F(AppTrustTest, UnknownCertificateIsRefusedUntilTrustedAndTheTrustOutlivesTheRun) {
    ScriptedTelnetServer first;
    ScriptedTelnetServer second;
    // The refused client, the one after /trust, the one of the next run.
    TlsRelay relay(m_certificate, {0, first.Port(), second.Port()});
    ASSERT_TRUE(relay.IsListening());
    ASSERT_TRUE(Start());

    App().SubmitText("/help trust\r\n");
    EXPECT_NE(Output().find("/trust:\nTrust the certificate of the last refused tls:// "
                            "connection and connect again.\nUsage:\n   /trust\n"),
              std::string::npos)
        << Output();
    App().SubmitText("/trust\r\n");
    EXPECT_NE(Output().find("No refused certificate to trust: /trust follows a tls:// "
                            "connection refused for its certificate.\n"),
              std::string::npos)
        << Output();

    App().SubmitText("/connect tls://" + relay.Address() + "\r\n");
    ASSERT_TRUE(WaitForOutput("Type /trust")) << Output();
    const std::string output = Output();
    const std::string refusal =
        "Failed to connect to server. The server's certificate is not trusted (";
    const std::size_t at = output.find(refusal);
    ASSERT_NE(at, std::string::npos) << output;
    const std::string rest = output.substr(at);
    const std::string tail = "). SHA-256 fingerprint " + m_certificate.fingerprint +
                             "\nType /trust to accept this certificate for " + relay.Address() +
                             ".\n";
    EXPECT_NE(rest.find(tail), std::string::npos) << rest;
    EXPECT_EQ(FormatOf(refusal).textColour, 0x0000ffu);  // red
    EXPECT_FALSE(App().IsConnected());
    EXPECT_EQ(App().Settings().Get(Key(relay)), "");

    App().SubmitText("/trust\r\n");
    EXPECT_NE(Output().find("Trusted the certificate with SHA-256 fingerprint " +
                            m_certificate.fingerprint + " for " + relay.Address() + ".\n"),
              std::string::npos)
        << Output();
    EXPECT_EQ(App().Settings().Get(Key(relay)), m_certificate.fingerprint);
    ASSERT_TRUE(ConnectAndSee(first, "Welcome through TLS")) << Output();
    App().SubmitText("/telnet\r\n");
    EXPECT_NE(Output().find("The connection is encrypted (TLSv1."), std::string::npos);
    // The offer to trust went with the refusal it answered.
    App().SubmitText("/trust\r\n");
    EXPECT_NE(Output().find("No refused certificate to trust"), Output().rfind("No refused"));

    // Saved at the end of the run, read at the start of the next, and accepted without a word.
    Shutdown();
    EXPECT_NE(
        TempDir::Read(SettingsFile()).find(Key(relay) + " = " + m_certificate.fingerprint + "\n"),
        std::string::npos)
        << TempDir::Read(SettingsFile());
    ASSERT_TRUE(Start());
    App().SubmitText("/connect tls://" + relay.Address() + "\r\n");
    ASSERT_TRUE(ConnectAndSee(second, "Welcome back")) << Output();
    EXPECT_EQ(Output().find("Failed to connect"), std::string::npos) << Output();
    EXPECT_EQ(relay.Handshakes(), 3);
}

TEST_F(AppTrustTest, ChangedCertificateIsRefusedNamingBothUntilTrustedAgain) {
    ScriptedTelnetServer server;
    // Refused twice, once more in the next run, then trusted.
    TlsRelay relay(m_certificate, {0, 0, 0, server.Port()});
    ASSERT_TRUE(relay.IsListening());
    const std::string old =
        "00:11:22:33:44:55:66:77:88:99:AA:BB:CC:DD:EE:FF:00:11:22:33:44:55:66:77:88:99:AA:BB:"
        "CC:DD:EE:FF";
    WriteSettings(Key(relay) + " = " + old + "\n");
    ASSERT_TRUE(Start());

    const std::string line =
        "Failed to connect to server. The server's certificate has changed, so the connection "
        "was refused: it was trusted with SHA-256 fingerprint " +
        old + " and now shows " + m_certificate.fingerprint +
        ". Only if you know why it changed, type /trust to trust the new certificate for " +
        relay.Address() + " instead.\n";
    // Refused each time, not only the first: nothing is accepted without the player's word.
    for (int attempt = 1; attempt <= 2; ++attempt) {
        SCOPED_TRACE(attempt);
        App().SubmitText("/connect tls://" + relay.Address() + "\r\n");
        ASSERT_TRUE(
            TickUntil([&] { return relay.Handshakes() == attempt && !App().IsConnecting(); },
                      std::chrono::seconds(5)));
        EXPECT_FALSE(App().IsConnected());
        EXPECT_EQ(App().Settings().Get(Key(relay)), old);
    }
    const std::string output = Output();
    const std::size_t first = output.find(line);
    ASSERT_NE(first, std::string::npos) << output;
    EXPECT_NE(output.find(line, first + 1), std::string::npos) << output;
    EXPECT_EQ(output.find("Type /trust to accept"), std::string::npos) << output;
    EXPECT_EQ(FormatOf(line.substr(0, 40)).textColour, 0x0000ffu);  // red
    Shutdown();
    EXPECT_NE(TempDir::Read(SettingsFile()).find(Key(relay) + " = " + old), std::string::npos);

    ASSERT_TRUE(Start());
    App().SubmitText("/connect tls://" + relay.Address() + "\r\n");
    ASSERT_TRUE(WaitForOutput("Failed to connect")) << Output();
    App().SubmitText("/trust\r\n");
    EXPECT_EQ(App().Settings().Get(Key(relay)), m_certificate.fingerprint);
    ASSERT_TRUE(ConnectAndSee(server, "New certificate, same server")) << Output();
    EXPECT_EQ(relay.Handshakes(), 4);
}
