#pragma once

#include <cstddef>
#include <memory>
#include <string>

// A growable byte array that is consumed from the front. Consuming only moves a read offset;
// the live bytes are moved to the start of the storage only when the consumed gap is at least as
// large as they are, so taking many small pieces from the front costs linear time in the bytes.
class CByteBuffer {
  public:
    static constexpr std::size_t npos = static_cast<std::size_t>(-1);

    CByteBuffer() = default;
    CByteBuffer(const CByteBuffer&) = delete;
    CByteBuffer& operator=(const CByteBuffer&) = delete;

    // The first live byte; a pointer to an empty string when there is none.
    const char* Data() const;
    char* Data();
    std::size_t Size() const { return m_end - m_begin; }
    bool Empty() const { return m_end == m_begin; }
    // Bytes of storage held, for callers that bound their memory.
    std::size_t Capacity() const { return m_capacity; }

    void Append(const char* data, std::size_t length);
    // Room for at least length bytes after the last live byte; Commit makes them live.
    char* Reserve(std::size_t length);
    void Commit(std::size_t length) { m_end += length; }
    // Drops length bytes from the front (at most Size()).
    void Consume(std::size_t length);
    // Keeps only the first size live bytes.
    void Truncate(std::size_t size);
    // Drops length bytes starting at from, moving whichever side of them is shorter.
    void Erase(std::size_t from, std::size_t length);
    // Drops everything; large storage is given back.
    void Clear();
    void Swap(CByteBuffer& other) noexcept;

    // Position (from the front) of the first byte equal to value at or after from and before
    // limit, or npos.
    std::size_t Find(char value, std::size_t from = 0, std::size_t limit = npos) const;
    // The last position before limit holding value, or npos.
    std::size_t FindLast(char value, std::size_t limit) const;
    // Moves the bytes up to and including the first '\n' into line; false, and line left as it
    // is, when there is none.
    bool TakeLine(std::string& line);

  private:
    // Storage above this size is freed when the buffer is cleared.
    static constexpr std::size_t kKeptCapacity = 1024 * 1024;

    std::unique_ptr<char[]> m_data;
    std::size_t m_capacity = 0;
    std::size_t m_begin = 0;
    std::size_t m_end = 0;
};
