#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Byte-string helpers that every part of the client shares. Strings are bytes here: only the
// ASCII letters and digits have a case or a value, whatever the bytes above 0x7F mean.

constexpr char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c;
}
constexpr unsigned char LowerAscii(unsigned char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + ('a' - 'A')) : c;
}

// A lower-case copy of text (ASCII letters only).
std::string LowerAsciiCopy(std::string_view text);

// The value of one hexadecimal digit (either case), or -1 for any other byte.
constexpr int HexDigitValue(unsigned char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reads a whole number from the start of text the way a text stream does: leading white space
// skipped, an optional sign, then decimal digits; reading stops at the first byte that cannot
// belong to the number. False, leaving out unchanged, when there are no digits or the number
// lies outside [minimum, maximum].
bool ReadStreamNumber(std::string_view text, long long minimum, long long maximum, long long& out);

// The same for a signed 32-bit value.
bool ReadStreamInt32(std::string_view text, std::int32_t& out);

// The value of the decimal digits at the start of text (no white space, no sign), saturated at
// the largest signed 32-bit value; 0 when text does not begin with a digit.
std::int32_t LeadingDigitsValue(std::string_view text);
