#pragma once

// A game server for throughput runs: a thread on 127.0.0.1 that accepts one client, waits for
// the go, sends a stream and closes. Whatever reads sees the clock start before the first byte
// leaves.
#include <poll.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "bench/BenchSupport.h"
#include "net/TelnetEngine.h"

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

// Connects the engine to the sender (exits when it cannot), starts the sender and reads until
// done() holds or the time-out passes, woken by poll() the way the event
// loop's socket notifier wakes the client. Returns the seconds from the go to the end.
template <typename Done>
double ReadStream(CTelnetEngine& engine, Sender& sender, Done done, int timeoutSeconds) {
    engine.CmdConnect("127.0.0.1:" + std::to_string(sender.Port()));
    const auto limit = Clock::now() + std::chrono::seconds(10);
    while ((engine.IsConnecting() || !sender.Accepted()) && Clock::now() < limit) {
        engine.PollConnection();
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    if (!engine.IsConnected()) {
        std::printf("the engine did not connect\n");
        std::exit(1);
    }
    const auto start = Clock::now();
    sender.Go();
    const auto deadline = start + std::chrono::seconds(timeoutSeconds);
    while (!done() && Clock::now() < deadline) {
        engine.ProcessIncoming();
        // A connection that has ended has no descriptor left, and poll would sit out its whole
        // time-out: nothing more comes.
        if (!engine.IsConnected()) break;
        if (done() || engine.HasPendingWork()) continue;
        pollfd watched{engine.GetConnection()->GetDescriptor(), POLLIN, 0};
        poll(&watched, 1, 10);
    }
    return Seconds(Clock::now() - start);
}

}  // namespace bench
