#pragma once

#include <systemd/sd-bus.h>

#include <chrono>
#include <initializer_list>
#include <memory>

struct BusMessageRelease {
    void operator()(sd_bus_message* message) const { sd_bus_message_unref(message); }
};
using BusReply = std::unique_ptr<sd_bus_message, BusMessageRelease>;

// The user's session bus (DBUS_SESSION_BUS_ADDRESS, else the runtime folder's bus) for one
// snapshot. Everything done on it shares one deadline, and no single call waits longer than
// its own limit, so a player that never answers costs a bounded time and the others are still
// asked. A fresh connection per snapshot keeps no state across calls, forks or threads, and
// nothing is left open when the library is unloaded.
class CSessionBus {
  public:
    CSessionBus(std::chrono::milliseconds budget, std::chrono::milliseconds callLimit);
    ~CSessionBus();
    CSessionBus(const CSessionBus&) = delete;
    CSessionBus& operator=(const CSessionBus&) = delete;

    // Connects and waits, within the deadline, until the bus has said hello.
    bool Open();
    // A method call with string arguments; null when it failed or was not answered in time.
    BusReply Call(const char* destination, const char* path, const char* interface,
                  const char* member, std::initializer_list<const char*> arguments = {});

  private:
    // Microseconds left for the next wait, at most the call limit; 0 once the deadline passed.
    std::uint64_t NextWaitMicroseconds() const;

    std::chrono::steady_clock::time_point m_deadline;
    std::chrono::milliseconds m_callLimit;
    sd_bus* m_bus = nullptr;
};
