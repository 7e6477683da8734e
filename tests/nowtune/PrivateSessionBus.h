#pragma once

#include <string>

#include "tests/support/SpawnedProcess.h"
#include "tests/support/TempDir.h"

// A session bus daemon of the test's own on a socket in a fresh folder, ended by its process
// id when the object goes. While it lives, DBUS_SESSION_BUS_ADDRESS names it.
class CPrivateSessionBus {
  public:
    CPrivateSessionBus();
    ~CPrivateSessionBus();
    CPrivateSessionBus(const CPrivateSessionBus&) = delete;
    CPrivateSessionBus& operator=(const CPrivateSessionBus&) = delete;

    // False (with the reason in Error()) when the daemon is missing or did not come up in time.
    bool Start();
    const std::string& Address() const { return m_address; }
    const std::string& Error() const { return m_error; }

  private:
    TempDir m_dir;
    SpawnedProcess m_daemon;
    std::string m_address;
    std::string m_error;
    std::string m_oldAddress;
    bool m_hadAddress = false;
};
