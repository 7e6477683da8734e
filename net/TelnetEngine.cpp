#include "net/TelnetEngine.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

#include "base/AsciiText.h"
#include "net/Socket.h"
#include "net/TelnetCodes.h"
#include "net/TlsSocket.h"

namespace {

void DiscardTrace(const char* /*format*/, ...) {}

SocketPtr MakeDefaultSocket() { return SocketPtr(new CSocket()); }

SocketPtr MakeDefaultTlsSocket() { return SocketPtr(new CTlsSocket()); }

// The scheme that asks for an encrypted connection. Today it reads as host "tls" with the
// invalid port "//...", so no accepted argument changes meaning.
constexpr std::string_view kTlsScheme = "tls://";

// A port reads as a text stream reads a number; a minus sign is refused (a stream reading an
// unsigned value would wrap it around).
bool ReadPort(const std::string& text, std::uint16_t& port) {
    const std::size_t first = text.find_first_not_of(" \t\n\v\f\r");
    if (first != std::string::npos && text[first] == '-') return false;
    long long value = 0;
    if (!ReadStreamNumber(text, 0, 0xFFFF, value)) return false;
    port = static_cast<std::uint16_t>(value);
    return true;
}

// The parts of a /connect argument.
struct ConnectArgument {
    std::string host;
    std::string portText;
    bool hasPort = false;
};

// The port text after a separator at position at: after a colon everything, after a space
// what follows the spaces.
void TakePortText(const std::string& argument, std::size_t at, ConnectArgument& parts) {
    parts.hasPort = true;
    if (argument[at] == ':') {
        parts.portText = argument.substr(at + 1);
        return;
    }
    const std::size_t start = argument.find_first_not_of(' ', at);
    if (start != std::string::npos) parts.portText = argument.substr(start);
}

ConnectArgument SplitConnectArgument(const std::string& argument) {
    ConnectArgument parts;
    // An IPv6 address is written in brackets, as in URLs, because its own colons would read as
    // the port's. A host name never starts with a bracket, so no other form changes meaning.
    const std::size_t close = argument.starts_with('[') ? argument.find(']') : std::string::npos;
    if (close != std::string::npos) {
        const std::size_t after = close + 1;
        if (after == argument.size() || argument[after] == ':' || argument[after] == ' ') {
            parts.host = argument.substr(1, close - 1);
            if (after != argument.size()) TakePortText(argument, after, parts);
            return parts;
        }
    }
    const std::size_t colon = argument.find(':');
    const std::size_t space = argument.find(' ');
    const std::size_t separator = colon != std::string::npos ? colon : space;
    parts.host = argument.substr(0, separator);
    if (separator != std::string::npos) TakePortText(argument, separator, parts);
    return parts;
}

// How a TLS connection's host and port are named where its trusted certificate is kept.
std::string CertificateTarget(const std::string& host, std::uint16_t port) {
    const std::string lower = LowerAsciiCopy(host);
    const bool ipv6 = lower.find(':') != std::string::npos;
    return (ipv6 ? "[" + lower + "]" : lower) + ":" + std::to_string(port);
}

// Only targets that read back unchanged from the settings file may be trusted: no spaces,
// "=" or "#" in a host name that does not resolve anyway.
bool IsKeepableTarget(const std::string& target) {
    for (const char c : target) {
        const bool letter = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
        if (!letter && std::string_view(".-_:[]%").find(c) == std::string_view::npos) return false;
    }
    return !target.empty();
}

}  // namespace

CTelnetEngine::CTelnetEngine(ITelnetHost& host, SocketFactory factory)
    : m_host(host),
      m_socketFactory(factory ? std::move(factory) : SocketFactory(MakeDefaultSocket)),
      m_tlsSocketFactory(MakeDefaultTlsSocket),
      m_trace(DiscardTrace),
      m_sliceClock(std::chrono::steady_clock::now) {}

void CTelnetEngine::SetSlicing(SliceClock clock, std::chrono::steady_clock::duration budget,
                               std::size_t chunk) {
    m_sliceClock = clock ? std::move(clock) : SliceClock(std::chrono::steady_clock::now);
    m_sliceBudget = budget;
    m_sliceChunk = chunk != 0 ? chunk : 1;
}

void CTelnetEngine::SetTlsSocketFactory(SocketFactory factory) {
    m_tlsSocketFactory = factory ? std::move(factory) : SocketFactory(MakeDefaultTlsSocket);
}

CTelnetEngine::~CTelnetEngine() {
    if (m_connection) m_connection->Close();
    m_connection.reset();
    EndStreams();
}

void CTelnetEngine::CmdConnect(const std::string& argument) {
    const bool tls = LowerAsciiCopy(argument.substr(0, kTlsScheme.size())) == kTlsScheme;
    auto [host, portText, hasPort] =
        SplitConnectArgument(tls ? argument.substr(kTlsScheme.size()) : argument);
    std::uint16_t port = m_defaultPort;
    if (hasPort && !ReadPort(portText, port)) {
        // A mistyped command leaves whatever connection there is alone.
        const TelnetMessagePart parts[] = {{TelnetMessageKind::Error, "Invalid port: "},
                                           {TelnetMessageKind::Quoted, portText + "\r\n"}};
        m_host.ReportBlock(parts);
        return;
    }
    if (host.empty()) host = m_defaultServer;

    // A new /connect ends the current connection first, as a disconnect by the user, and
    // abandons an attempt still under way, so no connection is left unowned.
    if (m_connected) {
        m_connected = false;
        CloseSocket();
        ResetTelnetState(true);
    }
    if (m_connecting) {
        m_connecting = false;
        CloseSocket();
    }

    ++m_generation;
    m_refusedCertificate = {};
    m_tlsTarget = tls ? CertificateTarget(host, port) : std::string();
    m_connection = tls ? m_tlsSocketFactory() : m_socketFactory();
    if (!m_connection) return;
    if (tls) m_connection->SetTrustedFingerprint(m_host.TrustedFingerprint(m_tlsTarget));
    if (!m_connection->Connect(host.c_str(), port)) {
        ReportError(std::string("Failed to connect to server. ") +
                    m_connection->GetLastErrorText());
        m_connection->ClearError();
        m_connection.reset();
        return;
    }
    m_connecting = true;
    m_host.WatchSocket(m_connection->GetDescriptor());
}

void CTelnetEngine::CmdDisconnect(const std::string& /*argument*/) {
    if (!m_connected) {
        // A host name still being looked up is given up: nothing has reached a server yet, and
        // a name server that never answers must not hold the attempt. A connect on the network
        // goes on.
        if (m_connecting && m_connection && m_connection->IsLookingUp()) {
            m_connecting = false;
            CloseSocket();
        }
        ReportError("Not connected");
        return;
    }
    DropConnection(true);
}

void CTelnetEngine::DropConnection(bool byUser) {
    if (!m_connected) return;
    SettleProvisional();
    ReportError("Disconnected");
    m_connected = false;
    CloseSocket();
    ResetTelnetState(byUser);
}

void CTelnetEngine::ReportError(std::string_view text) {
    m_host.Report(TelnetMessageKind::Error, std::string(text) + "\r\n");
}

void CTelnetEngine::CloseSocket() {
    if (m_connection) m_connection->Close();
    m_host.WatchSocket(-1);
}

void CTelnetEngine::PollConnection() {
    if (!m_connecting || !m_connection) return;
    const std::uint32_t state = m_connection->CheckConnect();
    if (state == kSocketConnecting) return;
    m_connecting = false;
    if (state == kSocketConnected) {
        m_host.Report(TelnetMessageKind::Success, "Connected!\r\n");
        // The socket exists only once its host's address is known, and a failed address may
        // have been followed by another one.
        m_host.WatchSocket(m_connection->GetDescriptor());
        m_connected = true;
        ++m_generation;
        m_host.FireConnected();
        return;
    }
    ReportConnectFailure();
    m_connection->ClearError();
    m_host.WatchSocket(-1);
    m_host.FireConnectFailed();
}

void CTelnetEngine::ReportConnectFailure() {
    std::string text =
        std::string("Failed to connect to server. ") + m_connection->GetLastErrorText();
    const CertificateTrust trust = m_connection->GetCertificateTrust();
    const bool refused =
        trust == CertificateTrust::Unverified || trust == CertificateTrust::Changed;
    if (!refused || !IsKeepableTarget(m_tlsTarget)) {
        ReportError(text);
        return;
    }
    // Nothing is trusted without the player's word: the refusal says how to give it.
    m_refusedCertificate = {m_tlsTarget, m_connection->GetCertificateFingerprint(),
                            trust == CertificateTrust::Changed};
    if (m_refusedCertificate.changed) {
        ReportError(text + " Only if you know why it changed, type /trust to trust the new " +
                    "certificate for " + m_tlsTarget + " instead.");
        return;
    }
    ReportError(text);
    m_host.Report(TelnetMessageKind::Notice,
                  "Type /trust to accept this certificate for " + m_tlsTarget + ".\r\n");
}

void CTelnetEngine::ProcessIncoming() {
    if (!m_connected || !m_connection) return;
    const std::uint64_t generation = m_generation;
    // Bytes a slow server did not take yet go out before anything new is sent.
    m_connection->FlushSend();
    // The deadline is looked at only after a pass: every slice makes progress, however short
    // the budget.
    const auto deadline = m_sliceClock() + m_sliceBudget;
    // What arrives while the bytes before it are handled is taken in the same turn while the
    // slice lasts, so a line sent just after a burst is shown with the burst, not a paint later.
    for (int round = 0; round < kMaxReadRounds; ++round) {
        if (!ReceiveMore() && !m_pendingWork) break;
        RunPasses(deadline);
        if (generation != m_generation) return;
        if (m_pendingWork || m_closePending || m_sliceClock() >= deadline) break;
    }
    // A connection can hold bytes the system no longer reports as readable (an encrypted
    // one keeps part of a record): they are fetched without waiting for the socket.
    if (!m_closePending && m_connection->HasData()) m_pendingWork = true;
    if (m_closePending && !m_pendingWork) FinishPeerClose();
}

bool CTelnetEngine::ReceiveMore() {
    // While a backlog waits, the bytes stay with the system: the server then waits for us.
    if (m_closePending || m_rawInput.Size() >= kMaxRawBacklog) return false;
    const std::size_t before = m_rawInput.Size();
    const std::uint32_t status = m_connection->ReceiveInto(
        m_rawInput, std::min(kMaxReadPerRound, kMaxRawBacklog - m_rawInput.Size()));
    if (status != kReceiveOk) {
        // The bytes that came before the close are the server's last words; they are shown
        // before the connection ends.
        m_closePending = true;
        m_host.WatchSocket(-1);
        m_closeText = status == kReceiveClosed ? std::string("Disconnected")
                                               : std::string(m_connection->GetLastErrorText());
    }
    return m_rawInput.Size() != before;
}

void CTelnetEngine::FinishPeerClose() {
    SettleProvisional();
    ReportError(m_closeText);
    m_connected = false;
    CloseSocket();
    ResetTelnetState(false);
}

void CTelnetEngine::RunPasses(std::chrono::steady_clock::time_point deadline) {
    const std::uint64_t generation = m_generation;
    m_pendingWork = false;
    for (;;) {
        InflateResult result = InflateResult::NeedInput;
        // More is inflated only once the text inflated before is scanned, so the text buffer
        // holds about one chunk whatever the stream expands to.
        const bool inflateLater = m_compressIn && m_moreToScan;
        if (m_compressIn && !inflateLater) {
            std::size_t room = kInflateChunk;
            result = InflateInput(room);
            if (result == InflateResult::Failed || generation != m_generation) return;
        }
        m_compressionStarted = false;
        CByteBuffer& working = m_compressIn ? m_textInput : m_rawInput;
        const bool takeLines = ParseTelnet(working, m_sliceChunk);
        if (generation != m_generation) return;
        if (takeLines) {
            TakeLines(working);
            if (generation != m_generation) return;
        }
        if (m_compressionStarted) {
            // A stream started in this buffer. The plain lines before it are shown first (they
            // are not lost if the stream turns out corrupt), and the stream is inflated at
            // once, not only when the server next sends something.
            TakeLines(m_compressIn ? m_textInput : m_rawInput);
            if (generation != m_generation) return;
        }
        const bool more = m_moreToScan || m_compressionStarted || inflateLater ||
                          result == InflateResult::MoreOutput ||
                          result == InflateResult::StreamEnded;
        if (!more) return;
        if (m_sliceClock() >= deadline) break;
    }
    m_pendingWork = true;
}

void CTelnetEngine::TakeLines(CByteBuffer& buffer) {
    const std::uint64_t generation = m_generation;
    // Bytes at the front known to pass the decoder unchanged, found for many lines at once: the
    // common text is not searched again line by line. A change of the settings (a script may
    // make one) voids it.
    std::size_t unchanged = 0;
    std::uint64_t settingsChanges = m_textSettingsChanges;
    for (;;) {
        // A prompt mark (IAC GA, IAC EOR) ends a line as a line feed does.
        while (!m_promptEnds.empty() && m_promptEnds.front() <= m_textTaken) {
            m_promptEnds.pop_front();
        }
        const std::size_t promptEnd =
            m_promptEnds.empty() ? CByteBuffer::npos
                                 : static_cast<std::size_t>(m_promptEnds.front() - m_textTaken);
        if (settingsChanges != m_textSettingsChanges) {
            settingsChanges = m_textSettingsChanges;
            unchanged = 0;
        }
        const bool filtered = m_host.HasReceiveFilter();
        // Without a filter, whole lines known to pass the decoder unchanged go out together:
        // the pane takes them as it would one by one.
        const std::size_t lastOfBlock =
            unchanged > 0 && !filtered
                ? buffer.FindLast('\n', std::min({unchanged, m_scanPos, promptEnd, kMaxLineLength}))
                : CByteBuffer::npos;
        // Only scanned text, and only a line's worth, is searched: an overlong line goes out in
        // pieces, and a large buffer without line feeds is not searched again for every piece.
        const std::size_t limit = std::min({m_scanPos, kMaxLineLength, promptEnd});
        const std::size_t end =
            lastOfBlock != CByteBuffer::npos ? lastOfBlock : buffer.Find('\n', 0, limit);
        std::size_t length;
        if (end != CByteBuffer::npos) {
            length = end + 1;
        } else if (promptEnd <= limit) {
            length = promptEnd;
        } else if (m_scanPos >= kMaxLineLength) {
            length = kMaxLineLength;
        } else {
            return;
        }
        m_textTaken += length;
        // A new partial line waits afresh.
        m_partialLength = 0;
        if (m_provisionalLength != 0) TakeBackProvisional();
        // The filters and the pane see the client's own encoding.
        std::string_view text(buffer.Data(), length);
        if (unchanged < length) {
            // A look ahead of a bounded length: a long partial line behind is not searched for
            // every slice.
            const std::size_t ahead =
                std::min({m_scanPos, buffer.Size(), std::max(length, kUnchangedLookahead)});
            unchanged = m_decoder.UnchangedLength(std::string_view(buffer.Data(), ahead));
        }
        if (unchanged >= length) {
            unchanged -= length;
        } else {
            unchanged = 0;
            m_decoded.clear();
            m_decoder.Decode(text, m_decoded);
            text = m_decoded;
        }
        if (!filtered) {
            m_host.ShowText(text);
            if (generation != m_generation) return;
            buffer.Consume(length);
            m_scanPos = m_scanPos > length ? m_scanPos - length : 0;
            continue;
        }
        m_line.assign(text);
        buffer.Consume(length);
        m_scanPos = m_scanPos > length ? m_scanPos - length : 0;
        m_host.FilterReceivedLine(m_line);
        if (generation != m_generation) return;
        if (!m_line.empty()) m_host.ShowText(m_line);
        if (generation != m_generation) return;
    }
}

bool CTelnetEngine::HasPendingWork() const {
    return m_connected && (m_pendingWork || m_closePending);
}

void CTelnetEngine::ResetTelnetState(bool byUser) {
    SettleProvisional();
    m_partialLength = 0;
    ++m_generation;
    m_host.FireDisconnect(byUser);
    m_telnetOptions.fill(0);
    m_nawsAgreed = false;
    m_negotiationStarted = false;
    EndStreams();
    m_rawInput.Clear();
    m_textInput.Clear();
    m_scanPos = 0;
    m_discardingSubnegotiation = false;
    m_discardSawIac = false;
    m_optionStates.fill(OptionNegotiation{});
    m_afterCr = false;
    m_promptEnds.clear();
    m_textTaken = 0;
    m_pendingWork = false;
    m_moreToScan = false;
    m_closePending = false;
    m_closeText.clear();
    // A character set agreed with this server ends with it.
    m_charsetUtf8 = false;
    m_decoderToUtf8 = false;
    m_decoder.SetSettings(m_textSettings);
    m_decoder.Reset();
    m_terminalTypeCount = 0;
}

void CTelnetEngine::SetServerTextSettings(const ServerTextSettings& settings) {
    m_textSettings = settings;
    ++m_textSettingsChanges;
    ServerTextSettings effective = settings;
    if (m_charsetUtf8) effective.encoding = ServerEncoding::Utf8;
    m_decoder.SetSettings(effective);
}

void CTelnetEngine::Shutdown() {
    if (m_connection) {
        m_connection->Close();
        m_connection.reset();
        m_host.WatchSocket(-1);
    }
    m_connecting = false;
    m_connected = false;
    ++m_generation;
}

std::size_t CTelnetEngine::GetBufferCapacity() const {
    return m_rawInput.Capacity() + m_textInput.Capacity();
}

void CTelnetEngine::SendToServer(const char* data, std::size_t length) {
    const ServerEncoding encoding = GetServerEncoding();
    const std::string_view text(data, length);
    if (EncodesUnchanged(text, encoding)) {
        SendEscaped(data, length);
        return;
    }
    const std::string encoded = EncodeForServer(text, encoding);
    SendEscaped(encoded.data(), encoded.size());
}

void CTelnetEngine::SendEscaped(const char* data, std::size_t length) {
    const void* iac = length != 0 ? std::memchr(data, Telnet::kIac, length) : nullptr;
    if (!iac) {
        SendRaw(data, length);
        return;
    }
    // Escaped before compressing: the server inflates first and then reads telnet.
    std::string escaped;
    escaped.reserve(length + 16);
    for (std::size_t i = 0; i < length; ++i) {
        escaped += data[i];
        if (static_cast<unsigned char>(data[i]) == Telnet::kIac) escaped += data[i];
    }
    SendRaw(escaped.data(), escaped.size());
}

void CTelnetEngine::SendRaw(const char* data, std::size_t length) {
    if (!m_connection) return;
    if (m_compressOut) {
        SendDeflated(data, length);
        return;
    }
    // A failed send is not acted on: the next Receive tells of a broken connection, or of a
    // server that stopped taking what is sent.
    m_connection->Send(data, length);
}

void CTelnetEngine::ShowTelnetReport() {
    if (!m_connected) {
        m_host.Report(TelnetMessageKind::Error, "Not connected.\r\n");
        return;
    }
    std::vector<TelnetMessagePart> parts;
    const std::string encryption = m_connection ? m_connection->GetEncryption() : "";
    if (!encryption.empty()) {
        parts.push_back(
            {TelnetMessageKind::Success, "The connection is encrypted (" + encryption + ").\r\n"});
    }
    parts.push_back({TelnetMessageKind::Plain, "Negotiated options:\r\n"});
    for (int code = 0; code < 256; ++code) {
        const std::uint8_t verb = m_telnetOptions[code];
        if (verb == 0) continue;
        TelnetMessageKind kind = TelnetMessageKind::Notice;
        if ((code == Telnet::kNaws && m_nawsAgreed) ||
            (code == Telnet::kCompress2 && (m_compressIn || m_compressOut)) ||
            (code == Telnet::kGmcp && IsGmcpAgreed()) ||
            (code == Telnet::kCharset && m_charsetUtf8)) {
            kind = TelnetMessageKind::Success;
        } else if (verb == Telnet::kWont || verb == Telnet::kDont) {
            kind = TelnetMessageKind::Error;
        }
        const char* verbText = verb == Telnet::kWill   ? "   WILL "
                               : verb == Telnet::kWont ? "   WON'T "
                               : verb == Telnet::kDo   ? "   DO "
                                                       : "   DON'T ";
        char codeText[32];
        std::snprintf(codeText, sizeof(codeText), " (%d)\r\n", code);
        parts.push_back({kind, std::string(verbText) +
                                   GetTelnetOptionName(static_cast<std::uint8_t>(code)) +
                                   codeText});
    }
    if (m_nawsAgreed) {
        parts.push_back(
            {TelnetMessageKind::Success, "Server is aware of current window size.\r\n"});
    }
    if (m_compressIn) {
        parts.push_back(
            {TelnetMessageKind::Success, "Data from server is being received compressed.\r\n"});
    }
    if (m_compressOut) {
        parts.push_back(
            {TelnetMessageKind::Success, "Data to server is being sent compressed.\r\n"});
    }
    if (m_charsetUtf8) {
        parts.push_back({TelnetMessageKind::Success,
                         "Text encoding: utf-8 (agreed with the server through CHARSET).\r\n"});
    } else if (GetServerEncoding() != ServerEncoding::Native) {
        // The client's own encoding is what the report has always meant; it needs no line.
        parts.push_back(
            {TelnetMessageKind::Notice,
             std::string("Text encoding: ") + ServerEncodingName(GetServerEncoding()) + ".\r\n"});
    }
    m_host.ReportBlock(parts);
}
