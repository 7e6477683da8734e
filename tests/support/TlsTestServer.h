#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/LoopbackSockets.h"
#include "tests/support/SpawnedProcess.h"
#include "tests/support/TempDir.h"

// openssl s_server on a free port of 127.0.0.1 with a CA and a server certificate the test
// made with the openssl command. The certificate is for the names in altNames (a
// subjectAltName value); mode picks what the server does ({"-rev"} reverses each line,
// {"-WWW"} serves the files of workingDir). Every wait is bounded; the server is ended by its
// process id.
class TlsTestServer {
  public:
    static constexpr const char* kLocalNames = "DNS:localhost,IP:127.0.0.1";

    explicit TlsTestServer(const std::vector<std::string>& mode, const std::string& workingDir = {},
                           const std::string& altNames = kLocalNames);
    ~TlsTestServer();
    TlsTestServer(const TlsTestServer&) = delete;
    TlsTestServer& operator=(const TlsTestServer&) = delete;

    bool Ready() const { return m_ready; }
    std::uint16_t Port() const { return m_port; }
    std::string CaFile() const { return m_dir.File("ca.pem"); }
    // What openssl x509 says the server certificate's SHA-256 fingerprint is.
    std::string Fingerprint() const;
    // Ends the server abruptly: its connections close without a TLS close notice.
    void Kill() { m_server.Stop(); }

  private:
    bool MakeCertificates(const std::string& altNames);
    // Runs the openssl command to its end (bounded); true when it exited.
    bool RunOpenssl(std::vector<std::string> arguments, const std::string& log = {});

    TempDir m_dir;
    std::string m_openssl;
    SpawnedProcess m_server;
    std::uint16_t m_port = 0;
    bool m_ready = false;
};
