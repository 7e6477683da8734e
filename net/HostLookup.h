#pragma once

#include <sys/socket.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// One address a socket can connect to; the port is the socket's to set.
struct SocketAddress {
    sockaddr_storage storage{};
    socklen_t length = 0;

    int Family() const { return storage.ss_family; }
    void SetPort(std::uint16_t port);
};
using AddressList = std::vector<SocketAddress>;

// Finds the addresses of a host name, in the order to try them; false when there are none. It
// may block for as long as the name servers take, so it runs on a worker thread of its own and
// must touch nothing but its arguments.
using HostResolver = std::function<bool(const std::string& host, AddressList& addresses)>;

// The system's resolver.
bool ResolveHostName(const std::string& host, AddressList& addresses);
// A host written as a numeric address, read without asking anyone; false for a name.
bool ParseNumericAddress(const std::string& host, AddressList& addresses);

// One look-up of a host name on a worker thread. Owner and worker share only the result record,
// and both own it: dropping the look-up abandons it at once, without waiting, and a worker that
// answers later writes into a record that nobody reads any more.
class CHostLookup {
  public:
    enum class Status { Pending, Found, Failed };

    CHostLookup(const std::string& host, const HostResolver& resolver);
    CHostLookup(const CHostLookup&) = delete;
    CHostLookup& operator=(const CHostLookup&) = delete;

    // Never waits; Found hands the addresses over.
    Status Poll(AddressList& addresses);

  private:
    struct Result;
    std::shared_ptr<Result> m_result;
};
