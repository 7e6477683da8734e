#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

// A relay on 127.0.0.1 (ephemeral port) between one client and a server on 127.0.0.1: it
// passes the bytes on unchanged both ways, on a thread of its own, and records them, so a test
// sees exactly what a real server and the client said to each other. When one side closes,
// the relay closes the other.
class TcpRelay {
  public:
    explicit TcpRelay(std::uint16_t serverPort);
    ~TcpRelay();
    TcpRelay(const TcpRelay&) = delete;
    TcpRelay& operator=(const TcpRelay&) = delete;

    bool IsListening() const { return m_listener >= 0; }
    std::uint16_t Port() const { return m_port; }

    std::string FromClient() const;
    std::string FromServer() const;
    // Time of the last byte from the server; the relay's start before the first.
    std::chrono::steady_clock::time_point LastFromServer() const;
    // The client came and the relay reached the server.
    bool IsRelaying() const { return m_relaying; }
    // A side closed (or failed) and the relay has ended.
    bool HasEnded() const { return m_ended; }

  private:
    void Run();
    // Moves what fd has to the other side and records it; false when fd closed or failed.
    bool Pass(int from, int to, std::string& record, bool fromServer);

    std::uint16_t m_serverPort;
    int m_listener = -1;
    std::uint16_t m_port = 0;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_relaying{false};
    std::atomic<bool> m_ended{false};

    mutable std::mutex m_mutex;
    std::string m_fromClient;
    std::string m_fromServer;
    std::chrono::steady_clock::time_point m_lastFromServer;
};
