// Option negotiation and window-size reports of CTelnetEngine. Each option has a state for what
// the server does and one for what the client does; a verb that answers a request (ours or the
// peer's) is never answered, so two sides cannot loop.
#include "net/TelnetCodes.h"
#include "net/TelnetEngine.h"

namespace {

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

// Options the server may do for the client: compressed streams, prompt marks, and NAWS, which
// some servers offer with WILL instead of asking with DO.
// CHARSET may be offered by either side.
bool ServerMayDo(std::uint8_t option) {
    return option == Telnet::kNaws || option == Telnet::kCompress || option == Telnet::kCompress2 ||
           option == Telnet::kEndOfRecord || option == Telnet::kCharset;
}

bool ClientDoes(std::uint8_t option) {
    return option == Telnet::kNaws || option == Telnet::kCompress || option == Telnet::kCompress2 ||
           option == Telnet::kTerminalType || option == Telnet::kCharset;
}

bool IsCompress(std::uint8_t option) {
    return option == Telnet::kCompress || option == Telnet::kCompress2;
}

}  // namespace

void CTelnetEngine::SendCommand(std::uint8_t verb, std::uint8_t option) {
    const char bytes[3] = {static_cast<char>(Telnet::kIac), static_cast<char>(verb),
                           static_cast<char>(option)};
    SendRaw(bytes, sizeof(bytes));
}

void CTelnetEngine::SendInitialOffers() {
    m_negotiationStarted = true;
    const std::uint64_t generation = m_generation;
    // Offers wait for the server's answer; its DO starts them without a further reply.
    for (std::uint8_t option : {Telnet::kNaws, Telnet::kCompress2, Telnet::kCompress}) {
        m_optionStates[option].client = OptionState::WantYes;
        SendCommand(Telnet::kWill, option);
        if (generation != m_generation) return;
    }
}

bool CTelnetEngine::NotePeerVerb(std::uint8_t option, std::uint8_t verb) {
    if (!m_negotiationStarted) {
        const std::uint64_t generation = m_generation;
        SendInitialOffers();
        if (generation != m_generation) return false;
    }
    m_trace("GOT %s %d (%s)\n", VerbName(verb), option, GetTelnetOptionName(option));
    m_telnetOptions[option] = verb;
    return true;
}

bool CTelnetEngine::SendReply(std::uint8_t verb, std::uint8_t option) {
    m_trace("SEND %s %s\n", VerbName(verb), GetTelnetOptionName(option));
    const std::uint64_t generation = m_generation;
    SendCommand(verb, option);
    return generation == m_generation;
}

void CTelnetEngine::OnWillDo(std::uint8_t option, std::uint8_t verb) {
    if (!NotePeerVerb(option, verb)) return;
    if (verb == Telnet::kWill) {
        OnServerWill(option);
    } else {
        OnServerDo(option);
    }
}

void CTelnetEngine::OnWontDont(std::uint8_t option, std::uint8_t verb) {
    if (!NotePeerVerb(option, verb)) return;
    if (verb == Telnet::kWont) {
        TurnOff(m_optionStates[option].server, Telnet::kDont, option);
    } else {
        TurnOff(m_optionStates[option].client, Telnet::kWont, option);
    }
}

void CTelnetEngine::Refuse(std::uint8_t option, std::uint8_t reply) {
    OptionNegotiation& state = m_optionStates[option];
    bool& refused = reply == Telnet::kDont ? state.refusedWill : state.refusedDo;
    if (refused) return;
    refused = true;
    SendReply(reply, option);
}

void CTelnetEngine::OnServerWill(std::uint8_t option) {
    OptionState& state = m_optionStates[option].server;
    if (state != OptionState::No) {
        // Already on, or the answer to a request of ours.
        state = state == OptionState::WantNo ? OptionState::No : OptionState::Yes;
        if (option == Telnet::kNaws) UpdateNawsAgreed();
        return;
    }
    if (option == Telnet::kCompress &&
        m_optionStates[Telnet::kCompress2].server == OptionState::Yes) {
        m_trace("Refusing compress because compress2 agreed (ignore next log)\n");
        m_telnetOptions[option] = Telnet::kWont;
        Refuse(option, Telnet::kDont);
        return;
    }
    // GMCP messages go to scripts; without any, the option is refused.
    const bool gmcp = option == Telnet::kGmcp && m_host.TakesGmcp();
    if (!ServerMayDo(option) && !gmcp) {
        Refuse(option, Telnet::kDont);
        return;
    }
    if (!SendReply(Telnet::kDo, option)) return;
    state = OptionState::Yes;
    // A compressed stream starts with the server's own start sequence in the text.
    if (option == Telnet::kNaws) UpdateNawsAgreed();
    if (gmcp) {
        SendGmcp("Core.Hello",
                 "{\"client\":\"OstrakClient\",\"version\":\"" + m_host.ClientVersion() + "\"}");
    }
}

void CTelnetEngine::OnServerDo(std::uint8_t option) {
    OptionState& state = m_optionStates[option].client;
    if (state == OptionState::Yes) return;
    if (state == OptionState::WantNo) {
        state = OptionState::No;
        return;
    }
    const bool offered = state == OptionState::WantYes;
    // One outgoing stream per connection: a second start would land inside the first.
    const bool compressing = IsCompress(option) && m_compressOut;
    if (compressing || !ClientDoes(option)) {
        if (compressing) {
            m_trace("Refusing compress because compress2 agreed (ignore next log)\n");
            m_telnetOptions[option] = Telnet::kDont;
        }
        if (offered) {
            // Our own offer is taken back; the server's DONT then answers it.
            state = OptionState::WantNo;
            SendReply(Telnet::kWont, option);
        } else {
            Refuse(option, Telnet::kWont);
        }
        return;
    }
    state = OptionState::Yes;
    if (!offered && !SendReply(Telnet::kWill, option)) return;
    StartClientOption(option);
}

void CTelnetEngine::StartClientOption(std::uint8_t option) {
    const std::uint64_t generation = m_generation;
    if (option == Telnet::kNaws) {
        UpdateNawsAgreed();
    } else if (option == Telnet::kCompress) {
        m_trace("SEND SB Compress in response to DO Compress\n");
        const char start[5] = {'\xFF', '\xFA', 85, '\xFB', '\xF0'};
        SendRaw(start, sizeof(start));
        if (generation == m_generation) SetCompressOut(true);
    } else if (option == Telnet::kCompress2) {
        m_trace("SEND SB Compress2 in response to DO Compress2\n");
        const char start[5] = {'\xFF', '\xFA', 86, '\xFF', '\xF0'};
        SendRaw(start, sizeof(start));
        if (generation == m_generation) SetCompressOut(true);
    }
}

void CTelnetEngine::TurnOff(OptionState& state, std::uint8_t reply, std::uint8_t option) {
    if (state == OptionState::No) return;
    const bool wasOn = state == OptionState::Yes;
    state = OptionState::No;
    // Turning an option off is always agreed to; a WONT or DONT that answers our request is not
    // answered. An outgoing stream cannot end before the connection does; it stays on.
    if (wasOn && !SendReply(reply, option)) return;
    if (option == Telnet::kNaws) UpdateNawsAgreed();
    // Asked again later, the terminal types start over.
    if (option == Telnet::kTerminalType) m_terminalTypeCount = 0;
}

void CTelnetEngine::UpdateNawsAgreed() {
    const OptionNegotiation& naws = m_optionStates[Telnet::kNaws];
    const bool agreed = naws.client == OptionState::Yes || naws.server == OptionState::Yes;
    const bool started = agreed && !m_nawsAgreed;
    m_nawsAgreed = agreed;
    if (started) SendWindowSize(true);
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
    SendRaw(report, length);
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
