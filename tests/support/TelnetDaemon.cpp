#include "tests/support/TelnetDaemon.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

namespace {

constexpr const char* kDaemonPackage = "inetutils-telnetd";

// A port that nobody used a moment ago (the kernel's pick for port 0).
std::uint16_t FreeLoopbackPort() {
    const int probe = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (probe < 0) return 0;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    std::uint16_t port = 0;
    if (bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        port = ntohs(address.sin_port);
    }
    close(probe);
    return port;
}

// Whether a TCP socket listens on port, read from the kernel's table: a connection to find
// out would be the one connection socat serves.
bool IsListening(std::uint16_t port) {
    std::ifstream table("/proc/net/tcp");
    std::string line;
    std::getline(table, line);  // column titles
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string slot, local, remote, state;
        fields >> slot >> local >> remote >> state;
        const std::size_t colon = local.find(':');
        if (colon == std::string::npos || state != "0A") continue;
        if (std::stoul(local.substr(colon + 1), nullptr, 16) == port) return true;
    }
    return false;
}

}  // namespace

std::string TelnetDaemon::MissingReason() {
    std::string missing;
    if (SpawnedProcess::FindProgram("telnetd").empty()) {
        missing = std::string("telnetd is not installed (Debian package ") + kDaemonPackage + ")";
    }
    if (SpawnedProcess::FindProgram("socat").empty()) {
        missing += std::string(missing.empty() ? "" : "; ") +
                   "socat is not installed (Debian package socat)";
    }
    return missing;
}

bool TelnetDaemon::Start(const std::string& program) {
    const std::string missing = MissingReason();
    if (!missing.empty()) {
        m_error = missing;
        return false;
    }
    // Another program may take the free port before socat binds it: then try another.
    for (int attempt = 0; attempt < 5; ++attempt) {
        const std::uint16_t port = FreeLoopbackPort();
        if (port != 0 && StartOnPort(program, port)) return true;
    }
    return false;
}

bool TelnetDaemon::StartOnPort(const std::string& program, std::uint16_t port) {
    const std::string daemon = SpawnedProcess::FindProgram("telnetd");
    const std::string log = m_dir.File("socat.log");
    // -h: no host name before the login; -E: the program instead of the login.
    const std::vector<std::string> arguments = {
        SpawnedProcess::FindProgram("socat"),
        "TCP-LISTEN:" + std::to_string(port) + ",bind=127.0.0.1,reuseaddr",
        "EXEC:\"" + daemon + " -h -E " + program + "\",nofork"};
    if (!m_process.Start(arguments, log)) {
        m_error = "socat could not be started";
        return false;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (std::chrono::steady_clock::now() < deadline) {
        if (IsListening(port)) {
            // A socat that lost the port to another listener ends at once: make sure the
            // listener seen is ours.
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            if (!m_process.IsRunning()) break;
            m_port = port;
            m_error.clear();
            return true;
        }
        if (!m_process.IsRunning()) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    m_process.Stop();
    m_error = "socat did not listen on port " + std::to_string(port) + ": " + TempDir::Read(log);
    return false;
}
