#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/TempDir.h"

// A self-signed certificate for localhost and 127.0.0.1 with its key, made by the openssl
// command, and the SHA-256 fingerprint that openssl reports for it.
struct TestCertificate {
    // False when openssl is missing or failed; name tells the files of several apart.
    bool Make(const TempDir& dir, const std::string& name);
    std::string certFile;
    std::string keyFile;
    std::string fingerprint;
};

// A TLS server on 127.0.0.1 (ephemeral port) in front of plain servers on 127.0.0.1, on a
// thread of its own. It takes clients one after another: the n-th is relayed to the n-th
// upstream port, both ways and unchanged; port 0 completes the handshake only and waits for the
// client to leave (one that refuses the certificate). Every wait is bounded.
class TlsRelay {
  public:
    TlsRelay(const TestCertificate& certificate, std::vector<std::uint16_t> upstreams);
    ~TlsRelay();
    TlsRelay(const TlsRelay&) = delete;
    TlsRelay& operator=(const TlsRelay&) = delete;

    bool IsListening() const { return m_listener >= 0; }
    std::uint16_t Port() const { return m_port; }
    // "127.0.0.1:<port>".
    std::string Address() const { return "127.0.0.1:" + std::to_string(m_port); }
    // Handshakes completed so far.
    int Handshakes() const { return m_handshakes; }

  private:
    void Run();
    void Serve(void* ssl, int client, std::uint16_t upstream);

    void* m_context = nullptr;
    std::vector<std::uint16_t> m_upstreams;
    int m_listener = -1;
    std::uint16_t m_port = 0;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_handshakes{0};
};
