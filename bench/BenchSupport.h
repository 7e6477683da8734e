#pragma once

// Helpers shared by the benchmark programs: clocks, percentiles, process memory, game-like
// text, deflate streams and a loopback listener. Header only, since every bench/*.cpp is a
// program of its own.
#include <arpa/inet.h>
#include <malloc.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>
#include <zlib.h>
#if defined(__x86_64__)
#include <x86intrin.h>
#endif

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace bench {

using Clock = std::chrono::steady_clock;

inline double Millis(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}
inline double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// A clock for timing single calls of a microsecond or less, at a third of the cost of reading
// the steady clock (whose cost would otherwise be a share of what is measured): the processor's
// time stamp counter, calibrated against the steady clock once. Elsewhere the steady clock.
class CallClock {
  public:
    CallClock() {
#if defined(__x86_64__)
        const auto start = Clock::now();
        const std::uint64_t ticks = __rdtsc();
        while (Clock::now() - start < std::chrono::milliseconds(20)) {
        }
        m_msPerTick = bench::Millis(Clock::now() - start) / static_cast<double>(__rdtsc() - ticks);
#endif
    }
    std::uint64_t Now() const {
#if defined(__x86_64__)
        return __rdtsc();
#else
        return static_cast<std::uint64_t>(Clock::now().time_since_epoch().count());
#endif
    }
    double Millis(std::uint64_t from, std::uint64_t to) const {
        return static_cast<double>(to - from) * m_msPerTick;
    }

  private:
    double m_msPerTick = std::chrono::duration<double, std::milli>(Clock::duration(1)).count();
};

// Median, p99 and max of a set of samples (sorted in place).
struct Spread {
    double median = 0;
    double p99 = 0;
    double max = 0;
    std::size_t count = 0;
};
inline Spread SpreadOf(std::vector<double>& samples) {
    Spread spread;
    spread.count = samples.size();
    if (samples.empty()) return spread;
    std::sort(samples.begin(), samples.end());
    const auto at = [&](double q) {
        return samples[std::min(samples.size() - 1,
                                static_cast<std::size_t>(q * static_cast<double>(samples.size())))];
    };
    spread.median = at(0.5);
    spread.p99 = at(0.99);
    spread.max = samples.back();
    return spread;
}

// Resident bytes now, from /proc/self/statm.
inline double ResidentBytes() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0;
    long resident = 0;
    statm >> pages >> resident;
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE));
}

// The process's peak resident bytes (VmHWM) since start or since ResetPeakResident.
inline double PeakResidentBytes() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) return std::atof(line.c_str() + 6) * 1024.0;
    }
    return 0;
}

// Gives freed heap back to the system and restarts the peak count, so that the next
// measurement sees only its own growth.
inline void ResetPeakResident() {
    malloc_trim(0);
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
}

// Which of the realistic lines carry formats; the rest is plain text.
enum class LineKind { Plain, Colour, Bold, Url };

// One piece of a line as a widget that takes runs of one format would insert it.
struct TextRun {
    std::string text;
    std::uint32_t rrggbb = 0xd0d0d0;
    bool bold = false;
    bool link = false;
};

struct GameLine {
    std::string encoded;  // as the server sends it: the client's format codes, CR LF at the end
    std::vector<TextRun> runs;
    LineKind kind = LineKind::Plain;
};

// Server-like lines of 74 bytes on average (CR LF included): 40% carry a colour or bold code,
// one in twenty has a link. Deterministic, so every run and every anchor sees the same text.
inline std::vector<GameLine> MakeGameLines(std::size_t count = 4096) {
    static const char* const kWords[] = {
        "the",    "orc",    "hits",  "you",    "with",   "a",      "rusty",  "sword",   "You",
        "miss",   "goblin", "north", "exits:", "gold",   "coins",  "tavern", "quietly", "cold",
        "wind",   "blows",  "from",  "gate",   "stands", "open",   "guard",  "says",    "Welcome",
        "travel", "heals",  "your",  "wounds", "dark",   "forest", "path",   "leads",   "east"};
    static const char* const kUrls[] = {"http://www.example.org/maps", "www.example.net/guide",
                                        "https://example.com/forum/t/42"};
    static const std::uint32_t kColours[] = {0xff0000, 0x00ff00, 0xffff00, 0x00ffff, 0xff00ff};
    std::mt19937 random(7);
    const auto words = [&](std::size_t bytes) {
        std::string text;
        while (text.size() < bytes) {
            if (!text.empty()) text += ' ';
            text += kWords[random() % (sizeof kWords / sizeof kWords[0])];
        }
        return text;
    };
    std::vector<GameLine> lines;
    lines.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        GameLine line;
        const unsigned pick = random() % 20;
        // Body lengths of 48..88 bytes before the last word; 74 bytes a line on average.
        const std::size_t body = 48 + random() % 41;
        if (pick < 5) {
            line.kind = LineKind::Colour;
            const std::uint32_t colour = kColours[random() % 5];
            TextRun coloured{words(body / 3), colour};
            TextRun rest{" " + words(body - body / 3 - 1 - 9)};
            char code[8];
            std::snprintf(code, sizeof code, "%06x", colour);
            line.encoded = "\xC4" + std::string(code) + coloured.text + "\xBE" + rest.text;
            line.runs = {coloured, rest};
        } else if (pick < 8) {
            line.kind = LineKind::Bold;
            TextRun plain{words(body / 4) + " "};
            TextRun bold{words(body / 4)};
            bold.bold = true;
            TextRun rest{" " + words(body - plain.text.size() - bold.text.size() - 3)};
            line.encoded = plain.text + "\xE0" + bold.text + "\xA0" + rest.text;
            line.runs = {plain, bold, rest};
        } else if (pick == 8) {
            line.kind = LineKind::Url;
            const std::string url = kUrls[random() % 3];
            TextRun before{words(body / 3) + " "};
            TextRun link{url, 0xffffff};
            link.link = true;
            TextRun after{" " + words(body > before.text.size() + url.size() + 8
                                          ? body - before.text.size() - url.size() - 1
                                          : 6)};
            line.encoded = before.text + url + after.text;
            line.runs = {before, link, after};
        } else {
            TextRun plain{words(body)};
            line.encoded = plain.text;
            line.runs = {plain};
        }
        line.encoded += "\r\n";
        lines.push_back(std::move(line));
    }
    return lines;
}

inline double AverageLineBytes(const std::vector<GameLine>& lines) {
    double total = 0;
    for (const GameLine& line : lines) total += static_cast<double>(line.encoded.size());
    return total / static_cast<double>(lines.size());
}

// The lines one after another, repeated up to at least bytes.
inline std::string GameText(const std::vector<GameLine>& lines, std::size_t bytes) {
    std::string text;
    text.reserve(bytes + 256);
    for (std::size_t i = 0; text.size() < bytes; ++i) text += lines[i % lines.size()].encoded;
    return text;
}

// A finished zlib stream of text, Z_SYNC_FLUSH after every flushEvery bytes (the whole text
// for once).
inline std::string Deflate(std::string_view text, int level, std::size_t flushEvery) {
    z_stream stream{};
    deflateInit(&stream, level);
    std::string out;
    std::string chunk(1 << 16, '\0');
    for (std::size_t at = 0; at < text.size(); at += flushEvery) {
        const std::size_t length = std::min(flushEvery, text.size() - at);
        stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data() + at));
        stream.avail_in = static_cast<uInt>(length);
        do {
            stream.next_out = reinterpret_cast<Bytef*>(chunk.data());
            stream.avail_out = static_cast<uInt>(chunk.size());
            deflate(&stream, Z_SYNC_FLUSH);
            out.append(chunk.data(), chunk.size() - stream.avail_out);
        } while (stream.avail_out == 0);
    }
    // Ends the stream the way a server does before it closes or leaves compression.
    stream.avail_in = 0;
    int status = Z_OK;
    while (status == Z_OK) {
        stream.next_out = reinterpret_cast<Bytef*>(chunk.data());
        stream.avail_out = static_cast<uInt>(chunk.size());
        status = deflate(&stream, Z_FINISH);
        out.append(chunk.data(), chunk.size() - stream.avail_out);
    }
    deflateEnd(&stream);
    return out;
}

// Telnet IAC SB COMPRESS2 IAC SE: what follows is compressed.
inline std::string Mccp2Start() { return std::string("\xFF\xFA\x56\xFF\xF0", 5); }

// A listening TCP socket on 127.0.0.1 with a port the system chose.
struct LoopbackListener {
    int descriptor = -1;
    std::uint16_t port = 0;

    LoopbackListener() {
        descriptor = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (bind(descriptor, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            listen(descriptor, 4) != 0) {
            std::perror("listen on 127.0.0.1");
            std::exit(1);
        }
        socklen_t length = sizeof address;
        getsockname(descriptor, reinterpret_cast<sockaddr*>(&address), &length);
        port = ntohs(address.sin_port);
    }
    ~LoopbackListener() {
        if (descriptor >= 0) close(descriptor);
    }
    LoopbackListener(const LoopbackListener&) = delete;
    LoopbackListener& operator=(const LoopbackListener&) = delete;

    // Waits at most timeoutMs for a client; -1 when none came.
    int Accept(int timeoutMs = 10000) const {
        timeval timeout{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
        setsockopt(descriptor, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
        const int client = accept(descriptor, nullptr, nullptr);
        if (client >= 0) {
            int one = 1;
            setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        }
        return client;
    }

    // A blocking client connection to this listener (for the anchors' own recv loops).
    int ConnectClient() const {
        const int client = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(port);
        if (connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            std::perror("connect to 127.0.0.1");
            std::exit(1);
        }
        return client;
    }
};

// Sends all of data; false when the peer went away.
inline bool SendAll(int descriptor, std::string_view data) {
    while (!data.empty()) {
        const ssize_t sent = send(descriptor, data.data(), data.size(), MSG_NOSIGNAL);
        if (sent <= 0) return false;
        data.remove_prefix(static_cast<std::size_t>(sent));
    }
    return true;
}

// The URL prefixes an installation's program configuration gives the output pane.
inline std::vector<std::string> InstalledUrlPrefixes() { return {"http://", "https://", "www."}; }
inline const char* InstalledUrlPrefixSetting() {
    return "URLPrefixes = \"http://\", \"https://\", \"www.\"\n";
}

// The same game text as a server that speaks ANSI sends it: its colour and bold codes as SGR.
inline std::string AnsiText(const std::string& native) {
    std::string out;
    out.reserve(native.size() + native.size() / 8);
    for (std::size_t i = 0; i < native.size(); ++i) {
        const auto c = static_cast<unsigned char>(native[i]);
        if (c == 0xC4 && i + 6 < native.size()) {
            const std::string colour = native.substr(i + 1, 6);
            const char* sgr = colour == "ff0000"   ? "\x1b[1;31m"
                              : colour == "00ff00" ? "\x1b[1;32m"
                              : colour == "ffff00" ? "\x1b[1;33m"
                              : colour == "00ffff" ? "\x1b[1;36m"
                                                   : "\x1b[38;5;201m";
            out += sgr;
            i += 6;
        } else if (c == 0xBE) {
            out += "\x1b[0m";
        } else if (c == 0xE0) {
            out += "\x1b[1m";
        } else if (c == 0xA0) {
            out += "\x1b[22m";
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

}  // namespace bench
