#include "tests/nowtune/PrivateSessionBus.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace {

bool CanConnect(const std::string& path) {
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    const bool connected =
        connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return connected;
}

}  // namespace

CPrivateSessionBus::CPrivateSessionBus() {
    if (const char* old = std::getenv("DBUS_SESSION_BUS_ADDRESS")) {
        m_hadAddress = true;
        m_oldAddress = old;
    }
}

CPrivateSessionBus::~CPrivateSessionBus() {
    m_daemon.Stop();
    if (m_hadAddress) {
        setenv("DBUS_SESSION_BUS_ADDRESS", m_oldAddress.c_str(), 1);
    } else {
        unsetenv("DBUS_SESSION_BUS_ADDRESS");
    }
}

bool CPrivateSessionBus::Start() {
    const std::string daemon = SpawnedProcess::FindProgram("dbus-daemon");
    if (daemon.empty()) {
        m_error = "dbus-daemon is not installed";
        return false;
    }
    const std::string socketPath = m_dir.File("bus");
    m_address = "unix:path=" + socketPath;
    if (!m_daemon.Start({daemon, "--session", "--nofork", "--nopidfile", "--address=" + m_address},
                        m_dir.File("daemon.log"))) {
        m_error = "dbus-daemon did not start";
        return false;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!CanConnect(socketPath)) {
        if (!m_daemon.IsRunning() || std::chrono::steady_clock::now() > deadline) {
            m_error = "dbus-daemon did not come up: " + TempDir::Read(m_dir.File("daemon.log"));
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    setenv("DBUS_SESSION_BUS_ADDRESS", m_address.c_str(), 1);
    return true;
}
