// Telnet engine throughput, headless: from the socket's buffer to the lines handed to the host,
// for plain text and for compressed streams, each compared with plain zlib inflate of the same
// stream measured in the same run.
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <string>

#include "net/TelnetEngine.h"

namespace {

using Clock = std::chrono::steady_clock;

// Hands out a prepared byte stream, one read-sized piece per Receive.
class MemorySocket : public CBaseSocket {
  public:
    MemorySocket(const std::string& data, int repeats) : m_data(data), m_repeats(repeats) {}
    void Release() override { delete this; }
    bool Connect(const char*, std::uint16_t) override { return true; }
    std::uint32_t CheckConnect() override { return kSocketConnected; }
    void Close() override {}
    void ClearError() override {}
    std::uint32_t Receive() override {
        if (m_offset == m_data.size() && m_repeats > 1) {
            m_offset = 0;
            --m_repeats;
        }
        m_length = std::min(kRead, m_data.size() - m_offset);
        return kReceiveOk;
    }
    const char* GetLine() override { return ""; }
    std::size_t GetBufferSize() override { return m_length; }
    const char* GetBuffer() override { return m_data.data() + m_offset; }
    void ClearBuffer() override {
        m_offset += m_length;
        m_length = 0;
    }
    bool Send(const char*, std::size_t) override { return true; }
    const char* GetLastErrorText() override { return ""; }
    bool IsConnected() override { return true; }
    bool HasData() override { return m_length != 0; }
    bool Drained() const { return m_offset == m_data.size() && m_repeats <= 1; }

  private:
    static constexpr std::size_t kRead = 256 * 1024;
    const std::string& m_data;
    int m_repeats;
    std::size_t m_offset = 0;
    std::size_t m_length = 0;
};

class CountingHost : public ITelnetHost {
  public:
    void Report(TelnetMessageKind kind, std::string_view) override {
        if (kind == TelnetMessageKind::Error) ++errors;
    }
    void ReportBlock(std::span<const TelnetMessagePart>) override {}
    void ShowText(std::string_view text) override {
        shown += text.size();
        ++lines;
    }
    bool HasReceiveFilter() override { return false; }
    void FilterReceivedLine(std::string&) override {}
    void FireConnected() override {}
    void FireConnectFailed() override {}
    void FireDisconnect(bool) override {}
    PaneMetrics MeasureOutputPane() override { return {}; }
    std::int64_t CurrentTimeSeconds() override { return 0; }
    void WatchSocket(int) override {}

    std::uint64_t shown = 0;
    std::uint64_t lines = 0;
    int errors = 0;
};

std::string MakeText(std::size_t size) {
    static const char* const kWords[] = {
        "the",  "orc",    "hits",  "you",    "with",         "a",    "rusty", "sword",  "You",
        "miss", "goblin", "north", "exits:", "[HP:120/120]", "gold", "coins", "tavern", "quietly"};
    std::mt19937 random(3);
    std::string text;
    text.reserve(size + 128);
    while (text.size() < size) {
        const int words = 4 + static_cast<int>(random() % 12);
        for (int i = 0; i < words; ++i) {
            if (i) text += ' ';
            text += kWords[random() % (sizeof(kWords) / sizeof(kWords[0]))];
        }
        text += "\r\n";
    }
    return text;
}

std::string Deflate(const std::string& text, std::size_t flushEvery) {
    z_stream stream{};
    deflateInit(&stream, 6);
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
    deflateEnd(&stream);
    return out;
}

// Seconds for the engine to take the whole stream through to the host.
double RunEngine(const std::string& stream, int repeats, std::uint64_t& shown) {
    CountingHost host;
    MemorySocket* socket = nullptr;
    CTelnetEngine engine(host, [&] {
        socket = new MemorySocket(stream, repeats);
        return SocketPtr(socket);
    });
    engine.CmdConnect("bench:4000");
    engine.PollConnection();
    const auto start = Clock::now();
    while (!socket->Drained() || engine.HasPendingWork()) engine.ProcessIncoming();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    shown = host.shown;
    if (host.errors) std::printf("  (engine reported %d errors)\n", host.errors);
    return seconds;
}

double RunRawInflate(const std::string& compressed, std::uint64_t& produced) {
    const auto start = Clock::now();
    z_stream stream{};
    inflateInit(&stream);
    static unsigned char chunk[65536];
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(compressed.data()));
    stream.avail_in = static_cast<uInt>(compressed.size());
    produced = 0;
    int result;
    do {
        stream.next_out = chunk;
        stream.avail_out = sizeof(chunk);
        result = inflate(&stream, Z_NO_FLUSH);
        produced += sizeof(chunk) - stream.avail_out;
    } while (result == Z_OK && (stream.avail_out == 0 || stream.avail_in != 0));
    inflateEnd(&stream);
    return std::chrono::duration<double>(Clock::now() - start).count();
}

template <class Run>
double Best(int runs, Run run) {
    double best = 1e9;
    for (int i = 0; i < runs; ++i) best = std::min(best, run());
    return best;
}

void Compressed(const char* name, const std::string& text, std::size_t flushEvery) {
    const std::string compressed = Deflate(text, flushEvery);
    const std::string stream = std::string("\xFF\xFA\x56\xFF\xF0", 5) + compressed;
    std::uint64_t shown = 0;
    std::uint64_t produced = 0;
    const double engine = Best(5, [&] { return RunEngine(stream, 1, shown); });
    const double raw = Best(5, [&] { return RunRawInflate(compressed, produced); });
    const double mb = static_cast<double>(text.size()) / 1e6;
    std::printf(
        "%-28s %7.1f MB text (%5.1f MB compressed): engine %7.1f MB/s, raw inflate %7.1f "
        "MB/s, ratio %.2fx%s\n",
        name, mb, compressed.size() / 1e6, mb / engine, mb / raw, raw / engine,
        shown == text.size() && produced == text.size() ? "" : "  (BYTE COUNT MISMATCH)");
}

}  // namespace

int main() {
    const std::string text = MakeText(64 * 1024 * 1024);
    {
        const int repeats = 8;
        std::uint64_t shown = 0;
        const double seconds = Best(3, [&] { return RunEngine(text, repeats, shown); });
        const double mb = static_cast<double>(text.size()) * repeats / 1e6;
        std::printf("%-28s %7.1f MB text: engine %7.1f MB/s (%.2f GB/s)%s\n", "plain", mb,
                    mb / seconds, mb / seconds / 1000,
                    shown == text.size() * repeats ? "" : "  (BYTE COUNT MISMATCH)");
    }
    Compressed("mccp2, one flush", text, text.size());
    Compressed("mccp2, flushed every 1 KB", text, 1024);
    return 0;
}
