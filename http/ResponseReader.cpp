#include "http/ResponseReader.h"

#include <algorithm>

#include "base/AsciiText.h"

namespace {

void AppendWithoutNul(std::string& target, std::string_view bytes) {
    target.reserve(target.size() + bytes.size());
    for (const char c : bytes) {
        if (c != '\0') target += c;
    }
}

}  // namespace

void ParseResponseHeaders(DownloadRequest& request) {
    const std::string lower = LowerAsciiCopy(request.headers);
    if (lower.starts_with("http/1.")) {
        const std::size_t space = lower.find(' ', 9);
        std::int32_t status = 0;
        if (space != std::string::npos &&
            ReadStreamInt32(std::string_view(lower).substr(9, space - 9), status))
            request.status = status;
    }
    constexpr std::string_view kLength = "content-length:";
    if (std::size_t found = lower.find(kLength); found != std::string::npos) {
        found += kLength.size();
        while (found < lower.size() && lower[found] == ' ') ++found;
        const std::size_t end = std::min(lower.find("\r\n", found), lower.size());
        std::int32_t length = 0;
        if (ReadStreamInt32(std::string_view(lower).substr(found, end - found), length))
            request.contentLength = length;
    }
}

CResponseReader::CResponseReader(DownloadRequest& request, std::uint64_t nowMs)
    : m_request(request), m_windowStart(nowMs) {}

CResponseReader::Result CResponseReader::Take(std::string_view bytes, bool streamEnded,
                                              std::uint64_t nowMs) {
    m_buffer.append(bytes);
    if (!m_request.headersDone && !TakeHeaderBlock(streamEnded)) {
        if (m_buffer.size() > kMaxHeaderBlock) return Result::HeadersTooLong;
        return Result::More;
    }
    if (m_request.headersDone && !m_buffer.empty()) return TakeBody(nowMs);
    return Result::More;
}

bool CResponseReader::TakeHeaderBlock(bool streamEnded) {
    constexpr std::string_view kBlankLine = "\r\n\r\n";
    std::size_t blockEnd = std::string::npos;
    std::size_t skip = 0;
    if (m_buffer.size() >= kBlankLine.size()) {
        blockEnd = m_buffer.find(kBlankLine, m_searchFrom);
        if (blockEnd == std::string::npos) {
            m_searchFrom = m_buffer.size() - (kBlankLine.size() - 1);
        } else {
            skip = kBlankLine.size();
        }
    }
    if (blockEnd == std::string::npos) {
        if (!streamEnded) return false;
        // The server closed before the blank line: all of it was the header block.
        blockEnd = m_buffer.size();
    }
    if (blockEnd > kMaxHeaderBlock) return false;
    AppendWithoutNul(m_request.headers, std::string_view(m_buffer).substr(0, blockEnd));
    m_buffer.erase(0, blockEnd + skip);
    ParseResponseHeaders(m_request);
    m_request.headersDone = true;
    return true;
}

CResponseReader::Result CResponseReader::TakeBody(std::uint64_t nowMs) {
    const std::size_t size = m_buffer.size();
    m_windowBytes += size;
    const std::uint64_t elapsed = nowMs - m_windowStart;
    if (elapsed > kRateWindowMs) {
        const float seconds = static_cast<float>(elapsed) / 1000.0f;
        m_request.rate = static_cast<std::int32_t>(static_cast<float>(m_windowBytes) / seconds);
        m_windowBytes = 0;
        m_windowStart = nowMs;
    }
    m_request.received += size;
    Result result = Result::More;
    if (m_request.file) {
        if (std::fwrite(m_buffer.data(), 1, size, m_request.file) != size)
            result = Result::WriteFailed;
    } else {
        AppendWithoutNul(m_request.body, m_buffer);
        if (m_request.body.size() >= kMaxMemoryBody) result = Result::BodyFull;
    }
    m_buffer.clear();
    return result;
}
