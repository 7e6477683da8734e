#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Where a GET goes: the host and port to connect to and the path to ask for.
struct HttpTarget {
    std::string host;
    std::uint16_t port = 80;
    std::string path = "/";
    // Over TLS ("https://").
    bool tls = false;

    // "host:port", as error texts name the server.
    std::string HostAndPort() const { return host + ":" + std::to_string(port); }
};

// Splits an address such as "http://example:8080/index.html". A leading "http://" (any case)
// is dropped; the path runs from the first "/" ("/" when there is none); a port that is not a
// 16-bit number means 80. A leading "https://" (any case) is dropped too and means TLS, with
// 443 in place of 80.
HttpTarget SplitUrl(std::string_view url);

// The one request a worker sends.
std::string BuildGetRequest(const HttpTarget& target);
