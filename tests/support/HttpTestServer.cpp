#include "tests/support/HttpTestServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

// Sends everything unless the peer goes away or the server stops; a peer that reads nothing
// cannot hold the server up.
bool SendAll(int connection, const std::string& bytes, const std::atomic<bool>& stopping) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        if (stopping) return false;
        pollfd watch{connection, POLLOUT, 0};
        if (poll(&watch, 1, 20) <= 0) continue;
        const ssize_t count =
            send(connection, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (count < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) continue;
            return false;
        }
        sent += static_cast<std::size_t>(count);
    }
    return true;
}

}  // namespace

HttpTestServer::HttpTestServer() {
    m_listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_listener < 0) return;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(m_listener, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        listen(m_listener, 16) != 0 ||
        getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        close(m_listener);
        m_listener = -1;
        return;
    }
    m_port = ntohs(address.sin_port);
    m_acceptor = std::thread([this] { AcceptLoop(); });
}

HttpTestServer::~HttpTestServer() {
    m_stopping = true;
    m_changed.notify_all();
    if (m_acceptor.joinable()) m_acceptor.join();
    if (m_listener >= 0) close(m_listener);
    // No new connection threads start once the acceptor has ended.
    for (std::thread& connection : m_connections) connection.join();
}

std::string HttpTestServer::Url(const std::string& path) const {
    return "127.0.0.1:" + std::to_string(m_port) + path;
}

void HttpTestServer::Route(const std::string& path, Reply reply) {
    std::lock_guard lock(m_mutex);
    m_routes[path] = std::move(reply);
}

std::string HttpTestServer::Response(const std::string& statusLine, const std::string& body) {
    return statusLine + "\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\nContent-Type: text/plain\r\n\r\n" + body;
}

void HttpTestServer::RouteResponse(const std::string& path, const std::string& statusLine,
                                   const std::string& body) {
    Route(path, Reply{{Step{Response(statusLine, body)}}});
}

std::vector<std::string> HttpTestServer::Requests() const {
    std::lock_guard lock(m_mutex);
    return m_requests;
}

bool HttpTestServer::WaitForRequests(std::size_t count, std::chrono::milliseconds timeout) {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [&] { return m_requests.size() >= count; });
}

bool HttpTestServer::Pause(int milliseconds) {
    std::unique_lock lock(m_mutex);
    return !m_changed.wait_for(lock, std::chrono::milliseconds(milliseconds),
                               [this] { return m_stopping.load(); });
}

void HttpTestServer::AcceptLoop() {
    while (!m_stopping) {
        pollfd watch{m_listener, POLLIN, 0};
        if (poll(&watch, 1, 20) <= 0) continue;
        const int connection = accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0) continue;
        std::lock_guard lock(m_mutex);
        m_connections.emplace_back([this, connection] { Serve(connection); });
    }
}

void HttpTestServer::Serve(int connection) {
    // The request: up to its blank line, for at most two seconds and 64 KiB.
    std::string request;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (request.find("\r\n\r\n") == std::string::npos && request.size() < 65536 &&
           std::chrono::steady_clock::now() < deadline && !m_stopping) {
        pollfd watch{connection, POLLIN, 0};
        if (poll(&watch, 1, 20) <= 0) continue;
        char chunk[4096];
        const ssize_t count = recv(connection, chunk, sizeof chunk, 0);
        if (count <= 0) break;
        request.append(chunk, static_cast<std::size_t>(count));
    }
    std::string path;
    if (const std::size_t space = request.find(' '); space != std::string::npos)
        path = request.substr(space + 1, request.find(' ', space + 1) - space - 1);
    Reply reply{{Step{Response("HTTP/1.1 404 Not Found", "no such page")}}};
    {
        std::lock_guard lock(m_mutex);
        m_requests.push_back(request);
        if (auto found = m_routes.find(path); found != m_routes.end()) reply = found->second;
    }
    m_changed.notify_all();

    bool going = true;
    for (const Step& step : reply.steps) {
        for (int i = 0; going && i < step.repeat; ++i) {
            // A client that went away ends the reply (no SIGPIPE: MSG_NOSIGNAL).
            if (!SendAll(connection, step.bytes, m_stopping)) going = false;
            if (going && step.pauseMs > 0) going = Pause(step.pauseMs);
        }
    }
    if (reply.holdOpen) {
        while (going) going = Pause(1000);
    }
    close(connection);
}
