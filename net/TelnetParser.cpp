// Telnet command parsing of CTelnetEngine: commands are taken out of the received bytes, which
// leaves the text that is shown.
#include <cstring>
#include <string>

#include "net/TelnetCodes.h"
#include "net/TelnetEngine.h"

namespace {

constexpr std::size_t kNotFound = static_cast<std::size_t>(-1);

// The position just after the IAC SE that ends a subnegotiation body starting at from, or
// kNotFound. Inside the body IAC IAC is an escaped 255, so its second byte never starts an IAC
// SE. pendingIac says that the byte before from was an IAC still waiting for its partner, and is
// left saying so of the last byte when no end is found.
std::size_t FindSubnegotiationEnd(const unsigned char* data, std::size_t from, std::size_t size,
                                  bool& pendingIac) {
    if (pendingIac) {
        if (from >= size) return kNotFound;
        pendingIac = false;
        if (data[from] == Telnet::kSe) return from + 1;
        ++from;
    }
    while (from < size) {
        const void* hit = std::memchr(data + from, Telnet::kIac, size - from);
        if (!hit) return kNotFound;
        const std::size_t at =
            static_cast<std::size_t>(static_cast<const unsigned char*>(hit) - data);
        if (at + 1 == size) {
            pendingIac = true;
            return kNotFound;
        }
        if (data[at + 1] == Telnet::kSe) return at + 2;
        from = at + 2;
    }
    return kNotFound;
}

bool TakesSubnegotiation(std::uint8_t option) {
    return option == Telnet::kTerminalType || option == Telnet::kCharset || option == Telnet::kGmcp;
}

// A subnegotiation body with every IAC IAC made one 255 byte.
std::string UnescapeBody(const unsigned char* data, std::size_t length) {
    std::string body;
    body.reserve(length);
    for (std::size_t k = 0; k < length; ++k) {
        body += static_cast<char>(data[k]);
        if (data[k] == Telnet::kIac && k + 1 < length && data[k + 1] == Telnet::kIac) ++k;
    }
    return body;
}

bool IsNegotiation(std::uint8_t command) {
    return command == Telnet::kWill || command == Telnet::kDo || command == Telnet::kWont ||
           command == Telnet::kDont;
}

}  // namespace

void CTelnetEngine::CopyText(unsigned char* data, std::size_t& from, std::size_t end,
                             std::size_t& to) {
    while (from < end) {
        const void* nul = std::memchr(data + from, 0, end - from);
        const std::size_t stop =
            nul ? static_cast<std::size_t>(static_cast<const unsigned char*>(nul) - data) : end;
        // Read before the move may overwrite it.
        const bool afterCr = stop > from ? data[stop - 1] == '\r' : m_afterCr;
        if (to != from) std::memmove(data + to, data + from, stop - from);
        to += stop - from;
        from = stop;
        m_afterCr = afterCr;
        if (stop == end) return;
        // CR NUL is a bare carriage return; any other NUL is text.
        if (!afterCr) data[to++] = 0;
        ++from;
        m_afterCr = false;
    }
}

void CTelnetEngine::MarkPromptEnd(const unsigned char* data, std::size_t at) {
    // A prompt mark right after a line end or another mark would only make an empty line.
    if (at == 0 || data[at - 1] == '\n') return;
    const std::uint64_t position = m_textTaken + at;
    if (!m_promptEnds.empty() && m_promptEnds.back() == position) return;
    m_promptEnds.push_back(position);
}

bool CTelnetEngine::ParseTelnet(CByteBuffer& buffer, std::size_t scanLimit) {
    m_moreToScan = false;
    if (m_decoderToUtf8) {
        m_decoderToUtf8 = false;
        m_decoder.SetEncoding(ServerEncoding::Utf8);
    }
    if (buffer.Empty()) return false;
    if (m_discardingSubnegotiation && !DiscardSubnegotiation(buffer)) return true;
    const std::size_t size = buffer.Size();

    const std::uint64_t generation = m_generation;
    unsigned char* data = reinterpret_cast<unsigned char*>(buffer.Data());
    // Commands are removed by compacting while scanning: read at i, write at w.
    std::size_t i = m_scanPos < size ? m_scanPos : size;
    std::size_t w = i;
    // Only where a command starts is bounded; its bytes may lie beyond the limit.
    const std::size_t scanEnd = scanLimit < size - i ? i + scanLimit : size;
    // A command at the end waits for the rest of its bytes.
    bool waiting = false;
    // Closes the gap left by removed commands; scanning resumes at w in a later pass, where a
    // command whose bytes have not all arrived waits. The gap closes from whichever side has
    // fewer bytes: a long unscanned tail is not moved for every slice.
    auto finish = [&]() {
        if (w != i) buffer.Erase(w, i - w);
        m_scanPos = w;
    };

    while (i < scanEnd) {
        const void* hit = std::memchr(data + i, Telnet::kIac, scanEnd - i);
        if (!hit) {
            CopyText(data, i, scanEnd, w);
            break;
        }
        CopyText(data, i, static_cast<std::size_t>(static_cast<const unsigned char*>(hit) - data),
                 w);
        if (i + 1 >= size) {
            waiting = true;
            break;
        }
        const std::uint8_t command = data[i + 1];
        if (command == Telnet::kIac) {
            data[w++] = Telnet::kIac;
            i += 2;
            m_afterCr = false;
            continue;
        }
        if (IsNegotiation(command)) {
            if (i + 2 >= size) {
                waiting = true;
                break;
            }
            const std::uint8_t option = data[i + 2];
            i += 3;
            m_afterCr = false;
            // The reply can fail (a broken outgoing stream) and drop the connection, which
            // empties this buffer: then nothing here may be touched again.
            if (command == Telnet::kWill || command == Telnet::kDo) {
                OnWillDo(option, command);
            } else {
                OnWontDont(option, command);
            }
            if (generation != m_generation) return false;
            continue;
        }
        if (command != Telnet::kSb) {
            // Every other two-byte command is taken out; GA and EOR end the prompt before them.
            i += 2;
            m_afterCr = false;
            if (command == Telnet::kGa || command == Telnet::kEor) MarkPromptEnd(data, w);
            continue;
        }
        if (size - i < 5) {
            finish();
            return false;
        }
        const std::uint8_t option = data[i + 2];
        const bool compressStart = option == Telnet::kCompress && data[i + 3] == Telnet::kWill &&
                                   data[i + 4] == Telnet::kSe;
        const bool compress2Start = option == Telnet::kCompress2 && data[i + 3] == Telnet::kIac &&
                                    data[i + 4] == Telnet::kSe;
        m_afterCr = false;
        if ((compressStart || compress2Start) && m_compressIn) {
            // A start inside the compressed stream starts nothing: it is dropped and the scan
            // goes on, so the commands after it are handled like any others.
            i += 5;
            continue;
        }
        if (compressStart || compress2Start) {
            i += 5;
            finish();
            m_compressionStarted = true;
            // Bytes before the sequence are plain text; everything after it is compressed.
            SetCompressIn(true, w);
            return false;
        }
        bool pendingIac = false;
        const std::size_t end = FindSubnegotiationEnd(data, i + 3, size, pendingIac);
        if (end == kNotFound) {
            if (size - i <= kMaxSubnegotiation) {
                finish();
                return false;
            }
            // Too long to be a real subnegotiation: drop it and whatever follows up to its
            // IAC SE, so the text after it still gets through.
            m_discardingSubnegotiation = true;
            m_discardSawIac = pendingIac;
            buffer.Truncate(w);
            m_scanPos = w;
            return true;
        }
        m_trace(option == Telnet::kCompress    ? "GOT Compress SB\n"
                : option == Telnet::kCompress2 ? "GOT Compress2 SB\n"
                                               : "GOT unknown SB\n");
        const std::size_t bodyStart = i + 3;
        i = end;
        if (TakesSubnegotiation(option)) {
            // Copied out: answering may run scripts, which may drop the connection and with
            // it this buffer.
            const std::string body = UnescapeBody(data + bodyStart, end - 2 - bodyStart);
            OnSubnegotiation(option, body);
            if (generation != m_generation) return false;
            if (m_decoderToUtf8) {
                m_moreToScan = i < size;
                finish();
                return true;
            }
        }
    }
    m_moreToScan = !waiting && i < size;
    finish();
    return true;
}

bool CTelnetEngine::DiscardSubnegotiation(CByteBuffer& buffer) {
    const std::size_t size = buffer.Size();
    unsigned char* data = reinterpret_cast<unsigned char*>(buffer.Data());
    const std::size_t from = m_scanPos < size ? m_scanPos : size;
    const std::size_t resume = FindSubnegotiationEnd(data, from, size, m_discardSawIac);
    if (resume == kNotFound) {
        buffer.Truncate(from);
        return false;
    }
    buffer.Erase(from, resume - from);
    m_discardingSubnegotiation = false;
    m_discardSawIac = false;
    m_afterCr = false;
    return true;
}
