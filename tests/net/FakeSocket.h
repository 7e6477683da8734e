#pragma once

#include <string>
#include <vector>

#include "net/BaseSocket.h"

// An in-memory socket for engine tests that need states a real connection cannot be held in
// (an attempt that never completes, an immediate failure) or must not touch the network.
class FakeSocket : public CBaseSocket {
  public:
    struct Record {
        std::vector<std::string> connects;  // "host:port"
        std::string sent;
        int released = 0;
    };

    explicit FakeSocket(Record& record) : m_record(record) {}

    void Release() override {
        ++m_record.released;
        delete this;
    }
    bool Connect(const char* host, std::uint16_t port) override {
        m_record.connects.push_back(std::string(host) + ":" + std::to_string(port));
        if (!connectSucceeds) m_error = "no route in this test";
        return connectSucceeds;
    }
    std::uint32_t CheckConnect() override { return state; }
    void Close() override { state = kSocketIdle; }
    void ClearError() override { m_error.clear(); }
    std::uint32_t Receive() override { return kReceiveOk; }
    const char* GetLine() override { return ""; }
    std::size_t GetBufferSize() override { return 0; }
    const char* GetBuffer() override { return ""; }
    void ClearBuffer() override {}
    bool Send(const char* data, std::size_t length) override {
        m_record.sent.append(data, length);
        return true;
    }
    const char* GetLastErrorText() override { return m_error.c_str(); }
    bool IsConnected() override { return state == kSocketConnected; }
    bool HasData() override { return false; }

    bool connectSucceeds = true;
    std::uint32_t state = kSocketConnecting;

  private:
    Record& m_record;
    std::string m_error;
};
