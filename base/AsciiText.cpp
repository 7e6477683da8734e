#include "base/AsciiText.h"

#include <limits>

std::string LowerAsciiCopy(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) c = LowerAscii(c);
    return lower;
}

bool ReadStreamNumber(std::string_view text, long long minimum, long long maximum, long long& out) {
    std::size_t i = 0;
    // The white space a text stream skips in the "C" locale.
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    // Accumulate towards the sign so the most negative value reads without overflow.
    constexpr long long kMin = std::numeric_limits<long long>::min();
    constexpr long long kMax = std::numeric_limits<long long>::max();
    long long value = 0;
    const std::size_t firstDigit = i;
    bool overflow = false;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        const int digit = text[i] - '0';
        if (negative) {
            if (value < (kMin + digit) / 10) overflow = true;
            if (!overflow) value = value * 10 - digit;
        } else {
            if (value > (kMax - digit) / 10) overflow = true;
            if (!overflow) value = value * 10 + digit;
        }
    }
    if (i == firstDigit || overflow || value < minimum || value > maximum) return false;
    out = value;
    return true;
}

bool ReadStreamInt32(std::string_view text, std::int32_t& out) {
    long long value = 0;
    if (!ReadStreamNumber(text, std::numeric_limits<std::int32_t>::min(),
                          std::numeric_limits<std::int32_t>::max(), value)) {
        return false;
    }
    out = static_cast<std::int32_t>(value);
    return true;
}

std::int32_t LeadingDigitsValue(std::string_view text) {
    constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();
    std::int64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') break;
        value = value * 10 + (c - '0');
        if (value > kMax) return static_cast<std::int32_t>(kMax);
    }
    return static_cast<std::int32_t>(value);
}
