#include "tests/support/TlsRelay.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "tests/support/LoopbackSockets.h"
#include "tests/support/SpawnedProcess.h"

namespace {

using namespace std::chrono_literals;

constexpr int kPollMs = 20;

// A peer that stops reading or never finishes its handshake must not hold the relay.
void LimitWaits(int fd) {
    timeval limit{2, 0};
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
}

}  // namespace

bool TestCertificate::Make(const TempDir& dir, const std::string& name) {
    const std::string openssl = SpawnedProcess::FindProgram("openssl");
    if (openssl.empty()) return false;
    certFile = dir.File(name + ".pem");
    keyFile = dir.File(name + ".key");
    const std::string printed = dir.File(name + ".fingerprint");
    if (!SpawnedProcess::RunToEnd(
            {openssl, "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
             "-nodes", "-days", "2", "-subj", "/CN=localhost", "-addext",
             "subjectAltName=DNS:localhost,IP:127.0.0.1", "-keyout", keyFile, "-out", certFile}) ||
        !SpawnedProcess::RunToEnd(
            {openssl, "x509", "-noout", "-fingerprint", "-sha256", "-in", certFile}, printed)) {
        return false;
    }
    const std::string text = TempDir::Read(printed);
    const std::size_t at = text.find('=');
    if (at == std::string::npos) return false;
    fingerprint = text.substr(at + 1, text.find_first_of("\r\n", at) - at - 1);
    return !fingerprint.empty();
}

TlsRelay::TlsRelay(const TestCertificate& certificate, std::vector<std::uint16_t> upstreams)
    : m_upstreams(std::move(upstreams)) {
    SSL_CTX* context = SSL_CTX_new(TLS_server_method());
    if (!context) return;
    m_context = context;
    if (SSL_CTX_use_certificate_file(context, certificate.certFile.c_str(), SSL_FILETYPE_PEM) !=
            1 ||
        SSL_CTX_use_PrivateKey_file(context, certificate.keyFile.c_str(), SSL_FILETYPE_PEM) != 1) {
        return;
    }
    LoopbackListener listener(4);
    if (listener.fd < 0) return;
    m_port = listener.port;
    m_listener = listener.Release();
    m_thread = std::thread([this] { Run(); });
}

TlsRelay::~TlsRelay() {
    m_stop = true;
    if (m_thread.joinable()) m_thread.join();
    if (m_listener >= 0) close(m_listener);
    if (m_context) SSL_CTX_free(static_cast<SSL_CTX*>(m_context));
}

void TlsRelay::Run() {
    // OpenSSL writes with write(): a client gone would raise SIGPIPE. Blocked on this thread
    // only, the write fails with EPIPE instead.
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
    for (const std::uint16_t upstream : m_upstreams) {
        int client = -1;
        while (!m_stop && client < 0) {
            pollfd waiting{m_listener, POLLIN, 0};
            if (poll(&waiting, 1, kPollMs) > 0)
                client = accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        }
        if (client < 0) return;
        LimitWaits(client);
        SSL* ssl = SSL_new(static_cast<SSL_CTX*>(m_context));
        SSL_set_fd(ssl, client);
        if (SSL_accept(ssl) == 1) {
            ++m_handshakes;
            Serve(ssl, client, upstream);
        }
        SSL_free(ssl);
        close(client);
    }
}

void TlsRelay::Serve(void* session, int client, std::uint16_t upstream) {
    SSL* ssl = static_cast<SSL*>(session);
    int server = -1;
    if (upstream != 0) {
        server = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const sockaddr_in address = Loopback(upstream);
        if (server < 0 ||
            connect(server, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
            if (server >= 0) close(server);
            return;
        }
        LimitWaits(server);
    }
    char chunk[4096];
    const auto limit = std::chrono::steady_clock::now() + 30s;
    while (!m_stop && std::chrono::steady_clock::now() < limit) {
        pollfd sides[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
        const int ready = SSL_pending(ssl) > 0 ? 1 : poll(sides, server >= 0 ? 2 : 1, kPollMs);
        if (ready < 0 && errno != EINTR) break;
        if (ready <= 0) continue;
        if (SSL_pending(ssl) > 0 || sides[0].revents != 0) {
            const int got = SSL_read(ssl, chunk, sizeof chunk);
            if (got <= 0) break;
            if (server >= 0 && !WriteAll(server, chunk, static_cast<std::size_t>(got))) break;
        }
        if (server >= 0 && sides[1].revents != 0) {
            const ssize_t got = recv(server, chunk, sizeof chunk, 0);
            if (got <= 0) break;
            if (SSL_write(ssl, chunk, static_cast<int>(got)) != got) break;
        }
    }
    SSL_shutdown(ssl);
    if (server >= 0) close(server);
}
