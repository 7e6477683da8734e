// Telnet command parsing, option negotiation and window-size reports of CTelnetEngine.
#include <cstring>

#include "net/TelnetCodes.h"
#include "net/TelnetEngine.h"

namespace {

// Position of the first IAC SE at or after from in [0, size), or size when there is none.
std::size_t FindIacSe(const unsigned char* data, std::size_t from, std::size_t size) {
    while (from + 1 < size) {
        const void* hit = std::memchr(data + from, Telnet::kIac, size - 1 - from);
        if (!hit) return size;
        const std::size_t at =
            static_cast<std::size_t>(static_cast<const unsigned char*>(hit) - data);
        if (data[at + 1] == Telnet::kSe) return at;
        from = at + 1;
    }
    return size;
}

const char* VerbName(std::uint8_t verb) {
    switch (verb) {
        case Telnet::kWill:
            return "WILL";
        case Telnet::kDo:
            return "DO";
        case Telnet::kWont:
            return "WON'T";
        default:
            return "DON'T";
    }
}

}  // namespace

bool CTelnetEngine::ParseTelnet(CByteBuffer& buffer) {
    if (buffer.Empty()) return false;
    if (m_discardingSubnegotiation && !DiscardSubnegotiation(buffer)) return true;
    const std::size_t size = buffer.Size();
    if (size < 3) return true;

    const std::uint64_t generation = m_generation;
    unsigned char* data = reinterpret_cast<unsigned char*>(buffer.Data());
    // Commands are removed by compacting while scanning: read at i, write at w.
    std::size_t i = m_scanPos < size ? m_scanPos : size;
    std::size_t w = i;
    auto copyText = [&](std::size_t end) {
        if (w != i) std::memmove(data + w, data + i, end - i);
        w += end - i;
        i = end;
    };
    // Closes the gap left by removed commands; scanning resumes at w in a later pass.
    auto finish = [&]() {
        if (w != i) {
            std::memmove(data + w, data + i, size - i);
            buffer.Truncate(w + (size - i));
        }
        m_scanPos = w;
    };

    while (i + 2 < size) {
        const void* hit = std::memchr(data + i, Telnet::kIac, size - 2 - i);
        if (!hit) {
            copyText(size - 2);
            break;
        }
        copyText(static_cast<std::size_t>(static_cast<const unsigned char*>(hit) - data));
        const std::uint8_t command = data[i + 1];
        const std::uint8_t option = data[i + 2];
        if (command == Telnet::kWill || command == Telnet::kDo || command == Telnet::kWont ||
            command == Telnet::kDont) {
            i += 3;
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
            // Other two-byte commands stay in the text.
            data[w++] = data[i++];
            continue;
        }
        if (size - i < 5) {
            finish();
            return false;
        }
        const bool compressStart = option == Telnet::kCompress && data[i + 3] == Telnet::kWill &&
                                   data[i + 4] == Telnet::kSe;
        const bool compress2Start = option == Telnet::kCompress2 && data[i + 3] == Telnet::kIac &&
                                    data[i + 4] == Telnet::kSe;
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
        const std::size_t end = FindIacSe(data, i + 3, size);
        if (end == size) {
            if (size - i <= kMaxSubnegotiation) {
                finish();
                return false;
            }
            // Too long to be a real subnegotiation: drop it and whatever follows up to its
            // IAC SE, so the text after it still gets through.
            m_discardingSubnegotiation = true;
            m_discardSawIac = data[size - 1] == Telnet::kIac;
            buffer.Truncate(w);
            m_scanPos = w;
            return true;
        }
        m_trace(option == Telnet::kCompress    ? "GOT Compress SB\n"
                : option == Telnet::kCompress2 ? "GOT Compress2 SB\n"
                                               : "GOT unknown SB\n");
        i = end + 2;
    }
    finish();
    return true;
}

bool CTelnetEngine::DiscardSubnegotiation(CByteBuffer& buffer) {
    const std::size_t size = buffer.Size();
    unsigned char* data = reinterpret_cast<unsigned char*>(buffer.Data());
    const std::size_t from = m_scanPos < size ? m_scanPos : size;
    std::size_t resume;
    if (m_discardSawIac && from < size && data[from] == Telnet::kSe) {
        resume = from + 1;
    } else {
        const std::size_t end = FindIacSe(data, from, size);
        if (end == size) {
            if (from < size) m_discardSawIac = data[size - 1] == Telnet::kIac;
            buffer.Truncate(from);
            return false;
        }
        resume = end + 2;
    }
    std::memmove(data + from, data + resume, size - resume);
    buffer.Truncate(from + (size - resume));
    m_discardingSubnegotiation = false;
    m_discardSawIac = false;
    return true;
}

void CTelnetEngine::SendCommand(std::uint8_t verb, std::uint8_t option) {
    const char bytes[3] = {static_cast<char>(Telnet::kIac), static_cast<char>(verb),
                           static_cast<char>(option)};
    SendToServer(bytes, sizeof(bytes));
}

void CTelnetEngine::SendInitialOffers() {
    m_negotiationStarted = true;
    const std::uint64_t generation = m_generation;
    SendCommand(Telnet::kWill, Telnet::kNaws);
    if (generation != m_generation) return;
    SendCommand(Telnet::kWill, Telnet::kCompress2);
    if (generation != m_generation) return;
    SendCommand(Telnet::kWill, Telnet::kCompress);
}

void CTelnetEngine::OnWillDo(std::uint8_t option, std::uint8_t verb) {
    const std::uint64_t generation = m_generation;
    if (!m_negotiationStarted) {
        SendInitialOffers();
        if (generation != m_generation) return;
    }
    m_trace("GOT %s %d (%s)\n", VerbName(verb), option, GetTelnetOptionName(option));

    const bool handled =
        option == Telnet::kNaws || option == Telnet::kCompress || option == Telnet::kCompress2;
    if (!handled || m_telnetOptions[option] != 0) {
        m_telnetOptions[option] = verb;
        return;
    }
    const std::uint8_t compress2 = m_telnetOptions[Telnet::kCompress2];
    if (option == Telnet::kCompress && (compress2 == Telnet::kWill || compress2 == Telnet::kDo)) {
        m_trace("Refusing compress because compress2 agreed (ignore next log)\n");
        OnWontDont(option, verb == Telnet::kWill ? Telnet::kWont : Telnet::kDont);
        return;
    }

    const std::uint8_t reply = verb == Telnet::kWill ? Telnet::kDo : Telnet::kWill;
    m_trace("SEND %s %s\n", VerbName(reply), GetTelnetOptionName(option));
    SendCommand(reply, option);
    if (generation != m_generation) return;
    m_telnetOptions[option] = verb;

    if (option == Telnet::kNaws) {
        m_nawsAgreed = true;
        SendWindowSize(true);
    } else if (verb == Telnet::kDo && option == Telnet::kCompress) {
        m_trace("SEND SB Compress in response to DO Compress\n");
        const char start[5] = {'\xFF', '\xFA', 85, '\xFB', '\xF0'};
        SendToServer(start, sizeof(start));
        if (generation == m_generation) SetCompressOut(true);
    } else if (verb == Telnet::kDo && option == Telnet::kCompress2) {
        m_trace("SEND SB Compress2 in response to DO Compress2\n");
        const char start[5] = {'\xFF', '\xFA', 86, '\xFF', '\xF0'};
        SendToServer(start, sizeof(start));
        if (generation == m_generation) SetCompressOut(true);
    }
}

void CTelnetEngine::OnWontDont(std::uint8_t option, std::uint8_t verb) {
    if (!m_negotiationStarted) {
        const std::uint64_t generation = m_generation;
        SendInitialOffers();
        if (generation != m_generation) return;
    }
    m_trace("GOT %s %d (%s)\n", VerbName(verb), option, GetTelnetOptionName(option));
    // An option once settled is not withdrawn.
    if (m_telnetOptions[option] != 0) return;
    m_telnetOptions[option] = verb;
    SendCommand(verb == Telnet::kWont ? Telnet::kDont : Telnet::kWont, option);
}

void CTelnetEngine::SendWindowSize(bool force) {
    if (!m_connected) return;
    const PaneMetrics metrics = m_host.MeasureOutputPane();
    if (metrics.charWidth <= 0 || metrics.charHeight <= 0) return;
    // Two pixels of border; a pane that small (or unmeasurable) has no size to report.
    if (metrics.clientWidth <= 2 || metrics.clientHeight <= 2) return;
    std::int32_t cols = (metrics.clientWidth - 2) / metrics.charWidth;
    std::int32_t rows = (metrics.clientHeight - 2) / metrics.charHeight;
    if (cols == 0 || rows == 0) return;
    if (cols > 0xFFFF) cols = 0xFFFF;
    if (rows > 0xFFFF) rows = 0xFFFF;
    if (cols != m_lastCols || rows != m_lastRows) {
        m_lastCols = cols;
        m_lastRows = rows;
        m_sizeChanged = true;
    }
    const std::int64_t now = m_host.CurrentTimeSeconds();
    if (!force && !(m_sizeChanged && now - m_lastSizeSentTime >= 1)) return;

    char report[13];
    std::size_t length = 0;
    report[length++] = '\xFF';
    report[length++] = '\xFA';
    report[length++] = static_cast<char>(Telnet::kNaws);
    const std::uint8_t sizeBytes[4] = {
        static_cast<std::uint8_t>(cols >> 8), static_cast<std::uint8_t>(cols & 0xFF),
        static_cast<std::uint8_t>(rows >> 8), static_cast<std::uint8_t>(rows & 0xFF)};
    for (std::uint8_t byte : sizeBytes) {
        report[length++] = static_cast<char>(byte);
        if (byte == Telnet::kIac) report[length++] = static_cast<char>(byte);
    }
    report[length++] = '\xFF';
    report[length++] = '\xF0';
    m_sizeChanged = false;
    m_lastSizeSentTime = now;
    SendToServer(report, length);
}

const char* CTelnetEngine::GetTelnetOptionName(std::uint8_t code) {
    static const char* const kNames[50] = {"Transmit-Binary",
                                           "Echo",
                                           "Reconnection",
                                           "Suppress-Go-Ahead",
                                           "Approx-Message-Size-Negotiation",
                                           "Status",
                                           "Timing-Mark",
                                           "Remote-Controlled-Trans-and-Echo",
                                           "Output-Line-Width",
                                           "Output-Page-Size",
                                           "NAOCRD",
                                           "NAOHTS",
                                           "NAOHTD",
                                           "NAOFFD",
                                           "NAOVTS",
                                           "NAOVTD",
                                           "NAOLFD",
                                           "Extended-ASCII",
                                           "Logout",
                                           "Byte-Macro",
                                           "Data-Entry-Terminal",
                                           "SUPDUP",
                                           "SUPDUP-Output",
                                           "Send-Location",
                                           "Terminal-Type",
                                           "End-of-Record",
                                           "TACACS-User-Identification",
                                           "Output-Marking",
                                           "TTYLOC",
                                           "Telnet-3270-Regime",
                                           "X.3-PAD",
                                           "NAWS",
                                           "Terminal-Speed",
                                           "Toggle-Flow-Control",
                                           "Linemode",
                                           "X-Display-Location",
                                           "Environment",
                                           "Authentication",
                                           "Encryption-Option",
                                           "New-Environment",
                                           "TN3270E",
                                           "XAUTH",
                                           "CHARSET",
                                           "Telnet-Remote-Serial-Port",
                                           "Com-Port-Control",
                                           "Telnet-Suppress-Local-Echo",
                                           "Telnet-Start-TLS",
                                           "KERMIT",
                                           "SEND-URL",
                                           "FORWARD_X"};
    if (code < 50) return kNames[code];
    switch (code) {
        case 70:
            return "MUD-Server-Status";
        case 85:
            return "Compress";
        case 86:
            return "Compress2";
        case 90:
            return "MUD-Sound-Protocol";
        case 91:
            return "MUD-eXtension-Protocol";
        case 93:
            return "Zenith-Mud-Protocol";
        case 138:
            return "TELOPT PRAGMA LOGON";
        case 139:
            return "TELOPT SSPI LOGON";
        case 140:
            return "TELOPT PRAGMA HEARTBEAT";
        case 201:
            return "GMCP";
        case 255:
            return "Extended-Options-List";
        default:
            return "<Unknown>";
    }
}
