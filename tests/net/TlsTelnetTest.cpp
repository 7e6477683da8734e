// The telnet engine over an encrypted connection: negotiation, window size and compressed
// streams pass through TLS unchanged.
#include <gtest/gtest.h>

#include "net/TlsSocket.h"
#include "tests/net/EngineHarness.h"
#include "tests/support/TlsRelay.h"

TEST(TlsTelnet, NegotiationWindowSizeAndCompressedTextPassThroughTls) {
    TempDir dir;
    TestCertificate certificate;
    if (!certificate.Make(dir, "server")) GTEST_SKIP() << "openssl could not make a certificate";
    EngineHarness h;
    TlsRelay relay(certificate, {h.server.Port()});
    ASSERT_TRUE(relay.IsListening());
    // The self-signed certificate is its own authority: this connection verifies.
    h.engine.SetTlsSocketFactory([&] { return SocketPtr(new CTlsSocket(certificate.certFile)); });
    h.engine.CmdConnect("tls://" + relay.Address());
    ASSERT_TRUE(h.PumpUntil([&] { return h.engine.IsConnected(); }, 5000))
        << (h.host.events.empty() ? "" : h.host.events.front());
    ASSERT_TRUE(h.server.WaitForClient());
    EXPECT_EQ(h.engine.GetConnection()->GetCertificateTrust(), CertificateTrust::Verified);
    EXPECT_EQ(h.engine.GetRefusedCertificate(), nullptr);

    // The server asks for the window size and offers the compressed stream; the client
    // answers both through the encrypted connection.
    h.server.Send(Bytes({255, 253, 31, 255, 251, 86}));
    const std::string answers =
        kOffers + Bytes({255, 250, 31, 0, 100, 0, 25, 255, 240}) + Bytes({255, 253, 86});
    ASSERT_TRUE(h.PumpUntilReceived(answers)) << h.server.Received().size();
    EXPECT_EQ(h.server.Received(), answers);
    EXPECT_TRUE(h.engine.IsNawsAgreed());

    // A stream longer than one TLS record and one inflate chunk, lines split across both.
    std::string text = "compressed hello\r\n";
    for (int i = 0; i < 4000; ++i) text += "line " + std::to_string(i) + " of the burst\r\n";
    h.server.StartCompression(2);
    h.server.Send(text);
    h.server.EndCompression("plain after\r\n");
    ASSERT_TRUE(h.PumpUntilShown("plain after\r\n", 5000));
    EXPECT_EQ(h.host.shown, text + "plain after\r\n");
    EXPECT_FALSE(h.engine.IsCompressIn());

    h.server.StartCompression(2);
    h.server.Send("second stream\r\n");
    ASSERT_TRUE(h.PumpUntilShown("second stream\r\n"));
    h.engine.ShowTelnetReport();
    const std::string report = h.host.events.back();
    EXPECT_NE(report.find("The connection is encrypted (TLSv1."), std::string::npos) << report;
    EXPECT_NE(report.find("Data from server is being received compressed."), std::string::npos)
        << report;
}
