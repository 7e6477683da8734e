// Downloads over TLS against openssl s_server serving files of a folder the test fills, with a
// CA and server certificate the test makes.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "http/Download.h"
#include "tests/support/TempDir.h"
#include "tests/support/TlsTestServer.h"

namespace {

using namespace std::chrono_literals;

bool WaitForEnd(const DownloadRequest& request, std::chrono::milliseconds timeout = 5s) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!request.HasEnded() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(5ms);
    return request.HasEnded();
}

DownloadRequestPtr Fetch(const std::string& url, const std::string& file,
                         const DownloadOptions& options) {
    std::string error;
    DownloadRequestPtr request = StartDownload(url, file, nullptr, error, options);
    EXPECT_TRUE(request) << error;
    if (request) {
        EXPECT_TRUE(WaitForEnd(*request)) << url;
    }
    return request;
}

DownloadOptions TrustingCa(const TlsTestServer& server) {
    DownloadOptions options;
    options.caFile = server.CaFile();
    return options;
}

#define REQUIRE_SERVER(server) \
    if (!(server).Ready()) GTEST_SKIP() << "openssl could not start a TLS server"

TEST(HttpsDownload, VerifiedServerDeliversExactBytesToFileAndMemory) {
    TempDir root;
    std::string binary;
    for (int i = 0; i < 70000; ++i) binary += static_cast<char>(i * 7 % 256);
    TempDir::Write(root.File("data.bin"), binary);
    TempDir::Write(root.File("note.txt"), "over tls\n");
    TlsTestServer server({"-WWW"}, root.Path());
    REQUIRE_SERVER(server);
    const std::string port = std::to_string(server.Port());

    // By address, into a file: every byte, NULs included.
    TempDir out;
    DownloadRequestPtr data =
        Fetch("https://127.0.0.1:" + port + "/data.bin", out.File("copy.bin"), TrustingCa(server));
    ASSERT_TRUE(data);
    EXPECT_EQ(data->error, "");
    EXPECT_EQ(data->status, 200);
    EXPECT_EQ(data->received, binary.size());
    EXPECT_EQ(TempDir::Read(out.File("copy.bin")), binary);

    // By name (checked against the certificate, and sent as SNI), the scheme in any case.
    DownloadRequestPtr note =
        Fetch("HTTPS://localhost:" + port + "/note.txt", {}, TrustingCa(server));
    ASSERT_TRUE(note);
    EXPECT_EQ(note->error, "");
    EXPECT_EQ(note->status, 200);
    EXPECT_EQ(note->body, "over tls\n");
}

TEST(HttpsDownload, UnverifiedServersAndStalledHandshakesFailTheRequest) {
    TempDir root;
    TempDir::Write(root.File("note.txt"), "secret\n");
    {
        TlsTestServer server({"-WWW"}, root.Path());
        REQUIRE_SERVER(server);
        const std::string where = "127.0.0.1:" + std::to_string(server.Port());
        // The system's trust does not know the test's CA.
        DownloadRequestPtr untrusted = Fetch("https://" + where + "/note.txt", {}, {});
        ASSERT_TRUE(untrusted);
        EXPECT_EQ(untrusted->error,
                  "Failed to connect to " + where +
                      " for httpGet(). The server's certificate is not trusted (unable to get "
                      "local issuer certificate). SHA-256 fingerprint " +
                      server.Fingerprint());
        EXPECT_EQ(untrusted->status, 0);
        EXPECT_EQ(untrusted->body, "");
    }
    {
        // A trusted certificate for another name than the address asked for.
        TlsTestServer server({"-WWW"}, root.Path(), "DNS:localhost");
        REQUIRE_SERVER(server);
        const std::string where = "127.0.0.1:" + std::to_string(server.Port());
        DownloadRequestPtr mismatch =
            Fetch("https://" + where + "/note.txt", {}, TrustingCa(server));
        ASSERT_TRUE(mismatch);
        EXPECT_EQ(mismatch->error, "Failed to connect to " + where +
                                       " for httpGet(). The server's certificate does not match "
                                       "the host name 127.0.0.1. SHA-256 fingerprint " +
                                       server.Fingerprint());
        EXPECT_EQ(mismatch->body, "");
    }

    // A server that takes the connection and never answers the handshake.
    LoopbackListener silent;  // never accepts: no TLS byte comes back
    const std::string url = "https://127.0.0.1:" + std::to_string(silent.port) + "/";
    auto stop = std::make_shared<CThreadEvent>(true);
    std::string error;
    DownloadRequestPtr stopped = StartDownload(url, {}, stop, error);
    ASSERT_TRUE(stopped) << error;
    std::this_thread::sleep_for(200ms);
    EXPECT_FALSE(stopped->HasEnded());
    stop->Signal();
    EXPECT_TRUE(WaitForEnd(*stopped, 1s));
    EXPECT_EQ(stopped->error, "");

    DownloadOptions quick;
    quick.inactivity = 300ms;
    const auto started = std::chrono::steady_clock::now();
    DownloadRequestPtr stalled = Fetch(url, {}, quick);
    EXPECT_LT(std::chrono::steady_clock::now() - started, 3s);
    EXPECT_EQ(stalled->error, "Failed to connect to 127.0.0.1:" + std::to_string(silent.port) +
                                  " for httpGet(). TLS handshake failed: the server did not "
                                  "answer in time");
}

}  // namespace
