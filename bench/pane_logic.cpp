// Throughput of the output pane's append path (URL marking and rendering of format codes) on
// server-like text, and the cost of releasing a long stretch of held output.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <utility>
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

    // What ANSI translation costs on the engine's road (the decoding stage before the pane),
    // each road against its anchor in the same pass, since the machine is shared: the client's
    // own lines with translation on against the same lines appended directly; lines whose
    // codes a server wrote as ANSI SGR, translated, against their translated text appended
    // directly (the pane's own cost of the codes SGR gives).
    {
        struct Road {
            Road(const char* name, std::vector<std::string> lines, bool decodes)
                : what(name), input(std::move(lines)), decode(decodes) {}
            const char* what;
            std::vector<std::string> input;
            bool decode;
            std::unique_ptr<CountingFactory> factory = std::make_unique<CountingFactory>();
            std::unique_ptr<CRichPane> pane = std::make_unique<CRichPane>();
            CServerTextDecoder decoder;
            std::vector<double> times;
        };
        const std::vector<std::string> sgr = AnsiLines(lines);
        // The translated text of each SGR line in a steady cycle (the second time round, so the
        // look carried from the line before is the one a long stream carries).
        std::vector<std::string> translated;
        {
            CServerTextDecoder decoder;
            for (int round = 0; round < 2; ++round) {
                translated.clear();
                for (const std::string& line : sgr) {
                    std::string out;
                    decoder.Decode(line, out);
                    translated.push_back(out);
                }
            }
        }
        Road roads[4] = {{"own codes, appended directly", lines, false},
                         {"own codes, ANSI translation on", lines, true},
                         {"SGR lines' translation, appended directly", translated, false},
                         {"ANSI SGR lines, translated", sgr, true}};
        for (Road& road : roads) {
            road.pane->Create(*road.factory, nullptr, 0, 640, 480, true);
            road.pane->SetUrlPrefixes(prefixes);
        }
        // Short passes taken in turns, so a road and its anchor see nearly the same load.
        const std::size_t lineCount = 200'000;
        std::string text;
        for (int pass = 0; pass < 51; ++pass) {
            for (Road& road : roads) {
                const auto start = std::chrono::steady_clock::now();
                for (std::size_t i = 0, line = 0; i < lineCount; ++i) {
                    const std::string& received = road.input[line];
                    if (!road.decode || road.decoder.PassesUnchanged(received)) {
                        road.pane->Append(received);
                    } else {
                        text.clear();
                        road.decoder.Decode(received, text);
                        road.pane->Append(text);
                    }
                    if (++line == road.input.size()) line = 0;
                }
                if (pass > 0)
                    road.times.push_back(Seconds(std::chrono::steady_clock::now() - start));
            }
        }
        // Counted in the bytes of the client's own lines, so the figures compare directly.
        const double megabytes = static_cast<double>(lineCount * 57) / 1e6;
        for (int k = 0; k < 4; ++k) {
            Road& road = roads[k];
            std::size_t inputBytes = 0;
            for (const std::string& line : road.input) inputBytes += line.size();
            std::vector<double> ratios;
            if (k % 2 == 1) {
                for (std::size_t pass = 0; pass < road.times.size(); ++pass)
                    ratios.push_back(roads[k - 1].times[pass] / road.times[pass]);
                std::sort(ratios.begin(), ratios.end());
            }
            std::sort(road.times.begin(), road.times.end());
            std::printf(
                "stream (%s): %zu lines (%.1f bytes each as given): median %.0f MB/s, best "
                "%.0f MB/s",
                road.what, lineCount,
                static_cast<double>(inputBytes) / static_cast<double>(road.input.size()),
                megabytes / road.times[road.times.size() / 2], megabytes / road.times.front());
            if (k % 2 == 1)
                std::printf(
                    "; against the road above, pass by pass: median %.3fx, range %.3f-%.3fx",
                    ratios[ratios.size() / 2], ratios.front(), ratios.back());
            std::printf("\n");
        }
    }

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
