#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "http/DownloadRequest.h"

// Reads the status code and Content-Length of the request's header block into it; a number
// that cannot be read leaves its field at 0.
void ParseResponseHeaders(DownloadRequest& request);

// Turns the bytes of a response, as they arrive, into the request's header block, body or
// file and its progress counters.
class CResponseReader {
  public:
    // A header block that has not ended after this many bytes is refused: a server that never
    // sends the blank line must not fill the memory.
    static constexpr std::size_t kMaxHeaderBlock = 64 * 1024;
    // A body kept in memory ends the download once it has reached this size.
    static constexpr std::size_t kMaxMemoryBody = 1024 * 1024;
    // How often the transfer rate is refreshed.
    static constexpr std::uint64_t kRateWindowMs = 500;

    enum class Result {
        More,            // go on reading
        BodyFull,        // the body in memory reached its limit
        HeadersTooLong,  // the header block passed kMaxHeaderBlock
        WriteFailed,     // the output file did not take the bytes
    };

    CResponseReader(DownloadRequest& request, std::uint64_t nowMs);

    // bytes arrived (possibly none); streamEnded when the connection has closed or failed,
    // so that what is pending is all there will be.
    Result Take(std::string_view bytes, bool streamEnded, std::uint64_t nowMs);

  private:
    bool TakeHeaderBlock(bool streamEnded);
    Result TakeBody(std::uint64_t nowMs);

    DownloadRequest& m_request;
    std::string m_buffer;
    // Where the search for the blank line goes on, so a slow header block is not searched
    // from its start on every arrival.
    std::size_t m_searchFrom = 0;
    std::uint64_t m_windowStart;
    std::uint64_t m_windowBytes = 0;
};
