#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// A web server on 127.0.0.1 (ephemeral port) for tests that can misbehave on purpose. Each
// connection is served on a thread of its own: the request is read up to its blank line, and
// the reply routed for its path is played step by step (bytes, then a pause), then the
// connection is closed, or held open until the server ends. Unrouted paths get a plain 404.
// Every wait is bounded; the destructor cuts pauses and held connections short.
class HttpTestServer {
  public:
    struct Step {
        std::string bytes;
        int pauseMs = 0;
        // The step is played this many times.
        int repeat = 1;
    };
    struct Reply {
        std::vector<Step> steps;
        bool holdOpen = false;
    };

    HttpTestServer();
    ~HttpTestServer();
    HttpTestServer(const HttpTestServer&) = delete;
    HttpTestServer& operator=(const HttpTestServer&) = delete;

    std::uint16_t Port() const { return m_port; }
    // "127.0.0.1:<port><path>".
    std::string Url(const std::string& path) const;

    void Route(const std::string& path, Reply reply);
    // A complete response with a Content-Length.
    void RouteResponse(const std::string& path, const std::string& statusLine,
                       const std::string& body);
    static std::string Response(const std::string& statusLine, const std::string& body);

    // The request texts received so far, in arrival order.
    std::vector<std::string> Requests() const;
    bool WaitForRequests(std::size_t count, std::chrono::milliseconds timeout);

  private:
    void AcceptLoop();
    void Serve(int connection);
    // Sleeps, ending early when the server stops; false then.
    bool Pause(int milliseconds);

    int m_listener = -1;
    std::uint16_t m_port = 0;
    std::atomic<bool> m_stopping{false};
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::map<std::string, Reply> m_routes;
    std::vector<std::string> m_requests;
    std::vector<std::thread> m_connections;
    std::thread m_acceptor;
};
