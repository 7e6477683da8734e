#pragma once

#include <string>

#include "net/BaseSocket.h"
#include "net/ByteBuffer.h"
#include "net/Socket.h"

typedef struct ssl_ctx_st SSL_CTX;
typedef struct ssl_st SSL;

// A TLS client over a CSocket's TCP connection, polled the same way: CheckConnect goes on
// reporting kSocketConnecting through the TCP connect and the handshake, and nothing waits.
// The server's certificate must verify against the system's trusted certificates (or a CA
// file given) and match the host; a certificate that does not is a failed connect whose text
// says why and carries its fingerprint, unless its fingerprint is the one the player trusted.
class CTlsSocket : public CBaseSocket {
  public:
    static constexpr std::size_t kReadChunk = CSocket::kReadChunk;
    static constexpr std::size_t kMaxReceivePerCall = CSocket::kMaxReceivePerCall;
    static constexpr std::size_t kMaxUnsent = CSocket::kMaxUnsent;

    // caFile, when given, is trusted in place of the system's certificates.
    explicit CTlsSocket(std::string caFile = {}, HostResolver resolver = nullptr);
    ~CTlsSocket() override;
    CTlsSocket(const CTlsSocket&) = delete;
    CTlsSocket& operator=(const CTlsSocket&) = delete;

    void Release() override;
    bool Connect(const char* host, std::uint16_t port) override;
    std::uint32_t CheckConnect() override;
    void Close() override;
    void ClearError() override;
    std::uint32_t Receive() override;
    const char* GetLine() override;
    std::size_t GetBufferSize() override;
    const char* GetBuffer() override;
    void ClearBuffer() override;
    bool Send(const char* data, std::size_t length) override;
    void FlushSend() override;
    const char* GetLastErrorText() override;
    bool IsConnected() override;
    bool HasData() override;
    bool IsLookingUp() const override { return m_tcp.IsLookingUp(); }
    int GetDescriptor() const override { return m_tcp.GetDescriptor(); }
    const char* GetEncryption() const override;
    void SetTrustedFingerprint(const std::string& fingerprint) override {
        m_trustedFingerprint = fingerprint;
    }
    CertificateTrust GetCertificateTrust() const override { return m_trust; }
    std::string GetCertificateFingerprint() const override { return m_fingerprint; }

    // The SHA-256 fingerprint of the server's certificate as colon-separated hex pairs
    // ("AB:CD:..."); empty before a handshake has shown one.
    const std::string& GetFingerprint() const { return m_fingerprint; }

  private:
    enum class Phase { Idle, Tcp, Handshake, Connected, Failed };

    bool StartHandshake();
    std::uint32_t ContinueHandshake();
    // The reason the certificate is refused; empty when it verified.
    std::string CheckCertificate();
    std::uint32_t FailConnect(std::string text);
    std::uint32_t FailReceive(std::string text);
    // Frees the TLS session, closes the TCP connection and moves to next.
    void EndSession(Phase next);
    // One write: the count taken, 0 when the connection takes nothing now, -1 on failure.
    long WriteSome(const char* data, std::size_t length);
    auto WriteTo() {
        return [this](const char* data, std::size_t length) { return WriteSome(data, length); };
    }

    CSocket m_tcp;
    std::string m_caFile;
    SSL_CTX* m_context = nullptr;
    SSL* m_ssl = nullptr;
    Phase m_phase = Phase::Idle;
    std::uint32_t m_status = kReceiveOk;
    std::string m_host;
    std::string m_lastError;
    std::string m_fingerprint;
    std::string m_trustedFingerprint;
    CertificateTrust m_trust = CertificateTrust::None;
    std::string m_line;
    CByteBuffer m_buffer;
    CSendQueue m_sendQueue;
};
