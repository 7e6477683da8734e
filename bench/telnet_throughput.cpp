// Telnet engine throughput through the real socket: a sender thread on 127.0.0.1 writes game
// text (plain, or MCCP2 at level 9 flushed every 1 KiB or once), and the real CTelnetEngine
// with its real CSocket reads it, takes telnet commands out, inflates and hands every line to
// the host, woken by poll() the way the event loop's socket notifier wakes it. The anchors get
// the same bytes from the same sender: a blocking 64 KiB recv loop, and recv + zlib inflate.
#include <poll.h>

#include <atomic>
#include <ctime>
#include <thread>

#include "bench/BenchSupport.h"
#include "bench/StreamSender.h"
#include "net/TelnetEngine.h"

namespace {

using namespace bench;

constexpr int kRuns = 3;

class CountingHost : public ITelnetHost {
  public:
    // The peer's close is reported as "Disconnected"; anything else is a fault of the run.
    void Report(TelnetMessageKind kind, std::string_view text) override {
        if (kind != TelnetMessageKind::Error || text.starts_with("Disconnected")) return;
        if (!errors++)
            std::printf("  (engine error: %.*s)\n", static_cast<int>(text.size()), text.data());
    }
    void ReportBlock(std::span<const TelnetMessagePart>) override {}
    void ShowText(std::string_view text) override { shown += text.size(); }
    bool HasReceiveFilter() override { return false; }
    void FilterReceivedLine(std::string&) override {}
    void FireConnected() override {}
    void FireConnectFailed() override { failed = true; }
    void FireDisconnect(bool) override { disconnected = true; }
    PaneMetrics MeasureOutputPane() override { return {800, 600, 8, 16}; }
    std::int64_t CurrentTimeSeconds() override { return 0; }
    void WatchSocket(int) override {}

    std::uint64_t shown = 0;
    int errors = 0;
    bool failed = false;
    bool disconnected = false;
};

// CPU seconds the calling thread has used: on a shared machine the reader's own cost, which
// other programs' load does not inflate the way it does wall time.
double ThreadCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

struct Result {
    double seconds = 0;
    double cpuSeconds = 0;    // of the reading thread
    std::uint64_t bytes = 0;  // of text handed out (engine) or produced (anchor)
};

Result RunEngine(const std::string& stream, std::uint64_t expected,
                 const ServerTextSettings& settings) {
    Sender sender(stream);
    CountingHost host;
    CTelnetEngine engine(host);
    engine.SetServerTextSettings(settings);
    const double cpuStart = ThreadCpuSeconds();
    const double seconds = ReadStream(
        engine, sender, [&] { return host.shown >= expected || host.disconnected; }, 60);
    if (host.shown != expected)
        std::printf("  (engine: %llu of %llu bytes shown)\n",
                    static_cast<unsigned long long>(host.shown),
                    static_cast<unsigned long long>(expected));
    return {seconds, ThreadCpuSeconds() - cpuStart, host.shown};
}

Result RunRecv(const std::string& stream, bool inflateIt, std::size_t skip) {
    Sender sender(stream);
    const int client = sender.Listener().ConnectClient();
    while (!sender.Accepted()) std::this_thread::sleep_for(std::chrono::microseconds(100));
    static char input[65536];
    static unsigned char output[65536];
    z_stream zstream{};
    inflateInit(&zstream);
    Result result;
    const auto start = Clock::now();
    const double cpuStart = ThreadCpuSeconds();
    sender.Go();
    for (;;) {
        const ssize_t got = recv(client, input, sizeof input, 0);
        if (got <= 0) break;
        if (!inflateIt) {
            result.bytes += static_cast<std::uint64_t>(got);
            continue;
        }
        std::size_t from = std::min(skip, static_cast<std::size_t>(got));
        skip -= from;
        zstream.next_in = reinterpret_cast<Bytef*>(input + from);
        zstream.avail_in = static_cast<uInt>(static_cast<std::size_t>(got) - from);
        while (zstream.avail_in > 0) {
            zstream.next_out = output;
            zstream.avail_out = sizeof output;
            const int status = inflate(&zstream, Z_NO_FLUSH);
            result.bytes += sizeof output - zstream.avail_out;
            if (status != Z_OK && status != Z_BUF_ERROR) break;
        }
    }
    result.seconds = Seconds(Clock::now() - start);
    result.cpuSeconds = ThreadCpuSeconds() - cpuStart;
    inflateEnd(&zstream);
    close(client);
    return result;
}

// Best of kRuns for each, taken in turns so that both see the same machine load.
// Server text settings with ANSI translation on (the default) or off.
ServerTextSettings Ansi(bool on) {
    ServerTextSettings settings;
    settings.ansiColours = on;
    return settings;
}

// The bytes the engine hands out for text: each line decoded in turn, as the engine does.
std::size_t DecodedBytes(const std::string& text, const ServerTextSettings& settings) {
    CServerTextDecoder decoder;
    decoder.SetSettings(settings);
    std::size_t bytes = 0;
    std::string out;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t feed = text.find('\n', at);
        const std::size_t end = feed == std::string::npos ? text.size() : feed + 1;
        const std::string_view line(text.data() + at, end - at);
        if (decoder.PassesUnchanged(line)) {
            bytes += line.size();
        } else {
            out.clear();
            decoder.Decode(line, out);
            bytes += out.size();
        }
        at = end;
    }
    return bytes;
}

void Compare(const char* name, const std::string& stream, std::size_t textBytes, bool compressed,
             std::size_t prefix, const ServerTextSettings& settings = Ansi(true)) {
    // A byte count that differs in any run is kept, so the line below tells of it.
    const std::uint64_t anchorBytes = compressed ? textBytes : stream.size();
    Result engine{1e9, 1e9, textBytes};
    Result anchor{1e9, 1e9, anchorBytes};
    for (int run = 0; run < kRuns; ++run) {
        const Result e = RunEngine(stream, textBytes, settings);
        const Result a = RunRecv(stream, compressed, prefix);
        if (e.seconds < engine.seconds) engine.seconds = e.seconds;
        if (a.seconds < anchor.seconds) anchor.seconds = a.seconds;
        if (e.cpuSeconds < engine.cpuSeconds) engine.cpuSeconds = e.cpuSeconds;
        if (a.cpuSeconds < anchor.cpuSeconds) anchor.cpuSeconds = a.cpuSeconds;
        if (e.bytes != textBytes) engine.bytes = e.bytes;
        if (a.bytes != anchorBytes) anchor.bytes = a.bytes;
    }
    const double mb = static_cast<double>(textBytes) / 1e6;
    std::printf(
        "%-26s %6.1f MB text (%6.1f MB on the wire): engine %7.1f MB/s, %s %7.1f MB/s, ratio "
        "%.2fx%s\n",
        name, mb, static_cast<double>(stream.size()) / 1e6, mb / engine.seconds,
        compressed ? "recv+inflate" : "64 KiB recv ", mb / anchor.seconds,
        anchor.seconds / engine.seconds,
        engine.bytes == textBytes && anchor.bytes == anchorBytes ? "" : "  (BYTE COUNT MISMATCH)");
    std::printf("%-26s reader's CPU time: engine %7.1f MB/s, anchor %7.1f MB/s, ratio %.2fx\n", "",
                mb / engine.cpuSeconds, mb / anchor.cpuSeconds,
                anchor.cpuSeconds / engine.cpuSeconds);
}

// Case names on the command line run only those cases (plain, ansi-off, ansi, mccp2-1k,
// mccp2-once), e.g. for a profiler; none runs them all.
bool Wanted(int argc, char** argv, std::string_view name) {
    if (argc < 2) return true;
    for (int k = 1; k < argc; ++k) {
        if (name == argv[k]) return true;
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<GameLine> lines = MakeGameLines();
    std::printf(
        "real CTelnetEngine + CSocket over 127.0.0.1 against the same bytes read by a "
        "plain loop; lines of %.1f bytes, best of %d\n",
        AverageLineBytes(lines), kRuns);
    if (Wanted(argc, argv, "plain") || Wanted(argc, argv, "ansi-off") ||
        Wanted(argc, argv, "ansi")) {
        const std::string text = GameText(lines, 128u << 20);
        if (Wanted(argc, argv, "plain")) Compare("plain", text, text.size(), false, 0);
        // What ANSI translation costs: the client's own codes with it off and on, and the same
        // text with its codes written as SGR.
        if (Wanted(argc, argv, "ansi-off"))
            Compare("plain, ANSI off", text, text.size(), false, 0, Ansi(false));
        if (Wanted(argc, argv, "ansi")) {
            const std::string ansi = AnsiText(text);
            Compare("ANSI colours", ansi, DecodedBytes(ansi, Ansi(true)), false, 0);
        }
    }
    const std::string text = GameText(lines, 32u << 20);
    const std::string start = std::string("\xFF\xFB\x56", 3) + Mccp2Start();
    if (Wanted(argc, argv, "mccp2-1k"))
        Compare("mccp2 level 9, flushed 1 KiB", start + Deflate(text, 9, 1024), text.size(), true,
                start.size());
    if (Wanted(argc, argv, "mccp2-once"))
        Compare("mccp2 level 9, flushed once", start + Deflate(text, 9, text.size()), text.size(),
                true, start.size());
    return 0;
}
