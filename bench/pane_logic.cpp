// Throughput of the output pane's append path (URL marking and rendering of format codes) on
// server-like text, and the cost of releasing a long stretch of held output.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "bench/CountingPane.h"
#include "net/ServerTextDecoder.h"
#include "ui/RichPane.h"

namespace {

// Lines of exactly 57 bytes (CR LF included) as a game sends them: colour codes, some bold,
// now and then a URL.
std::vector<std::string> MakeLines() {
    const char* bodies[] = {
        "\xC4"
        "ffff00The town crier shouts: Welcome, traveller!\xBE",
        "You see a \xE0"
        "rusty sword\xA0 lying on the ground here.",
        "\xC4"
        "00ff00Gossip: new maps at http://www.example.org/m\xBE",
        "A cold wind blows from the north. The gate stands open.",
        "\xC4"
        "ff0000You are hungry.\xBE Exits: north, south, east.",
        "Tell: see www.example.net/guide for the quest notes ok",
        "\xC4"
        "00ffffHP: 120/120  MP: 87/90  MV: 200/200\xBE >      ",
    };
    std::vector<std::string> lines;
    for (const char* body : bodies) {
        std::string line = body;
        line.resize(55, ' ');
        line += "\r\n";
        lines.push_back(line);
    }
    return lines;
}

// The lines with their codes written as ANSI SGR, as most game servers send them.
std::vector<std::string> AnsiLines(const std::vector<std::string>& lines) {
    std::vector<std::string> result;
    for (const std::string& line : lines) result.push_back(bench::AnsiText(line));
    return result;
}

double Seconds(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

}  // namespace

int main() {
    const std::vector<std::string> lines = MakeLines();
    const std::vector<std::string> prefixes{"http://", "https://", "www."};

    // Streaming: one Append per line, as the telnet engine delivers them. The machine is
    // shared, so after a warm-up pass the median of several passes is reported (and the best).
    const auto stream = [&lines](const std::vector<std::string>& urlPrefixes, const char* what) {
        CountingFactory factory;
        CRichPane pane;
        pane.Create(factory, nullptr, 0, 640, 480, true);
        pane.SetUrlPrefixes(urlPrefixes);
        const std::size_t lineCount = 2'000'000;
        std::vector<double> times;
        for (int pass = 0; pass < 10; ++pass) {
            const auto start = std::chrono::steady_clock::now();
            // A wrapping index rather than a division per line, which would be timed as well.
            for (std::size_t i = 0, line = 0; i < lineCount; ++i) {
                pane.Append(lines[line]);
                if (++line == lines.size()) line = 0;
            }
            if (pass > 0) times.push_back(Seconds(std::chrono::steady_clock::now() - start));
        }
        std::sort(times.begin(), times.end());
        const double megabytes = static_cast<double>(lineCount * 57) / 1e6;
        const double median = times[times.size() / 2];
        std::printf(
            "stream%s: %zu lines of 57 bytes, %.0f MB: median %.0f MB/s, best %.0f MB/s "
            "(shown %zu bytes)\n",
            what, lineCount, megabytes, megabytes / median, megabytes / times.front(),
            factory.last->bytes);
    };
    stream(prefixes, "");
    stream({}, " (no URL prefixes)");

    // The same lines from a server that writes its colours as ANSI SGR, through the decoding
    // stage before the pane (the engine's road with ANSI translation on); and the client's own
    // lines through that stage, which lets them pass unchanged.
    const auto decoded = [&prefixes](const std::vector<std::string>& input, const char* what) {
        CountingFactory factory;
        CRichPane pane;
        pane.Create(factory, nullptr, 0, 640, 480, true);
        pane.SetUrlPrefixes(prefixes);
        CServerTextDecoder decoder;
        std::string text;
        const std::size_t lineCount = 2'000'000;
        std::size_t inputBytes = 0;
        for (const std::string& line : input) inputBytes += line.size();
        std::vector<double> times;
        for (int pass = 0; pass < 10; ++pass) {
            const auto start = std::chrono::steady_clock::now();
            for (std::size_t i = 0, line = 0; i < lineCount; ++i) {
                const std::string& received = input[line];
                if (decoder.PassesUnchanged(received)) {
                    pane.Append(received);
                } else {
                    text.clear();
                    decoder.Decode(received, text);
                    pane.Append(text);
                }
                if (++line == input.size()) line = 0;
            }
            if (pass > 0) times.push_back(Seconds(std::chrono::steady_clock::now() - start));
        }
        std::sort(times.begin(), times.end());
        // Counted in the bytes of the client's own lines, so the figures compare directly.
        const double megabytes = static_cast<double>(lineCount * 57) / 1e6;
        std::printf(
            "stream%s: %zu lines (%.1f bytes each as received): median %.0f MB/s, best "
            "%.0f MB/s\n",
            what, lineCount, static_cast<double>(inputBytes) / input.size(),
            megabytes / times[times.size() / 2], megabytes / times.front());
    };
    decoded(lines, " (own codes, ANSI translation on)");
    decoded(AnsiLines(lines), " (ANSI SGR lines, translated)");

    // Holding: 100k lines collected while held, then released in one go.
    {
        CountingFactory factory;
        CRichPane pane;
        pane.Create(factory, nullptr, 0, 640, 480, true);
        pane.SetUrlPrefixes(prefixes);
        const std::size_t lineCount = 100'000;
        pane.SetHoldByUser(true);
        const auto start = std::chrono::steady_clock::now();
        for (std::size_t i = 0; i < lineCount; ++i) pane.Append(lines[i % lines.size()]);
        const auto held = std::chrono::steady_clock::now();
        pane.SetHoldByUser(false);
        pane.Flush();
        const auto released = std::chrono::steady_clock::now();
        std::printf("hold: %zu lines appended in %.2f ms, released in %.2f ms (%.0f MB/s)\n",
                    lineCount, Seconds(held - start) * 1e3, Seconds(released - held) * 1e3,
                    static_cast<double>(lineCount * 57) / 1e6 / Seconds(released - held));
    }

    // An open PML tag that never closes: every line waits, and each append must not rescan
    // what is already waiting.
    {
        CountingFactory factory;
        CRichPane pane;
        pane.Create(factory, nullptr, 0, 640, 480, true);
        pane.SetUrlPrefixes(prefixes);
        const std::size_t lineCount = 100'000;
        pane.Append("\x19open tag");
        const auto start = std::chrono::steady_clock::now();
        for (std::size_t i = 0; i < lineCount; ++i) pane.Append(lines[i % lines.size()]);
        const auto end = std::chrono::steady_clock::now();
        std::printf("open tag: %zu lines appended behind it in %.2f ms\n", lineCount,
                    Seconds(end - start) * 1e3);
    }
    return 0;
}
