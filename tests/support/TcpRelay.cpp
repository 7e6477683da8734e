#include "tests/support/TcpRelay.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>

#include "tests/support/LoopbackSockets.h"

namespace {

// A side that stops reading must not hold the relay (and the test) for ever.
void LimitSendTime(int fd) {
    timeval limit{2, 0};
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
}

}  // namespace

TcpRelay::TcpRelay(std::uint16_t serverPort)
    : m_serverPort(serverPort), m_lastFromServer(std::chrono::steady_clock::now()) {
    LoopbackListener listener(1);
    if (listener.fd < 0) return;
    m_port = listener.port;
    m_listener = listener.Release();
    m_thread = std::thread([this] { Run(); });
}

TcpRelay::~TcpRelay() {
    m_stop = true;
    if (m_thread.joinable()) m_thread.join();
    if (m_listener >= 0) close(m_listener);
}

std::string TcpRelay::FromClient() const {
    std::lock_guard lock(m_mutex);
    return m_fromClient;
}

std::string TcpRelay::FromServer() const {
    std::lock_guard lock(m_mutex);
    return m_fromServer;
}

std::chrono::steady_clock::time_point TcpRelay::LastFromServer() const {
    std::lock_guard lock(m_mutex);
    return m_lastFromServer;
}

void TcpRelay::Run() {
    // Every wait is short, so the destructor's stop is seen within a few tens of milliseconds.
    constexpr int kPollMs = 20;
    int client = -1;
    while (!m_stop && client < 0) {
        pollfd waiting{m_listener, POLLIN, 0};
        if (poll(&waiting, 1, kPollMs) > 0)
            client = accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
    }
    if (client < 0) {
        m_ended = true;
        return;
    }
    const int server = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in address = Loopback(m_serverPort);
    if (server < 0 ||
        connect(server, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        if (server >= 0) close(server);
        close(client);
        m_ended = true;
        return;
    }
    LimitSendTime(client);
    LimitSendTime(server);
    m_relaying = true;
    while (!m_stop) {
        pollfd sides[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
        const int ready = poll(sides, 2, kPollMs);
        if (ready < 0 && errno != EINTR) break;
        if (ready <= 0) continue;
        if (sides[0].revents != 0 && !Pass(client, server, m_fromClient, false)) break;
        if (sides[1].revents != 0 && !Pass(server, client, m_fromServer, true)) break;
    }
    close(server);
    close(client);
    m_ended = true;
}

bool TcpRelay::Pass(int from, int to, std::string& record, bool fromServer) {
    char chunk[4096];
    const ssize_t got = recv(from, chunk, sizeof chunk, 0);
    if (got < 0 && errno == EINTR) return true;
    if (got <= 0) return false;
    {
        std::lock_guard lock(m_mutex);
        record.append(chunk, static_cast<std::size_t>(got));
        if (fromServer) m_lastFromServer = std::chrono::steady_clock::now();
    }
    return WriteAll(to, chunk, static_cast<std::size_t>(got));
}
