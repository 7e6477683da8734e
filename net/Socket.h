#pragma once

#include <netinet/in.h>

#include <string>

#include "net/BaseSocket.h"
#include "net/ByteBuffer.h"

// A non-blocking IPv4 TCP client on POSIX sockets.
class CSocket : public CBaseSocket {
  public:
    // Bytes read from the connection in one piece.
    static constexpr std::size_t kReadChunk = 256;
    // One Receive stops after this many bytes (a multiple of kReadChunk) so that a peer sending
    // without pause cannot keep the caller in the read loop, or grow the buffer, without end;
    // the rest stays with the system for the next call.
    static constexpr std::size_t kMaxReceivePerCall = 1024 * 1024;
    // Bytes that Send keeps for a peer that is not reading; one more ends the connection, since
    // a server that takes nothing of this much is not coming back for it.
    static constexpr std::size_t kMaxUnsent = 4 * 1024 * 1024;

    CSocket() = default;
    ~CSocket() override;
    CSocket(const CSocket&) = delete;
    CSocket& operator=(const CSocket&) = delete;

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
    // Sends all bytes or keeps what the connection does not take now, in order, for later
    // Sends and FlushSend; false when the connection is not open, a send failed, or the kept
    // bytes would pass kMaxUnsent (then the connection has failed: Receive reports it).
    bool Send(const char* data, std::size_t length) override;
    void FlushSend() override;
    std::size_t GetUnsentSize() const { return m_unsent.Size(); }
    const char* GetLastErrorText() override;
    bool IsConnected() override;
    bool HasData() override;
    int GetDescriptor() const override { return m_socket; }

  protected:
    // Looks a host name up (IPv4, may block); only called for texts that are not dotted
    // addresses.
    virtual bool ResolveHost(const char* host, in_addr& address);

  private:
    void CloseHandle();
    std::uint32_t FailReceive(std::string text);
    // One send call: the count taken, 0 when the connection takes nothing now, -1 on failure.
    long SendSome(const char* data, std::size_t length);
    void FailSend();

    int m_socket = -1;
    std::string m_lastError;
    std::uint32_t m_state = kSocketIdle;
    std::uint32_t m_status = kReceiveOk;
    CByteBuffer m_buffer;
    std::string m_line;
    CByteBuffer m_unsent;
};
