#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "net/ByteBuffer.h"

// Connection state of a socket (CheckConnect).
enum : std::uint32_t {
    kSocketIdle = 0,
    kSocketConnecting = 1,
    kSocketFailed = 2,
    kSocketConnected = 3,
};

// Receive status of a socket (Receive); sticky until ClearError or Close.
enum : std::uint32_t {
    kReceiveOk = 0,
    kReceiveClosed = 1,
    kReceiveError = 2,
};

// How the certificate of an encrypted connection was judged in its last handshake.
enum class CertificateTrust : std::uint8_t {
    None,        // plain TCP, or no certificate judged yet
    Verified,    // it verified against the trusted authorities and matched the host
    Pinned,      // it did not verify, but its fingerprint is the one the player trusted
    Unverified,  // refused: it did not verify and no fingerprint was trusted for it
    Changed,     // refused: it did not verify and its fingerprint is not the one trusted
};

// A polled TCP client: nothing blocks, and the owner drives it. Texts it
// returns belong to the socket and stay valid until its next mutating call.
class CBaseSocket {
  public:
    virtual ~CBaseSocket() = default;

    // Destroys the object.
    virtual void Release() = 0;
    virtual bool Connect(const char* host, std::uint16_t port) = 0;
    virtual std::uint32_t CheckConnect() = 0;
    virtual void Close() = 0;
    virtual void ClearError() = 0;
    virtual std::uint32_t Receive() = 0;
    // Receive, with the bytes read going onto the end of into rather than into the socket's
    // own buffer (which is emptied into it first): a socket may read straight into it. limit is
    // the room the caller has: a socket that reads straight into it reads no more, the rest
    // stays with the system; one that reads into its own buffer first brings what Receive does.
    virtual std::uint32_t ReceiveInto(CByteBuffer& into, std::size_t /*limit*/) {
        const std::uint32_t status = Receive();
        if (HasData()) {
            into.Append(GetBuffer(), GetBufferSize());
            ClearBuffer();
        }
        return status;
    }
    virtual const char* GetLine() = 0;
    virtual std::size_t GetBufferSize() = 0;
    virtual const char* GetBuffer() = 0;
    virtual void ClearBuffer() = 0;
    virtual bool Send(const char* data, std::size_t length) = 0;
    virtual const char* GetLastErrorText() = 0;
    virtual bool IsConnected() = 0;
    virtual bool HasData() = 0;

    // Sends what earlier Sends had to leave waiting because the peer was not taking it, as far
    // as the connection takes it now; never waits.
    virtual void FlushSend() {}

    // True while a connect waits for the addresses of a host name: nothing is connected or
    // under way on the network yet.
    virtual bool IsLookingUp() const { return false; }

    // The descriptor an event loop can watch for arriving bytes; -1 when there is none.
    virtual int GetDescriptor() const { return -1; }

    // The protocol version of an encrypted connection ("TLSv1.3"); empty for plain TCP.
    virtual const char* GetEncryption() const { return ""; }

    // Before Connect: a certificate with this SHA-256 fingerprint ("AB:CD:...") is accepted
    // although it does not verify; one that does not verify and differs is refused.
    virtual void SetTrustedFingerprint(const std::string& /*fingerprint*/) {}
    virtual CertificateTrust GetCertificateTrust() const { return CertificateTrust::None; }
    // The fingerprint of the certificate judged last; empty when there is none.
    virtual std::string GetCertificateFingerprint() const { return {}; }
};

// Ends a socket's life the way its owners must: Release.
struct SocketReleaser {
    void operator()(CBaseSocket* socket) const {
        if (socket) socket->Release();
    }
};
using SocketPtr = std::unique_ptr<CBaseSocket, SocketReleaser>;
