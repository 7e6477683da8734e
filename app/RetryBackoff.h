#pragma once

#include <cstdint>

// When to try a failed operation again: one second after the first failure, then twice the
// previous wait after each further one, never more than a minute apart. Times are monotonic
// milliseconds.
class CRetryBackoff {
  public:
    static constexpr std::uint64_t kFirstDelayMs = 1000;
    static constexpr std::uint64_t kLongestDelayMs = 60000;

    // True when nothing failed since the last success, or the wait has passed.
    bool IsDue(std::uint64_t nowMs) const { return m_delayMs == 0 || nowMs >= m_dueMs; }
    void Failed(std::uint64_t nowMs);
    void Succeeded() { m_delayMs = 0; }
    // The wait after the last failure; 0 while nothing failed.
    std::uint64_t DelayMs() const { return m_delayMs; }

  private:
    std::uint64_t m_delayMs = 0;
    std::uint64_t m_dueMs = 0;
};
