#include "base/AsciiText.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

struct NumberCase {
    const char* text;
    bool reads;
    long long value;
};

TEST(ReadStreamNumber, ReadsAsATextStreamDoes) {
    constexpr long long kMin = std::numeric_limits<long long>::min();
    constexpr long long kMax = std::numeric_limits<long long>::max();
    const NumberCase cases[] = {
        {"42", true, 42},
        {" \t\r\n\v\f42", true, 42},
        {"+7", true, 7},
        {"-5", true, -5},
        {"12pt", true, 12},
        {"007", true, 7},
        {"9223372036854775807", true, kMax},
        {"-9223372036854775808", true, kMin},
        {"9223372036854775808", false, 0},
        {"-9223372036854775809", false, 0},
        {"99999999999999999999999", false, 0},
        {"", false, 0},
        {"   ", false, 0},
        {"+", false, 0},
        {"- 5", false, 0},
        {"x5", false, 0},
        {"0x10", true, 0},
    };
    for (const NumberCase& c : cases) {
        long long value = -1234;
        EXPECT_EQ(ReadStreamNumber(c.text, kMin, kMax, value), c.reads) << c.text;
        EXPECT_EQ(value, c.reads ? c.value : -1234) << c.text;
    }
}

TEST(ReadStreamNumber, RangeFailureLeavesThePreviousValue) {
    long long value = 9;
    EXPECT_FALSE(ReadStreamNumber("65536", 0, 65535, value));
    EXPECT_FALSE(ReadStreamNumber("-1", 0, 65535, value));
    EXPECT_EQ(value, 9);
    std::int32_t small = 3;
    EXPECT_FALSE(ReadStreamInt32("2147483648", small));
    EXPECT_TRUE(ReadStreamInt32("-2147483648", small));
    EXPECT_EQ(small, std::numeric_limits<std::int32_t>::min());
}

TEST(AsciiText, OnlyAsciiLettersHaveACase) {
    EXPECT_EQ(LowerAsciiCopy("HTTP://Www.\xC4\xD6Z@[`"), "http://www.\xC4\xD6z@[`");
    for (int c = 0; c < 256; ++c) {
        const auto byte = static_cast<unsigned char>(c);
        const int expected = (c >= '0' && c <= '9')   ? c - '0'
                             : (c >= 'a' && c <= 'f') ? c - 'a' + 10
                             : (c >= 'A' && c <= 'F') ? c - 'A' + 10
                                                      : -1;
        EXPECT_EQ(HexDigitValue(byte), expected) << c;
    }
}

}  // namespace
