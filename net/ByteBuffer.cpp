#include "net/ByteBuffer.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace {
constexpr char kNoBytes[1] = {0};
}

// An emptied buffer keeps its storage, and with it the old bytes, unterminated: callers that
// read the data as a string must get an empty one.
const char* CByteBuffer::Data() const { return Empty() ? kNoBytes : m_data.get() + m_begin; }

char* CByteBuffer::Data() {
    // Nobody writes through a pointer to no bytes.
    return Empty() ? const_cast<char*>(kNoBytes) : m_data.get() + m_begin;
}

void CByteBuffer::Append(const char* data, std::size_t length) {
    if (length == 0) return;
    std::memcpy(Reserve(length), data, length);
    m_end += length;
}

char* CByteBuffer::Reserve(std::size_t length) {
    if (m_capacity - m_end >= length) return m_data.get() + m_end;
    const std::size_t live = Size();
    if (m_begin >= live && m_capacity - live >= length) {
        // The gap in front is at least as large as what moves: amortised over the consumed bytes.
        std::memmove(m_data.get(), m_data.get() + m_begin, live);
    } else {
        const std::size_t capacity = std::max({m_capacity * 2, live + length, std::size_t{256}});
        std::unique_ptr<char[]> grown(new char[capacity]);
        if (live != 0) std::memcpy(grown.get(), m_data.get() + m_begin, live);
        m_data = std::move(grown);
        m_capacity = capacity;
    }
    m_begin = 0;
    m_end = live;
    return m_data.get() + m_end;
}

void CByteBuffer::Consume(std::size_t length) {
    m_begin += std::min(length, Size());
    if (m_begin == m_end) m_begin = m_end = 0;
}

void CByteBuffer::Truncate(std::size_t size) {
    if (size < Size()) m_end = m_begin + size;
    if (m_begin == m_end) m_begin = m_end = 0;
}

void CByteBuffer::Erase(std::size_t from, std::size_t length) {
    const std::size_t size = Size();
    if (from >= size || length == 0) return;
    length = std::min(length, size - from);
    char* live = m_data.get() + m_begin;
    const std::size_t after = size - from - length;
    if (from < after) {
        std::memmove(live + length, live, from);
        m_begin += length;
    } else {
        std::memmove(live + from, live + from + length, after);
        m_end -= length;
    }
    if (m_begin == m_end) m_begin = m_end = 0;
}

void CByteBuffer::Clear() {
    m_begin = m_end = 0;
    if (m_capacity > kKeptCapacity) {
        m_data.reset();
        m_capacity = 0;
    }
}

void CByteBuffer::Swap(CByteBuffer& other) noexcept {
    std::swap(m_data, other.m_data);
    std::swap(m_capacity, other.m_capacity);
    std::swap(m_begin, other.m_begin);
    std::swap(m_end, other.m_end);
}

std::size_t CByteBuffer::Find(char value, std::size_t from, std::size_t limit) const {
    const std::size_t end = std::min(limit, Size());
    if (from >= end) return npos;
    const char* start = Data();
    const void* hit = std::memchr(start + from, value, end - from);
    return hit ? static_cast<std::size_t>(static_cast<const char*>(hit) - start) : npos;
}

bool CByteBuffer::TakeLine(std::string& line) {
    const std::size_t end = Find('\n');
    if (end == npos) return false;
    line.assign(Data(), end + 1);
    Consume(end + 1);
    return true;
}

std::size_t CByteBuffer::FindLast(char value, std::size_t limit) const {
    const std::size_t end = std::min(limit, Size());
    if (end == 0) return npos;
    const void* found = memrchr(Data(), value, end);
    return found ? static_cast<std::size_t>(static_cast<const char*>(found) - Data()) : npos;
}
