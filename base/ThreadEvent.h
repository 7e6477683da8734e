#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

// A signalled/not-signalled flag threads can wait on. An auto-reset event lets one waiter
// through per Signal and then resets itself; a manual-reset event stays signalled until Reset.
class CThreadEvent {
  public:
    explicit CThreadEvent(bool manualReset) : m_manualReset(manualReset) {}

    // Notifies while holding the lock: a waiter that wakes and destroys the event at once must
    // not find the signalling thread still using it.
    void Signal() {
        std::lock_guard lock(m_mutex);
        m_signalled = true;
        if (m_manualReset) {
            m_changed.notify_all();
        } else {
            m_changed.notify_one();
        }
    }

    void Reset() {
        std::lock_guard lock(m_mutex);
        m_signalled = false;
    }

    // True when the event was signalled within the time-out.
    bool Wait(std::chrono::milliseconds timeout) {
        std::unique_lock lock(m_mutex);
        if (!m_changed.wait_for(lock, timeout, [this] { return m_signalled; })) return false;
        if (!m_manualReset) m_signalled = false;
        return true;
    }

    bool IsSignalled() const {
        std::lock_guard lock(m_mutex);
        return m_signalled;
    }

  private:
    const bool m_manualReset;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_signalled = false;
};
