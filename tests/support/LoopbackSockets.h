#pragma once

#include <netinet/in.h>

#include <cstddef>
#include <cstdint>

// 127.0.0.1 at port.
sockaddr_in Loopback(std::uint16_t port);

// Writes all of data to a blocking socket; false when the peer is gone or stopped reading.
bool WriteAll(int fd, const char* data, std::size_t length);

// A socket listening on 127.0.0.1 at a port the system picked; fd is -1 when that failed.
// Nothing accepts unless its owner does: the kernel completes connects into the backlog, and
// no byte ever comes back.
struct LoopbackListener {
    explicit LoopbackListener(int backlog = 4);
    ~LoopbackListener();
    LoopbackListener(const LoopbackListener&) = delete;
    LoopbackListener& operator=(const LoopbackListener&) = delete;

    // Hands the descriptor over; the caller closes it.
    int Release();

    int fd = -1;
    std::uint16_t port = 0;
};
