#pragma once

// A game server for throughput runs: a thread on 127.0.0.1 that accepts one client, waits for
// the go, sends a stream and closes. Whatever reads sees the clock start before the first byte
// leaves.
#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "bench/BenchSupport.h"

namespace bench {

class Sender {
  public:
    explicit Sender(const std::string& stream) : m_thread([this, &stream] { Run(stream); }) {}
    ~Sender() {
        m_go = true;
        m_thread.join();
    }
    Sender(const Sender&) = delete;
    Sender& operator=(const Sender&) = delete;

    std::uint16_t Port() const { return m_listener.port; }
    const LoopbackListener& Listener() const { return m_listener; }
    void Go() { m_go = true; }
    bool Accepted() const { return m_accepted; }

  private:
    void Run(const std::string& stream) {
        const int client = m_listener.Accept();
        if (client < 0) return;
        m_accepted = true;
        while (!m_go) std::this_thread::sleep_for(std::chrono::microseconds(100));
        SendAll(client, stream);
        // Closing with the client's replies unread would reset the connection and throw away
        // text the client has not read yet: end the sending side and read until the client
        // closes.
        shutdown(client, SHUT_WR);
        timeval timeout{5, 0};
        setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
        char discard[4096];
        while (recv(client, discard, sizeof discard, 0) > 0) {
        }
        close(client);
    }

    LoopbackListener m_listener;
    std::atomic<bool> m_go{false};
    std::atomic<bool> m_accepted{false};
    std::thread m_thread;
};

}  // namespace bench
