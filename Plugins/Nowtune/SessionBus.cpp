#include "SessionBus.h"

#include <algorithm>

CSessionBus::CSessionBus(std::chrono::milliseconds budget, std::chrono::milliseconds callLimit)
    : m_deadline(std::chrono::steady_clock::now() + budget), m_callLimit(callLimit) {}

CSessionBus::~CSessionBus() {
    // No flush: it would wait without a limit for a daemon that does not read.
    if (m_bus) {
        sd_bus_close(m_bus);
        sd_bus_unref(m_bus);
    }
}

std::uint64_t CSessionBus::NextWaitMicroseconds() const {
    const auto left = std::chrono::duration_cast<std::chrono::microseconds>(
        m_deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return 0;
    const auto limit = std::chrono::duration_cast<std::chrono::microseconds>(m_callLimit);
    return static_cast<std::uint64_t>(std::min(left, limit).count());
}

bool CSessionBus::Open() {
    if (sd_bus_open_user(&m_bus) < 0) {
        m_bus = nullptr;
        return false;
    }
    // The library's own first call would wait for the hello without a limit; a bus address
    // that accepts and then stays silent must not hold the client up.
    for (;;) {
        const int ready = sd_bus_is_ready(m_bus);
        if (ready > 0) return true;
        if (ready < 0) return false;
        const int processed = sd_bus_process(m_bus, nullptr);
        if (processed < 0) return false;
        if (processed > 0) continue;
        const std::uint64_t wait = NextWaitMicroseconds();
        if (wait == 0 || sd_bus_wait(m_bus, wait) < 0) return false;
    }
}

BusReply CSessionBus::Call(const char* destination, const char* path, const char* interface,
                           const char* member, std::initializer_list<const char*> arguments) {
    if (!m_bus) return nullptr;
    const std::uint64_t wait = NextWaitMicroseconds();
    if (wait == 0) return nullptr;
    sd_bus_message* call = nullptr;
    if (sd_bus_message_new_method_call(m_bus, &call, destination, path, interface, member) < 0) {
        return nullptr;
    }
    BusReply request(call);
    for (const char* argument : arguments) {
        if (sd_bus_message_append_basic(call, 's', argument) < 0) return nullptr;
    }
    sd_bus_message* reply = nullptr;
    sd_bus_error error = SD_BUS_ERROR_NULL;
    const int result = sd_bus_call(m_bus, call, wait, &error, &reply);
    sd_bus_error_free(&error);
    if (result < 0) return nullptr;
    return BusReply(reply);
}
