#pragma once

#include <cstdint>
#include <string>

#include "tests/support/SpawnedProcess.h"
#include "tests/support/TempDir.h"

// A standard telnet daemon (inetutils telnetd) on 127.0.0.1, behind socat, serving one
// connection with a program of the test's choosing in place of a login. socat hands the
// accepted socket to telnetd as its standard input and becomes telnetd (nofork), so ending
// its process id ends the daemon.
class TelnetDaemon {
  public:
    TelnetDaemon() = default;
    ~TelnetDaemon() { Stop(); }
    TelnetDaemon(const TelnetDaemon&) = delete;
    TelnetDaemon& operator=(const TelnetDaemon&) = delete;

    // Empty when the daemon can run here, otherwise what is missing (for a skipped test).
    static std::string MissingReason();

    // Starts it on a free port and waits until it listens. False, with Error(), when it does
    // not come up.
    bool Start(const std::string& program = "/bin/cat");
    void Stop() { m_process.Stop(); }

    std::uint16_t Port() const { return m_port; }
    const std::string& Error() const { return m_error; }

  private:
    bool StartOnPort(const std::string& program, std::uint16_t port);

    TempDir m_dir;
    SpawnedProcess m_process;
    std::uint16_t m_port = 0;
    std::string m_error;
};
