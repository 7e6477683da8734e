#pragma once

#include <cstddef>
#include <string>

#include "net/ByteBuffer.h"

// The bytes a connection could not send yet, kept in order behind each other up to a bound.
// A write is any callable (data, length) -> long: the count taken, 0 when the connection takes
// nothing now, negative when it is broken.
class CSendQueue {
  public:
    static constexpr std::size_t kMaxUnsent = 4 * 1024 * 1024;

    enum class Result { Taken, Broken, Overflow };

    // Sends what waits, then data; what the connection does not take now waits. Overflow when
    // waiting bytes would pass kMaxUnsent: the queue is then emptied, and the connection must
    // fail with OverflowText.
    template <class Write>
    Result Send(const char* data, std::size_t length, Write write) {
        Flush(write);
        std::size_t sent = 0;
        if (m_unsent.Empty() && length != 0) {
            const long count = write(data, length);
            if (count < 0) return Result::Broken;
            sent = static_cast<std::size_t>(count);
        }
        const std::size_t rest = length - sent;
        if (rest == 0) return Result::Taken;
        if (rest > kMaxUnsent - m_unsent.Size()) {
            m_unsent.Clear();
            return Result::Overflow;
        }
        m_unsent.Append(data + sent, rest);
        return Result::Taken;
    }

    // Writes what waits until the connection takes no more; a broken connection drops it, as
    // nothing can deliver it any more.
    template <class Write>
    void Flush(Write write) {
        while (!m_unsent.Empty()) {
            const long count = write(m_unsent.Data(), m_unsent.Size());
            if (count == 0) return;
            if (count < 0) {
                m_unsent.Clear();
                return;
            }
            m_unsent.Consume(static_cast<std::size_t>(count));
        }
    }

    void Clear() { m_unsent.Clear(); }
    std::size_t Size() const { return m_unsent.Size(); }

    static std::string OverflowText();

  private:
    CByteBuffer m_unsent;
};
