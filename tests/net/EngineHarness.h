#pragma once

#include <chrono>
#include <string>
#include <thread>

#include "net/TelnetEngine.h"
#include "tests/support/RecordingTelnetHost.h"
#include "tests/support/ScriptedTelnetServer.h"

// A scripted server, a recording host and an engine connected to the server, driven by the
// test the way the application's tick drives it.
struct EngineHarness {
    EngineHarness() = default;
    explicit EngineHarness(ScriptedServerOptions options) : server(options) {}

    ScriptedTelnetServer server;
    RecordingTelnetHost host;
    CTelnetEngine engine{host};

    void Tick() {
        if (engine.IsConnecting()) engine.PollConnection();
        if (engine.IsConnected()) engine.ProcessIncoming();
        if (engine.IsConnected()) engine.ShowWaitingPrompt();
    }

    template <class Predicate>
    bool PumpUntil(Predicate done, int timeoutMs = 2000) {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            Tick();
            if (!engine.HasPendingWork()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return true;
    }

    bool Connect() {
        engine.CmdConnect(server.Address());
        return PumpUntil([&] { return engine.IsConnected(); }) && server.WaitForClient();
    }

    bool PumpUntilShown(const std::string& text, int timeoutMs = 2000) {
        return PumpUntil([&] { return host.shown.find(text) != std::string::npos; }, timeoutMs);
    }

    bool PumpUntilReceived(const std::string& bytes, int timeoutMs = 2000) {
        return PumpUntil([&] { return server.Received().find(bytes) != std::string::npos; },
                         timeoutMs);
    }

    // Lets the server finish its script and the engine take in whatever it sent.
    void Settle(int quietMs = 60) {
        server.WaitIdle();
        const auto start = std::chrono::steady_clock::now();
        const auto until = start + std::chrono::milliseconds(quietMs);
        const auto limit = start + std::chrono::seconds(10);
        while (std::chrono::steady_clock::now() < limit &&
               (std::chrono::steady_clock::now() < until || engine.HasPendingWork())) {
            Tick();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
};

// Byte strings with telnet commands, written readably.
inline std::string Bytes(std::initializer_list<int> values) {
    std::string result;
    for (int value : values) result += static_cast<char>(value);
    return result;
}

// What the client offers as soon as it connects: WILL NAWS, WILL COMPRESS2, WILL COMPRESS.
inline const std::string kOffers = Bytes({255, 251, 31, 255, 251, 86, 255, 251, 85});
