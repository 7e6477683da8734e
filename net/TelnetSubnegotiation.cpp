// Subnegotiations CTelnetEngine answers: the terminal type cycle (TTYPE with the MUD terminal
// type standard's third name), the character set (CHARSET, only UTF-8 is taken) and GMCP.
#include <algorithm>
#include <string>

#include "base/AsciiText.h"
#include "net/TelnetCodes.h"
#include "net/TelnetEngine.h"

namespace {

constexpr char kTerminalTypeIs = 0;
constexpr char kTerminalTypeSend = 1;
constexpr char kCharsetRequest = 1;
constexpr char kCharsetAccepted = 2;
constexpr char kCharsetRejected = 3;

// Bits of the "MTTS n" terminal type.
constexpr unsigned kMttsAnsi = 1;
constexpr unsigned kMttsUtf8 = 4;
constexpr unsigned kMtts256Colours = 8;
constexpr unsigned kMttsTrueColour = 256;
// The client can connect encrypted ("tls://"), whether or not this connection is.
constexpr unsigned kMttsTls = 2048;

bool IsUtf8Name(std::string_view name) {
    const std::string lower = LowerAsciiCopy(name);
    return lower == "utf-8" || lower == "utf8";
}

}  // namespace

bool CTelnetEngine::IsGmcpAgreed() const {
    return m_optionStates[Telnet::kGmcp].server == OptionState::Yes;
}

std::string CTelnetEngine::NextTerminalType() const {
    const bool ansi = m_textSettings.ansiColours;
    if (m_terminalTypeCount == 0) return "OSTRAKCLIENT";
    if (m_terminalTypeCount == 1) return ansi ? "ANSI-TRUECOLOR" : "DUMB";
    unsigned bits = kMttsTls;
    if (ansi) bits |= kMttsAnsi | kMtts256Colours | kMttsTrueColour;
    if (GetServerEncoding() == ServerEncoding::Utf8) bits |= kMttsUtf8;
    return "MTTS " + std::to_string(bits);
}

void CTelnetEngine::OnSubnegotiation(std::uint8_t option, std::string_view body) {
    if (body.empty()) return;
    if (option == Telnet::kTerminalType) {
        if (body[0] == kTerminalTypeSend &&
            m_optionStates[Telnet::kTerminalType].client == OptionState::Yes) {
            AnswerTerminalType();
        }
    } else if (option == Telnet::kCharset) {
        if (body[0] == kCharsetRequest) AnswerCharsetRequest(body.substr(1));
    } else if (option == Telnet::kGmcp && IsGmcpAgreed() && m_host.TakesGmcp()) {
        const std::size_t space = body.find_first_of(" \t\r\n");
        const std::string_view package = body.substr(0, space);
        std::string_view json;
        if (space != std::string_view::npos) {
            json = body.substr(space + 1);
            const std::size_t first = json.find_first_not_of(" \t\r\n");
            json = first == std::string_view::npos ? std::string_view() : json.substr(first);
        }
        m_host.ReceiveGmcp(package, json);
    }
}

void CTelnetEngine::AnswerTerminalType() {
    const std::string name = NextTerminalType();
    // The last name repeats: that tells the server the list is at its end.
    if (m_terminalTypeCount < 2) ++m_terminalTypeCount;
    SendSubnegotiation(Telnet::kTerminalType, std::string(1, kTerminalTypeIs) + name);
}

void CTelnetEngine::AnswerCharsetRequest(std::string_view offer) {
    // An optional translation-table version comes first; then the separator, then the names.
    static constexpr std::string_view kTtable = "[TTABLE]";
    if (offer.starts_with(kTtable)) offer.remove_prefix(std::min(offer.size(), kTtable.size() + 1));
    if (offer.size() >= 2) {
        const char separator = offer[0];
        std::string_view names = offer.substr(1);
        while (!names.empty()) {
            const std::size_t end = names.find(separator);
            const std::string_view name = names.substr(0, end);
            if (IsUtf8Name(name)) {
                SendSubnegotiation(Telnet::kCharset,
                                   std::string(1, kCharsetAccepted) + std::string(name));
                m_charsetUtf8 = true;
                // Text before the request was sent in the old encoding: the parser stops
                // here, the lines before it are taken, and the decoder switches after them.
                m_decoderToUtf8 = true;
                return;
            }
            if (end == std::string_view::npos) break;
            names.remove_prefix(end + 1);
        }
    }
    SendSubnegotiation(Telnet::kCharset, std::string(1, kCharsetRejected));
}

void CTelnetEngine::SendSubnegotiation(std::uint8_t option, std::string_view body) {
    std::string bytes = {static_cast<char>(Telnet::kIac), static_cast<char>(Telnet::kSb),
                         static_cast<char>(option)};
    for (char c : body) {
        bytes += c;
        if (static_cast<unsigned char>(c) == Telnet::kIac) bytes += c;
    }
    bytes += static_cast<char>(Telnet::kIac);
    bytes += static_cast<char>(Telnet::kSe);
    SendRaw(bytes.data(), bytes.size());
}

bool CTelnetEngine::SendGmcp(std::string_view package, std::string_view json) {
    if (!m_connected || !IsGmcpAgreed() || package.empty()) return false;
    std::string body(package);
    if (!json.empty()) {
        body += ' ';
        body += json;
    }
    SendSubnegotiation(Telnet::kGmcp, body);
    return true;
}
