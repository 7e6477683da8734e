#pragma once

#include <zlib.h>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

struct ScriptedServerOptions {
    // Listen on ::1 instead of 127.0.0.1.
    bool ipv6 = false;
    // SO_RCVBUF of the accepted connection when not 0: a small one makes the client's sends
    // back up quickly while the server is not reading.
    int receiveBuffer = 0;
};

// A telnet server on 127.0.0.1 or ::1 (ephemeral port) for tests. It accepts one client on a thread
// of its own and runs the queued actions in order: sending bytes (each Send is one write, so
// pieces separated by a pause arrive as separate reads), compressing what it sends (MCCP v1 or
// v2), ending a compressed stream with plain bytes in the same write, and closing. It records
// everything the client sends, inflated once the client has started compressing. Every wait
// has a time-out, so a failing test never hangs.
class ScriptedTelnetServer {
  public:
    explicit ScriptedTelnetServer(ScriptedServerOptions options = {});
    ~ScriptedTelnetServer();
    ScriptedTelnetServer(const ScriptedTelnetServer&) = delete;
    ScriptedTelnetServer& operator=(const ScriptedTelnetServer&) = delete;

    bool IsListening() const { return m_listener >= 0; }
    std::uint16_t Port() const { return m_port; }
    // "127.0.0.1:<port>" or "[::1]:<port>", the argument for /connect.
    std::string Address() const;

    // Queued actions.
    // Bytes as one write; deflated (and flushed) while compression is on.
    void Send(std::string bytes);
    // Bytes as one write, never deflated.
    void SendUncompressed(std::string bytes);
    // Each piece as one write, with a pause after each but the last.
    void SendSplit(const std::vector<std::string>& pieces, int pauseMs = 40);
    void Pause(int milliseconds);
    // Sends the start sequence of version 1 (IAC SB 85 WILL SE) or 2 (IAC SB 86 IAC SE); what
    // Send sends after it is compressed.
    void StartCompression(int version);
    // Finishes the compressed stream and sends plainAfter in the same write.
    void EndCompression(std::string plainAfter = {});
    void Close();

    // Stops or resumes reading what the client sends, at once (not queued).
    void SetReading(bool reading);

    bool WaitForClient(int timeoutMs = 2000);
    // All queued actions done and written.
    bool WaitIdle(int timeoutMs = 5000);
    bool WaitForReceived(std::string_view needle, int timeoutMs = 2000);
    bool WaitForClientClose(int timeoutMs = 2000);
    std::string Received() const;
    bool ClientCompresses() const;

    // A complete zlib stream that inflates to the given number of MiB of one byte, built
    // from one compressed MiB repeated (each MiB ends with a full flush, so the pieces are
    // identical): cheap to make even for a gigabyte.
    static std::string MakeRepeatedStream(char byte, std::uint32_t mebibytes);
    static std::string MakeZeroStream(std::uint32_t mebibytes);
    // A complete zlib stream of data.
    static std::string Compress(std::string_view data);
    static std::string Inflate(std::string_view stream);

  private:
    enum class ActionKind {
        Send,
        SendUncompressed,
        Pause,
        StartCompression,
        EndCompression,
        Close
    };
    struct Action {
        ActionKind kind;
        std::string bytes;
        int number = 0;
    };

    void Queue(Action action);
    void Run();
    void RunAction(Action& action, std::string& pending);
    void Record(const char* data, std::size_t length);
    std::string Deflate(std::string_view data, int flush);

    ScriptedServerOptions m_options;
    int m_listener = -1;
    std::uint16_t m_port = 0;
    std::thread m_thread;

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_stop = false;
    bool m_hasClient = false;
    bool m_clientClosed = false;
    bool m_busy = false;
    std::deque<Action> m_actions;
    std::string m_received;
    std::string m_clientPlain;
    bool m_clientCompresses = false;
    bool m_readingAllowed = true;

    // Server thread only.
    int m_client = -1;
    z_stream m_deflate{};
    bool m_compressing = false;
    z_stream m_inflate{};
};
