#include "ui/qt/BlockMemory.h"

#include <sys/mman.h>
#include <unistd.h>

#include <condition_variable>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

namespace {

// Smaller blocks come from the heap, whose pages are mostly in use already.
constexpr std::size_t kMappedFrom = 64 * 1024;
// Blocks of the size the text is kept in are made ready ahead, this many at a time.
constexpr std::size_t kReadyBytes = 64 * 1024;
constexpr std::size_t kReadyBlocks = 8;

void* MapBlock(std::size_t bytes) {
    void* block = mmap(nullptr, bytes, PROT_READ | PROT_WRITE,
                       MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
    return block == MAP_FAILED ? nullptr : block;
}

// Keeps a few blocks mapped and written to by a thread of its own. The first write to a page
// costs far more than the write itself (on a virtual machine, some microseconds, even for a
// page the system has already mapped); paid here, it is not paid by the thread that fills the
// block, in the middle of showing a flood.
class ReadyBlocks {
  public:
    ReadyBlocks() { m_ready.reserve(kReadyBlocks); }
    ~ReadyBlocks() {
        {
            std::lock_guard lock(m_mutex);
            m_stopping = true;
        }
        m_wake.notify_one();
        if (m_worker.joinable()) m_worker.join();
        for (void* block : m_ready) munmap(block, kReadyBytes);
    }
    ReadyBlocks(const ReadyBlocks&) = delete;
    ReadyBlocks& operator=(const ReadyBlocks&) = delete;

    // A ready block, or nullptr when none is (the caller then maps one itself).
    void* Take() {
        std::unique_lock lock(m_mutex);
        if (!m_started) {
            m_started = true;
            m_worker = std::thread([this] { Run(); });
        }
        if (m_ready.empty()) return nullptr;
        void* block = m_ready.back();
        m_ready.pop_back();
        lock.unlock();
        m_wake.notify_one();
        return block;
    }

  private:
    void Run() {
        const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_wake.wait(lock, [&] { return m_stopping || m_ready.size() < kReadyBlocks; });
            if (m_stopping) return;
            lock.unlock();
            void* block = MapBlock(kReadyBytes);
            if (block) {
                for (std::size_t at = 0; at < kReadyBytes; at += page) {
                    static_cast<volatile char*>(block)[at] = 0;
                }
            }
            lock.lock();
            // Out of memory: the callers map their own blocks, and fail there.
            if (!block) return;
            m_ready.push_back(block);
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::vector<void*> m_ready;
    bool m_started = false;
    bool m_stopping = false;
    std::thread m_worker;
};

ReadyBlocks& Ready() {
    static ReadyBlocks ready;
    return ready;
}

}  // namespace

void* AllocateBlock(std::size_t bytes) {
    if (bytes < kMappedFrom) return ::operator new(bytes);
    void* block = bytes == kReadyBytes ? Ready().Take() : nullptr;
    if (!block) block = MapBlock(bytes);
    if (!block) throw std::bad_alloc();
    return block;
}

void FreeBlock(void* block, std::size_t bytes) {
    if (!block) return;
    if (bytes < kMappedFrom) {
        ::operator delete(block);
        return;
    }
    munmap(block, bytes);
}
