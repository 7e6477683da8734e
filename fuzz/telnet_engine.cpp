// Server bytes through the telnet engine: plain text, negotiation and compressed streams made
// from the fuzzer's bytes. The same stream is delivered once in one piece and once in pieces
// of fuzzer-chosen sizes; what the engine shows, reports and sends must not depend on where
// the pieces were cut, and its buffers must stay bounded. A plain stream shows exactly its
// telnet text, decoded by the server text settings the fuzzer chose.
#include <fuzzer/FuzzedDataProvider.h>
#include <zlib.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "net/TelnetEngine.h"
#include "tests/support/QueuedSocket.h"
#include "tests/support/RecordingTelnetHost.h"

namespace {

struct Outcome {
    std::vector<std::string> events;  // everything but the shown text
    std::string shown;
    std::string sent;
    bool connected = false;
    bool compressIn = false;
};

// Buffers may hold one inflate budget, one raw backlog and the pieces of a line or
// subnegotiation on top; growth beyond that means the bounds do not hold.
constexpr std::size_t kBufferedLimit =
    2 * (CTelnetEngine::kMaxRawBacklog + CTelnetEngine::kInflateChunk +
         CTelnetEngine::kMaxSubnegotiation + CTelnetEngine::kMaxLineLength);

void CheckBounded(const CTelnetEngine& engine) {
    if (engine.GetBufferedBytes() > kBufferedLimit ||
        engine.GetBufferCapacity() > 4 * kBufferedLimit) {
        std::abort();
    }
}

// sliceChunk 0: the engine's own slicing. Otherwise every slice ends after one chunk of that
// many bytes, which must change nothing but the number of ticks.
Outcome Deliver(const std::vector<std::string>& pieces, bool hasFilter,
                const ServerTextSettings& settings, std::size_t sliceChunk = 0) {
    QueuedSocket::Wire wire;
    RecordingTelnetHost host;
    host.hasFilter = hasFilter;
    host.takesGmcp = hasFilter;
    CTelnetEngine engine(host, [&wire] { return SocketPtr(new QueuedSocket(wire)); });
    engine.SetServerTextSettings(settings);
    std::chrono::steady_clock::time_point now{};
    if (sliceChunk != 0) {
        engine.SetSlicing([&now] { return now += std::chrono::hours(1); },
                          std::chrono::milliseconds(1), sliceChunk);
    }
    engine.CmdConnect("fuzz.invalid:23");
    engine.PollConnection();
    if (!engine.IsConnected()) std::abort();
    for (const std::string& piece : pieces) {
        wire.reads.push_back(piece);
        engine.ProcessIncoming();
        CheckBounded(engine);
        // A burst is worked off over several ticks, at worst one per byte of text.
        for (int tick = 0; tick < (1 << 20) && engine.HasPendingWork(); ++tick) {
            engine.ProcessIncoming();
            CheckBounded(engine);
        }
        if (engine.HasPendingWork()) std::abort();
        if (!engine.IsConnected()) break;
    }
    Outcome outcome{{},
                    std::move(host.shown),
                    std::move(wire.sent),
                    engine.IsConnected(),
                    engine.IsCompressIn()};
    for (std::string& event : host.events) {
        if (event.compare(0, 5, "show:") != 0) outcome.events.push_back(std::move(event));
    }
    return outcome;
}

// The deflate of payload in the zlib format at the given level; finished or only flushed.
std::string Deflate(const std::string& payload, int level, bool finish) {
    z_stream stream{};
    if (deflateInit(&stream, level) != Z_OK) std::abort();
    std::string out(deflateBound(&stream, payload.size()) + 64, '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(payload.data()));
    stream.avail_in = static_cast<uInt>(payload.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    const int result = deflate(&stream, finish ? Z_FINISH : Z_SYNC_FLUSH);
    if (result != (finish ? Z_STREAM_END : Z_OK)) std::abort();
    out.resize(out.size() - stream.avail_out);
    deflateEnd(&stream);
    return out;
}

// What a plain telnet stream shows, by the rules in their simplest form: commands and
// subnegotiations out, IAC IAC a 255, CR NUL a CR, text up to the last line feed or prompt
// mark. False when the stream does not settle that simply: a compression start, or a command or
// subnegotiation still open at its end.
bool ExpectedPlainText(const std::string& stream, std::string& shown) {
    const std::size_t size = stream.size();
    const auto at = [&](std::size_t i) { return static_cast<unsigned char>(stream[i]); };
    std::string text;
    std::size_t lineEnd = 0;
    bool afterCr = false;
    for (std::size_t i = 0; i < size;) {
        if (at(i) != 255) {
            if (at(i) != 0 || !afterCr) text += stream[i];
            if (at(i) == '\n') lineEnd = text.size();
            afterCr = at(i) == '\r';
            ++i;
            continue;
        }
        afterCr = false;
        if (i + 1 == size) return false;
        const unsigned char command = at(i + 1);
        if (command == 255) {
            text += stream[i];
            i += 2;
        } else if (command >= 251 && command <= 254) {
            if (i + 2 >= size) return false;
            i += 3;
        } else if (command == 249 || command == 239) {
            lineEnd = text.size();
            i += 2;
        } else if (command != 250) {
            i += 2;
        } else {
            if (i + 4 >= size) return false;
            if ((at(i + 2) == 85 && at(i + 3) == 251 && at(i + 4) == 240) ||
                (at(i + 2) == 86 && at(i + 3) == 255 && at(i + 4) == 240)) {
                return false;
            }
            std::size_t j = i + 3;
            while (j + 1 < size && !(at(j) == 255 && at(j + 1) == 240)) j += at(j) == 255 ? 2 : 1;
            if (j + 1 >= size) return false;
            i = j + 2;
        }
    }
    if (text.size() >= CTelnetEngine::kMaxLineLength) return false;
    shown = text.substr(0, lineEnd);
    return true;
}

// The text as the engine hands it out: decoded a line at a time, each line with its line feed.
std::string Decoded(const std::string& text, const ServerTextSettings& settings) {
    CServerTextDecoder decoder;
    decoder.SetSettings(settings);
    std::string out;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t feed = text.find('\n', at);
        const std::size_t end = feed == std::string::npos ? text.size() : feed + 1;
        const std::string_view line(text.data() + at, end - at);
        if (decoder.PassesUnchanged(line)) {
            out += line;
        } else {
            decoder.Decode(line, out);
        }
        at = end;
    }
    return out;
}

std::string Escaped(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        char hex[8];
        std::snprintf(hex, sizeof hex, c >= 0x20 && c < 0x7F && c != '\\' ? "%c" : "\\x%02x", c);
        out += hex;
    }
    return out;
}

void Report(const char* what, const std::vector<std::string>& pieces, const Outcome& whole,
            const Outcome& split) {
    std::fprintf(stderr, "telnet engine: %s\npieces:", what);
    for (const std::string& piece : pieces) std::fprintf(stderr, " [%s]", Escaped(piece).c_str());
    std::fprintf(stderr, "\n");
    for (const Outcome* outcome : {&whole, &split}) {
        std::fprintf(stderr, outcome == &whole ? "in one piece:\n" : "in pieces:\n");
        for (const std::string& event : outcome->events) {
            std::fprintf(stderr, "  %s\n", Escaped(event).c_str());
        }
        std::fprintf(stderr, "  shown %s\n", Escaped(outcome->shown).c_str());
        std::fprintf(stderr, "  sent %s\n", Escaped(outcome->sent).c_str());
    }
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const std::uint8_t flags = input.ConsumeIntegral<std::uint8_t>();
    const std::uint8_t shape = input.ConsumeIntegral<std::uint8_t>();
    const std::uint32_t splitSeed = input.ConsumeIntegral<std::uint32_t>();
    const bool hasFilter = flags & 0x01;
    const bool compressed = flags & 0x02;
    const bool version1 = flags & 0x04;
    const bool finish = flags & 0x08;
    const bool corrupt = flags & 0x10;
    const int level = (flags >> 5) & 0x07;  // 0 gives stored blocks

    // A plain prefix, a compression start, the deflate of a payload, then more plain bytes. A
    // stream left open carries the rest inside it. Every stream ends in a tail that closes an
    // open subnegotiation and the line: lines that came in the same read as an unfinished
    // subnegotiation wait for its end, those of earlier reads do not, so only a stream whose end
    // settles everything shows the same text in both deliveries.
    const std::string tail("\xFF\xF0\xFF\xF0\r\n", 6);  // twice: "IAC SB IAC SE" opens one
    std::string stream = input.ConsumeRandomLengthString(1024);
    bool openStream = false;
    if (compressed) {
        std::string payload = input.ConsumeRandomLengthString(2048);
        stream += version1 ? std::string("\xFF\xFA\x55\xFB\xF0", 5)
                           : std::string("\xFF\xFA\x56\xFF\xF0", 5);
        openStream = !finish;
        if (openStream) payload += input.ConsumeRemainingBytesAsString() + tail;
        std::string deflated = Deflate(payload, level, finish);
        if (corrupt && !deflated.empty()) {
            deflated[splitSeed % deflated.size()] ^= static_cast<char>(shape | 1);
        }
        stream += deflated;
    }
    if (!openStream) stream += input.ConsumeRemainingBytesAsString() + tail;

    // Piece sizes from 1 to a fuzzer-chosen maximum.
    const std::size_t maxPiece = std::size_t{1} << (shape & 0x07);
    std::minstd_rand random(splitSeed);
    std::vector<std::string> pieces;
    for (std::size_t at = 0; at < stream.size();) {
        const std::size_t length = 1 + random() % maxPiece;
        pieces.push_back(stream.substr(at, length));
        at += length;
    }

    // How server text is read: ANSI on or off, and the encoding.
    ServerTextSettings settings;
    settings.ansiColours = shape & 0x08;
    settings.boldBright = shape & 0x40;
    const ServerEncoding encodings[] = {ServerEncoding::Native, ServerEncoding::Utf8,
                                        ServerEncoding::Latin1, ServerEncoding::Native};
    settings.encoding = encodings[(shape >> 4) & 0x03];

    const Outcome whole = Deliver({stream}, hasFilter, settings);
    const Outcome split = Deliver(pieces, hasFilter, settings, 1 + (splitSeed >> 24) % 64);
    if (whole.events != split.events) Report("messages depend on the pieces", pieces, whole, split);
    // When the tail may not have settled the stream (the connection failed, a start sequence in
    // the plain bytes began a stream the tail went into, or a corrupt stream inflated to other
    // bytes), fewer lines are shown the fewer reads there were, never others.
    const bool settled = whole.connected && whole.compressIn == openStream && !corrupt;
    const bool sameText = settled ? whole.shown == split.shown
                                  : split.shown.compare(0, whole.shown.size(), whole.shown) == 0;
    if (!sameText) Report("shown text depends on the pieces", pieces, whole, split);
    if (whole.sent != split.sent) Report("replies depend on the pieces", pieces, whole, split);
    // The reference decodes the whole stream in one encoding; a CHARSET agreement switches the
    // engine to UTF-8 part-way, which the comparison of the two deliveries above still covers.
    const bool charsetSwitched =
        whole.sent.find(std::string("\xFF\xFA\x2A\x02", 4)) != std::string::npos;
    std::string expected;
    if (!compressed && !charsetSwitched && whole.connected && ExpectedPlainText(stream, expected) &&
        whole.shown != (expected = Decoded(expected, settings))) {
        std::fprintf(stderr, "expected %s\n", Escaped(expected).c_str());
        Report("shown text is not the stream's telnet text", pieces, whole, split);
    }
    return 0;
}
