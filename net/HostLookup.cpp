#include "net/HostLookup.h"

#include <netdb.h>
#include <netinet/in.h>

#include <cstring>
#include <mutex>
#include <thread>
#include <utility>

namespace {

bool LookUp(const std::string& host, int flags, AddressList& addresses) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = flags;
    addrinfo* results = nullptr;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &results) != 0) return false;
    for (const addrinfo* entry = results; entry; entry = entry->ai_next) {
        if ((entry->ai_family != AF_INET && entry->ai_family != AF_INET6) || !entry->ai_addr) {
            continue;
        }
        if (entry->ai_addrlen > sizeof(sockaddr_storage)) continue;
        SocketAddress address;
        std::memcpy(&address.storage, entry->ai_addr, entry->ai_addrlen);
        address.length = entry->ai_addrlen;
        addresses.push_back(address);
    }
    freeaddrinfo(results);
    return !addresses.empty();
}

}  // namespace

void SocketAddress::SetPort(std::uint16_t port) {
    if (Family() == AF_INET) reinterpret_cast<sockaddr_in*>(&storage)->sin_port = htons(port);
    if (Family() == AF_INET6) reinterpret_cast<sockaddr_in6*>(&storage)->sin6_port = htons(port);
}

bool ResolveHostName(const std::string& host, AddressList& addresses) {
    return LookUp(host, 0, addresses);
}

bool ParseNumericAddress(const std::string& host, AddressList& addresses) {
    return LookUp(host, AI_NUMERICHOST, addresses);
}

struct CHostLookup::Result {
    std::mutex mutex;
    bool answered = false;
    bool found = false;
    AddressList addresses;
};

CHostLookup::CHostLookup(const std::string& host, const HostResolver& resolver)
    : m_result(std::make_shared<Result>()) {
    try {
        std::thread([result = m_result, host, resolver] {
            AddressList addresses;
            bool found = false;
            try {
                found = resolver && resolver(host, addresses) && !addresses.empty();
            } catch (...) {
                found = false;
            }
            std::lock_guard<std::mutex> lock(result->mutex);
            result->addresses = std::move(addresses);
            result->found = found;
            result->answered = true;
        }).detach();
    } catch (...) {
        // Without a thread the name cannot be looked up: it fails like an unknown name.
        m_result->answered = true;
    }
}

CHostLookup::Status CHostLookup::Poll(AddressList& addresses) {
    std::lock_guard<std::mutex> lock(m_result->mutex);
    if (!m_result->answered) return Status::Pending;
    if (!m_result->found) return Status::Failed;
    addresses = std::move(m_result->addresses);
    return Status::Found;
}
