#pragma once

#include <cstdint>
#include <deque>
#include <string>

#include "net/BaseSocket.h"

// Hands the engine one queued read per Receive; with the last one comes the close if asked,
// as a peer's last bytes and its close can arrive in one call.
class QueuedSocket : public CBaseSocket {
  public:
    struct Wire {
        std::deque<std::string> reads;
        bool closeAtEnd = false;
        std::string sent;
    };

    explicit QueuedSocket(Wire& wire) : m_wire(wire) {}

    void Release() override { delete this; }
    bool Connect(const char*, std::uint16_t) override { return true; }
    std::uint32_t CheckConnect() override { return kSocketConnected; }
    void Close() override { m_buffer.clear(); }
    void ClearError() override {}
    std::uint32_t Receive() override {
        if (m_status != kReceiveOk) return m_status;
        if (!m_wire.reads.empty()) {
            m_buffer += m_wire.reads.front();
            m_wire.reads.pop_front();
        }
        if (m_wire.reads.empty() && m_wire.closeAtEnd) m_status = kReceiveClosed;
        return m_status;
    }
    const char* GetLine() override { return ""; }
    std::size_t GetBufferSize() override { return m_buffer.size(); }
    const char* GetBuffer() override { return m_buffer.c_str(); }
    void ClearBuffer() override { m_buffer.clear(); }
    bool Send(const char* data, std::size_t length) override {
        m_wire.sent.append(data, length);
        return true;
    }
    const char* GetLastErrorText() override { return ""; }
    bool IsConnected() override { return m_status == kReceiveOk; }
    bool HasData() override { return !m_buffer.empty(); }

  private:
    Wire& m_wire;
    std::string m_buffer;
    std::uint32_t m_status = kReceiveOk;
};
