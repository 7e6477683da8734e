#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "net/HostLookup.h"

// A host-name resolver for tests: answers every name with the numeric addresses given (none:
// the name is unknown), and can hold its answers back like a name server that does not answer.
// Its state is shared with the look-up threads, so one that answers after its socket or the
// test is gone touches only memory it owns.
class TestResolver {
  public:
    explicit TestResolver(std::vector<std::string> addresses = {})
        : m_state(std::make_shared<State>()) {
        m_state->addresses = std::move(addresses);
    }
    ~TestResolver() {
        Release();
        WaitForAnswers();
    }
    TestResolver(const TestResolver&) = delete;
    TestResolver& operator=(const TestResolver&) = delete;

    HostResolver Function() const {
        return [state = m_state](const std::string& host, AddressList& addresses) {
            std::unique_lock<std::mutex> lock(state->mutex);
            state->hosts.push_back(host);
            state->changed.notify_all();
            state->changed.wait(lock, [&] { return !state->holding; });
            for (const std::string& address : state->addresses) {
                ParseNumericAddress(address, addresses);
            }
            ++state->answered;
            state->changed.notify_all();
            return !addresses.empty();
        };
    }

    void Hold() {
        std::lock_guard<std::mutex> lock(m_state->mutex);
        m_state->holding = true;
    }
    void Release() {
        std::lock_guard<std::mutex> lock(m_state->mutex);
        m_state->holding = false;
        m_state->changed.notify_all();
    }
    // The names asked for so far.
    std::vector<std::string> Hosts() const {
        std::lock_guard<std::mutex> lock(m_state->mutex);
        return m_state->hosts;
    }
    bool WaitForLookups(std::size_t count, int timeoutMs = 2000) {
        std::unique_lock<std::mutex> lock(m_state->mutex);
        return m_state->changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                         [&] { return m_state->hosts.size() >= count; });
    }
    // Every look-up asked for has answered.
    bool WaitForAnswers(int timeoutMs = 2000) {
        std::unique_lock<std::mutex> lock(m_state->mutex);
        return m_state->changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
            return m_state->answered == m_state->hosts.size();
        });
    }

  private:
    struct State {
        std::mutex mutex;
        std::condition_variable changed;
        std::vector<std::string> addresses;
        std::vector<std::string> hosts;
        std::size_t answered = 0;
        bool holding = false;
    };
    std::shared_ptr<State> m_state;
};
