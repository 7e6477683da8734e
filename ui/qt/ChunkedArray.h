#pragma once

#include <cstddef>
#include <cstring>
#include <deque>
#include <memory>
#include <type_traits>
#include <utility>

#include "ui/qt/BlockMemory.h"

// A sequence of plain values in fixed-size blocks: growing at the end never copies what is
// stored, dropping from the front frees whole blocks, and the peak is one block above what is
// held. Indexing is constant time. Edits elsewhere are left to the owner (truncate, re-append).
// One freed block is kept for the next, so a full scrollback that drops as much at the front as
// it gains at the end asks the system for nothing.
template <typename T, unsigned kBlockBits>
class ChunkedArray {
    static_assert(std::is_trivially_copyable_v<T>);

  public:
    static constexpr std::size_t kBlockSize = std::size_t{1} << kBlockBits;

    std::size_t Size() const { return m_size; }
    bool Empty() const { return m_size == 0; }

    T& operator[](std::size_t index) {
        const std::size_t at = m_front + index;
        return m_blocks[at >> kBlockBits][at & kMask];
    }
    const T& operator[](std::size_t index) const {
        const std::size_t at = m_front + index;
        return m_blocks[at >> kBlockBits][at & kMask];
    }
    T& Back() { return (*this)[m_size - 1]; }
    const T& Back() const { return (*this)[m_size - 1]; }

    void PushBack(const T& value) {
        const std::size_t at = m_front + m_size;
        if ((at >> kBlockBits) == m_blocks.size()) AddBlock();
        m_blocks[at >> kBlockBits][at & kMask] = value;
        ++m_size;
    }

    void Append(const T* values, std::size_t count) {
        while (count > 0) {
            const std::size_t at = m_front + m_size;
            if ((at >> kBlockBits) == m_blocks.size()) AddBlock();
            const std::size_t room = kBlockSize - (at & kMask);
            const std::size_t n = count < room ? count : room;
            std::memcpy(&m_blocks[at >> kBlockBits][at & kMask], values, n * sizeof(T));
            values += n;
            count -= n;
            m_size += n;
        }
    }

    // Calls piece(pointer, count) for each contiguous stretch of [start, start + count).
    template <typename Piece>
    void ForEachPiece(std::size_t start, std::size_t count, Piece&& piece) const {
        while (count > 0) {
            const std::size_t at = m_front + start;
            const std::size_t room = kBlockSize - (at & kMask);
            const std::size_t n = count < room ? count : room;
            piece(&m_blocks[at >> kBlockBits][at & kMask], n);
            start += n;
            count -= n;
        }
    }

    void CopyOut(std::size_t start, std::size_t count, T* out) const {
        ForEachPiece(start, count, [&](const T* values, std::size_t n) {
            std::memcpy(out, values, n * sizeof(T));
            out += n;
        });
    }

    void PopFront(std::size_t count) {
        if (count >= m_size) {
            Clear();
            return;
        }
        m_front += count;
        m_size -= count;
        while (m_front >= kBlockSize) {
            m_spare = std::move(m_blocks.front());
            m_blocks.pop_front();
            m_front -= kBlockSize;
        }
    }

    void Truncate(std::size_t size) {
        if (size >= m_size) return;
        if (size == 0) {
            Clear();
            return;
        }
        m_size = size;
        const std::size_t blocksNeeded = (m_front + m_size + kMask) >> kBlockBits;
        while (m_blocks.size() > blocksNeeded) {
            m_spare = std::move(m_blocks.back());
            m_blocks.pop_back();
        }
    }

    void Clear() {
        m_blocks.clear();
        m_blocks.shrink_to_fit();
        m_spare.reset();
        m_front = 0;
        m_size = 0;
    }

    // The first index in [first, last) whose value fails test (test holds for a prefix).
    template <typename Test>
    std::size_t PartitionPoint(std::size_t first, std::size_t last, Test&& test) const {
        while (first < last) {
            const std::size_t middle = first + (last - first) / 2;
            if (test((*this)[middle])) {
                first = middle + 1;
            } else {
                last = middle;
            }
        }
        return first;
    }

    // Bytes allocated for the values and the block table.
    std::size_t MemoryUsage() const {
        return (m_blocks.size() + (m_spare ? 1 : 0)) * (kBlockBytes + sizeof(Block));
    }

  private:
    static constexpr std::size_t kMask = kBlockSize - 1;
    static constexpr std::size_t kBlockBytes = kBlockSize * sizeof(T);

    struct FreeBlockOf {
        void operator()(T* block) const { FreeBlock(block, kBlockBytes); }
    };
    using Block = std::unique_ptr<T[], FreeBlockOf>;

    void AddBlock() {
        if (m_spare) {
            m_blocks.push_back(std::move(m_spare));
        } else {
            m_blocks.push_back(Block(static_cast<T*>(AllocateBlock(kBlockBytes))));
        }
    }

    std::deque<Block> m_blocks;
    Block m_spare;
    std::size_t m_front = 0;  // index of the first value within the first block
    std::size_t m_size = 0;
};
