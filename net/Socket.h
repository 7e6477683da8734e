#pragma once

#include <memory>
#include <string>

#include "net/BaseSocket.h"
#include "net/ByteBuffer.h"
#include "net/HostLookup.h"
#include "net/SendQueue.h"

// A non-blocking TCP client on POSIX sockets. Host names are looked up on a worker thread, so
// nothing it does waits: Connect with a name starts the look-up, and CheckConnect connects once
// the addresses are known.
class CSocket : public CBaseSocket {
  public:
    // Bytes read from the connection in one piece: large enough that a flood costs few system
    // calls, read straight into the receive buffer.
    static constexpr std::size_t kReadChunk = 64 * 1024;
    // One Receive stops after this many bytes (a multiple of kReadChunk) so that a peer sending
    // without pause cannot keep the caller in the read loop, or grow the buffer, without end;
    // the rest stays with the system for the next call.
    static constexpr std::size_t kMaxReceivePerCall = 1024 * 1024;
    // Bytes that Send keeps for a peer that is not reading; one more ends the connection, since
    // a server that takes nothing of this much is not coming back for it.
    static constexpr std::size_t kMaxUnsent = CSendQueue::kMaxUnsent;

    // The resolver looks host names up on a worker thread; the system's when none is given.
    explicit CSocket(HostResolver resolver = nullptr);
    ~CSocket() override;
    CSocket(const CSocket&) = delete;
    CSocket& operator=(const CSocket&) = delete;

    void Release() override;
    bool Connect(const char* host, std::uint16_t port) override;
    std::uint32_t CheckConnect() override;
    void Close() override;
    void ClearError() override;
    std::uint32_t Receive() override;
    // Reads straight into into: no copy through the socket's own buffer.
    std::uint32_t ReceiveInto(CByteBuffer& into, std::size_t limit) override;
    const char* GetLine() override;
    std::size_t GetBufferSize() override;
    const char* GetBuffer() override;
    void ClearBuffer() override;
    // Sends all bytes or keeps what the connection does not take now, in order, for later
    // Sends and FlushSend; false when the connection is not open, a send failed, or the kept
    // bytes would pass kMaxUnsent (then the connection has failed: Receive reports it).
    bool Send(const char* data, std::size_t length) override;
    void FlushSend() override;
    std::size_t GetUnsentSize() const { return m_sendQueue.Size(); }
    const char* GetLastErrorText() override;
    bool IsConnected() override;
    bool HasData() override;
    int GetDescriptor() const override { return m_socket; }
    bool IsLookingUp() const override { return m_lookup != nullptr; }

  private:
    // Starts connecting to the next address not tried yet, passing over those that fail at
    // once; false when none is left (m_lastError tells why the last one failed).
    bool ConnectNextAddress();
    std::uint32_t CheckLookup();
    // An attempt failed: the next address is tried, or the connect has failed.
    std::uint32_t FailAttempt(std::string text);
    void CloseHandle();
    std::uint32_t FailReceive(std::string text);
    // The body of Receive, reading at most limit bytes (and kMaxReceivePerCall) onto the end of
    // target.
    std::uint32_t ReceiveOnto(CByteBuffer& target, std::size_t limit);
    // One send call: the count taken, 0 when the connection takes nothing now, -1 on failure.
    long SendSome(const char* data, std::size_t length);
    auto WriteTo() {
        return [this](const char* data, std::size_t length) { return SendSome(data, length); };
    }
    void FailSend();

    int m_socket = -1;
    std::string m_lastError;
    std::uint32_t m_state = kSocketIdle;
    std::uint32_t m_status = kReceiveOk;
    CByteBuffer m_buffer;
    std::string m_line;
    CSendQueue m_sendQueue;

    HostResolver m_resolver;
    std::unique_ptr<CHostLookup> m_lookup;
    std::string m_host;
    std::uint16_t m_port = 0;
    AddressList m_addresses;
    std::size_t m_nextAddress = 0;
};
