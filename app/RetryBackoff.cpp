#include "app/RetryBackoff.h"

#include <algorithm>

void CRetryBackoff::Failed(std::uint64_t nowMs) {
    m_delayMs = m_delayMs == 0 ? kFirstDelayMs : std::min(m_delayMs * 2, kLongestDelayMs);
    m_dueMs = nowMs + m_delayMs;
}
