#pragma once

#include <zlib.h>

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>

#include "net/BaseSocket.h"
#include "net/ByteBuffer.h"
#include "net/ServerTextDecoder.h"
#include "net/TelnetHost.h"

// The game-server connection: opens and polls the socket, separates telnet commands from text,
// answers the negotiation, reports the window size (NAWS), runs the compressed streams in both
// directions (MCCP 1 and 2) and hands complete lines to the host. Main thread only.
class CTelnetEngine {
  public:
    using SocketFactory = std::function<SocketPtr()>;
    using TraceHook = void (*)(const char* format, ...);
    using SliceClock = std::function<std::chrono::steady_clock::time_point()>;

    // Bounds that keep a hostile server from exhausting memory or stalling the client.
    // Time one ProcessIncoming may spend on received bytes (inflating, telnet, lines and the
    // pane behind them); the rest follows in later ticks, so input and paint are served between.
    static constexpr std::chrono::milliseconds kSliceBudget{8};
    // Text scanned between two looks at the clock; it bounds the lines handed out in one batch.
    static constexpr std::size_t kSliceChunk = 16 * 1024;
    // A subnegotiation longer than this is dropped; bytes up to its IAC SE are discarded.
    static constexpr std::size_t kMaxSubnegotiation = 64 * 1024;
    // A line without a line feed is handed out in pieces of this length.
    static constexpr std::size_t kMaxLineLength = 64 * 1024;
    // Reads one ProcessIncoming makes at most, whatever its clock says (each one up to the
    // socket's own bound).
    static constexpr int kMaxReadRounds = 16;
    // Received bytes waiting unprocessed stop reading from the socket at this many, and a read
    // stops there too. More would only wait in the client's own memory (fresh pages, and out of
    // the cache by the time it is inflated or scanned) where the system holds it for free.
    static constexpr std::size_t kMaxRawBacklog = 1024 * 1024;
    // One read takes at most this much, so what it brings is scanned while it is still in the
    // cache; a larger read lands in memory the scan must fetch again.
    static constexpr std::size_t kMaxReadPerRound = 64 * 1024;
    static constexpr std::size_t kInflateChunk = 65536;
    // Text looked at ahead of a line for bytes the decoder must see.
    static constexpr std::size_t kUnchangedLookahead = 16 * 1024;
    static constexpr std::size_t kDeflateChunk = 4096;
    // How long a partial line waits, in milliseconds, before it is shown as a prompt.
    static constexpr std::uint32_t kDefaultPromptDelay = 150;
    static constexpr std::uint32_t kMaxPromptDelay = 60000;

    explicit CTelnetEngine(ITelnetHost& host, SocketFactory factory = nullptr);
    ~CTelnetEngine();
    CTelnetEngine(const CTelnetEngine&) = delete;
    CTelnetEngine& operator=(const CTelnetEngine&) = delete;

    // Commands.
    void CmdConnect(const std::string& argument);
    void CmdDisconnect(const std::string& argument);
    void ShowTelnetReport();

    // Tick steps.
    void PollConnection();
    void ProcessIncoming();
    void SendWindowSize(bool force);
    // True while received bytes wait to be processed without more arriving (a burst is worked
    // off in time slices over several ticks): keep ticking without waiting for events.
    bool HasPendingWork() const;
    // Shows provisionally a partial line that has waited the prompt delay without another text
    // byte, and at once what is added to a line already shown so; runs after ProcessIncoming.
    void ShowWaitingPrompt();

    // Data for the server (typed lines, script sends): a 255 byte in it is doubled, as telnet
    // writes a data byte that equals IAC.
    void SendToServer(const char* data, std::size_t length);
    void ResetTelnetState(bool byUser);
    // Closes and destroys the connection without events or messages (application shutdown).
    void Shutdown();

    static const char* GetTelnetOptionName(std::uint8_t code);

    // Negotiation and compression steps, public for the application and for tests.
    // ParseTelnet scans at most scanLimit more bytes of text (commands may reach past them).
    bool ParseTelnet(CByteBuffer& buffer, std::size_t scanLimit = CByteBuffer::npos);
    void OnWillDo(std::uint8_t option, std::uint8_t verb);
    void OnWontDont(std::uint8_t option, std::uint8_t verb);
    void SendInitialOffers();
    bool SetCompressIn(bool on, std::size_t plainLength);
    bool SetCompressOut(bool on);

    enum class InflateResult { NeedInput, MoreOutput, StreamEnded, Failed };
    // Inflates the raw input onto the end of the text buffer, producing at most budget bytes
    // (reduced by what was produced). MoreOutput: the budget ran out before the input did.
    // Failed: the stream was corrupt and the connection has been dropped.
    InflateResult InflateInput(std::size_t& budget);

    bool IsConnecting() const { return m_connecting; }
    bool IsConnected() const { return m_connected; }
    bool IsNawsAgreed() const { return m_nawsAgreed; }
    bool IsSizeChanged() const { return m_sizeChanged; }
    bool IsNegotiationStarted() const { return m_negotiationStarted; }
    bool IsCompressIn() const { return m_compressIn; }
    bool IsCompressOut() const { return m_compressOut; }
    const std::array<std::uint8_t, 256>& GetTelnetOptions() const { return m_telnetOptions; }
    std::uint8_t GetTelnetOption(std::uint8_t code) const { return m_telnetOptions[code]; }
    CBaseSocket* GetConnection() const { return m_connection.get(); }
    // Bytes of storage the input buffers hold (for callers that watch memory).
    std::size_t GetBufferCapacity() const;
    std::size_t GetBufferedBytes() const { return m_rawInput.Size() + m_textInput.Size(); }

    // Makes the socket for a "tls://" connect; the TLS socket on the system's trust otherwise.
    void SetTlsSocketFactory(SocketFactory factory);
    // The certificate of the last "tls://" connect, refused because it does not verify (or
    // differs from the one trusted): what the player may choose to trust. Cleared by the next
    // connect.
    struct RefusedCertificate {
        std::string target;  // "host:port", host in lower case, an IPv6 address in brackets
        std::string fingerprint;
        bool changed = false;  // a different fingerprint was trusted for the target
    };
    const RefusedCertificate* GetRefusedCertificate() const {
        return m_refusedCertificate.target.empty() ? nullptr : &m_refusedCertificate;
    }
    void ForgetRefusedCertificate() { m_refusedCertificate = {}; }
    void SetDefaultServer(const std::string& server) { m_defaultServer = server; }
    void SetDefaultPort(std::uint16_t port) { m_defaultPort = port; }
    const std::string& GetDefaultServer() const { return m_defaultServer; }
    std::uint16_t GetDefaultPort() const { return m_defaultPort; }
    void SetTraceHook(TraceHook hook) { m_trace = hook; }
    // The clock that times each slice of work, the slice's length and the text scanned between
    // looks at the clock (tests shorten them).
    void SetSlicing(SliceClock clock, std::chrono::steady_clock::duration budget = kSliceBudget,
                    std::size_t chunk = kSliceChunk);
    // 0 waits for the line end, as without a delay; longer than kMaxPromptDelay is cut to it.
    void SetPromptDelay(std::uint32_t milliseconds) {
        m_promptDelay = milliseconds < kMaxPromptDelay ? milliseconds : kMaxPromptDelay;
    }
    std::uint32_t GetPromptDelay() const { return m_promptDelay; }

    // How server text is read and typed text written; a character set the server agrees to
    // overrides the encoding until the connection ends.
    void SetServerTextSettings(const ServerTextSettings& settings);
    const ServerTextSettings& GetServerTextSettings() const { return m_textSettings; }
    ServerEncoding GetServerEncoding() const { return m_decoder.Settings().encoding; }
    bool IsCharsetAgreed() const { return m_charsetUtf8; }
    bool IsGmcpAgreed() const;
    // Sends one GMCP message (the JSON text may be empty); false when GMCP is not agreed.
    bool SendGmcp(std::string_view package, std::string_view json);
    // The terminal type the next TTYPE SEND is answered with.
    std::string NextTerminalType() const;

  private:
    // Where one side of an option stands; the two Want states wait for the peer's answer, so
    // an answer is never answered.
    enum class OptionState : std::uint8_t { No, Yes, WantNo, WantYes };
    struct OptionNegotiation {
        OptionState server = OptionState::No;  // what the server does (WILL, WONT)
        OptionState client = OptionState::No;  // what the client does (DO, DONT)
        // A refusal was sent already; a server that asks again is not answered again.
        bool refusedWill = false;
        bool refusedDo = false;
    };

    void OnServerWill(std::uint8_t option);
    void OnServerDo(std::uint8_t option);
    // The peer turned the option off (state is the side it concerns); reply confirms it.
    void TurnOff(OptionState& state, std::uint8_t reply, std::uint8_t option);
    // Starts negotiation if needed and records the verb; false when the connection dropped.
    bool NotePeerVerb(std::uint8_t option, std::uint8_t verb);
    // Traces and sends the command; false when sending it dropped the connection.
    bool SendReply(std::uint8_t verb, std::uint8_t option);
    void StartClientOption(std::uint8_t option);
    void Refuse(std::uint8_t option, std::uint8_t reply);
    void UpdateNawsAgreed();
    // Commands and text already in telnet form: sent as they are.
    void SendRaw(const char* data, std::size_t length);
    // Copies the text [from, end) of data to to, dropping a NUL that follows a CR.
    void CopyText(unsigned char* data, std::size_t& from, std::size_t end, std::size_t& to);
    void MarkPromptEnd(const unsigned char* data, std::size_t at);
    // A complete subnegotiation of the option, its body with IAC IAC unescaped.
    void OnSubnegotiation(std::uint8_t option, std::string_view body);
    void AnswerTerminalType();
    void AnswerCharsetRequest(std::string_view offer);
    void SendSubnegotiation(std::uint8_t option, std::string_view body);
    // Typed text in the server's encoding, then with IAC doubled.
    void SendEscaped(const char* data, std::size_t length);

    // Reads what the socket holds onto the raw input (nothing while a backlog waits or once the
    // peer closed); true when bytes arrived. A close is noted for after the last bytes.
    bool ReceiveMore();
    void RunPasses(std::chrono::steady_clock::time_point deadline);
    // The line shown provisionally is complete: it leaves the pane before it is shown whole.
    void TakeBackProvisional();
    // The connection ends: what is shown provisionally stays.
    void SettleProvisional();
    void TakeLines(CByteBuffer& buffer);
    bool DiscardSubnegotiation(CByteBuffer& buffer);
    void SendDeflated(const char* data, std::size_t length);
    void SendCommand(std::uint8_t verb, std::uint8_t option);
    // An error message of one line; the line break is added.
    void ReportError(std::string_view text);
    // "Failed to connect to server. " with the socket's reason and, for a certificate that
    // did not verify, how to trust it.
    void ReportConnectFailure();
    // Prints "Disconnected", closes and resets: the end of a connection the client drops.
    void DropConnection(bool byUser);
    void FinishPeerClose();
    void CloseSocket();
    void EndStreams();

    ITelnetHost& m_host;
    SocketFactory m_socketFactory;
    SocketFactory m_tlsSocketFactory;
    TraceHook m_trace;

    SocketPtr m_connection;
    // "host:port" of the encrypted connection under way; empty for plain TCP.
    std::string m_tlsTarget;
    RefusedCertificate m_refusedCertificate;
    bool m_connecting = false;
    bool m_connected = false;
    std::array<std::uint8_t, 256> m_telnetOptions{};
    std::array<OptionNegotiation, 256> m_optionStates{};
    bool m_nawsAgreed = false;
    bool m_negotiationStarted = false;
    CByteBuffer m_rawInput;
    std::int32_t m_lastCols = -1;
    std::int32_t m_lastRows = -1;
    std::int64_t m_lastSizeSentTime = 0;
    bool m_sizeChanged = true;
    std::string m_defaultServer;
    std::uint16_t m_defaultPort = 23;

    bool m_compressIn = false;
    bool m_compressOut = false;
    z_stream m_inflateStream{};
    z_stream m_deflateStream{};
    CByteBuffer m_textInput;
    std::array<unsigned char, kDeflateChunk> m_deflateChunk{};

    // Where the telnet scan of the working buffer goes on: everything before it is text.
    std::size_t m_scanPos = 0;
    // An overlong subnegotiation is being thrown away up to its IAC SE.
    bool m_discardingSubnegotiation = false;
    bool m_discardSawIac = false;
    // The last text byte scanned was a CR: a NUL right after it is padding.
    bool m_afterCr = false;
    // Where prompts ended (IAC GA, IAC EOR), counted in bytes of text since the connection
    // began; m_textTaken of them have been taken as lines.
    std::deque<std::uint64_t> m_promptEnds;
    std::uint64_t m_textTaken = 0;
    // ParseTelnet met a compression start sequence and stopped there.
    bool m_compressionStarted = false;
    // ParseTelnet stopped at its scan limit with text left to scan.
    bool m_moreToScan = false;
    SliceClock m_sliceClock;
    std::chrono::steady_clock::duration m_sliceBudget = kSliceBudget;
    std::size_t m_sliceChunk = kSliceChunk;
    // Received bytes wait for the next tick (inflate budget or round limit reached).
    bool m_pendingWork = false;
    // The peer closed or the socket failed; the connection ends once the bytes that came
    // before are shown.
    bool m_closePending = false;
    std::string m_closeText;
    // Changes whenever a connection ends or starts, so a pass notices when a callback (a script
    // reacting to a line or to an event) dropped or replaced the connection under it.
    std::uint64_t m_generation = 0;
    std::string m_line;
    // Prompts without a mark: the delay, how many bytes of the partial line at the front of
    // the working buffer are shown provisionally, and since when the partial line has had the
    // length last seen.
    std::uint32_t m_promptDelay = kDefaultPromptDelay;
    std::size_t m_provisionalLength = 0;
    std::size_t m_partialLength = 0;
    std::uint64_t m_partialSince = 0;

    // Server text into the client's encoding. The preview decodes a provisional prompt ahead
    // of the real decoder, which reads the line once it is whole.
    ServerTextSettings m_textSettings;
    CServerTextDecoder m_decoder;
    // Counts the calls of SetServerTextSettings, so a pass notices a change made under it.
    std::uint64_t m_textSettingsChanges = 0;
    CServerTextDecoder m_previewDecoder;
    std::string m_decoded;
    std::string m_previewText;
    // The server accepted UTF-8 through CHARSET.
    bool m_charsetUtf8 = false;
    // The agreed UTF-8 applies to the text after the request, from the next parse on.
    bool m_decoderToUtf8 = false;
    // How many TTYPE SENDs were answered (the cycle of names).
    std::uint32_t m_terminalTypeCount = 0;
};
