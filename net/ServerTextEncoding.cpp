#include "net/ServerTextEncoding.h"

#include <cstring>

#include "base/AsciiText.h"

namespace {

constexpr char kEscape = 0x1A;
constexpr std::uint32_t kReplacement = 0xFFFD;
constexpr std::size_t kMaxEscapeDigits = 8;

// The value of the escape that starts at text[at] (a 0x1A) and the length of the whole escape;
// false when no well-formed escape starts there.
bool ReadEscape(std::string_view text, std::size_t at, std::uint32_t& value, std::size_t& length) {
    const std::size_t close = text.find(kEscape, at + 1);
    if (close == std::string_view::npos) return false;
    const std::size_t digits = close - at - 1;
    if (digits == 0 || digits > kMaxEscapeDigits) return false;
    std::uint32_t result = 0;
    for (std::size_t i = at + 1; i < close; ++i) {
        const int digit = HexDigitValue(static_cast<unsigned char>(text[i]));
        if (digit < 0) return false;
        result = result << 4 | static_cast<std::uint32_t>(digit);
    }
    value = result;
    length = close - at + 1;
    return true;
}

void AppendUtf8(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | cp >> 6);
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | cp >> 12);
        out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | cp >> 18);
        out += static_cast<char>(0x80 | (cp >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

bool IsHighSurrogate(std::uint32_t v) { return v >= 0xD800 && v <= 0xDBFF; }
bool IsLowSurrogate(std::uint32_t v) { return v >= 0xDC00 && v <= 0xDFFF; }

void AppendCharacter(std::string& out, std::uint32_t cp, ServerEncoding encoding) {
    if (encoding == ServerEncoding::Latin1) {
        out += cp <= 0xFF ? static_cast<char>(cp) : '?';
    } else {
        AppendUtf8(out, cp);
    }
}

}  // namespace

bool ParseServerEncoding(std::string_view text, ServerEncoding& encoding) {
    const std::string word = LowerAsciiCopy(text);
    if (word == "native") {
        encoding = ServerEncoding::Native;
    } else if (word == "utf-8" || word == "utf8") {
        encoding = ServerEncoding::Utf8;
    } else if (word == "latin-1" || word == "latin1" || word == "iso-8859-1") {
        encoding = ServerEncoding::Latin1;
    } else {
        return false;
    }
    return true;
}

const char* ServerEncodingName(ServerEncoding encoding) {
    switch (encoding) {
        case ServerEncoding::Utf8:
            return "utf-8";
        case ServerEncoding::Latin1:
            return "latin-1";
        case ServerEncoding::Native:
            break;
    }
    return "native";
}

void AppendUnicodeEscape(std::string& out, std::uint32_t codeUnit) {
    static constexpr char kDigits[] = "0123456789abcdef";
    char buffer[8];
    std::size_t length = 0;
    do {
        buffer[length++] = kDigits[codeUnit & 0xF];
        codeUnit >>= 4;
    } while (codeUnit != 0);
    out += kEscape;
    while (length > 0) out += buffer[--length];
    out += kEscape;
}

void AppendCodePointEscapes(std::string& out, std::uint32_t codePoint) {
    if (codePoint < 0x10000) {
        AppendUnicodeEscape(out, codePoint);
        return;
    }
    const std::uint32_t offset = codePoint - 0x10000;
    AppendUnicodeEscape(out, 0xD800 | offset >> 10);
    AppendUnicodeEscape(out, 0xDC00 | (offset & 0x3FF));
}

bool EncodesUnchanged(std::string_view text, ServerEncoding encoding) {
    if (encoding == ServerEncoding::Native) return true;
    if (std::memchr(text.data(), kEscape, text.size())) return false;
    if (encoding == ServerEncoding::Latin1) return true;
    for (char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    }
    return true;
}

std::string EncodeForServer(std::string_view text, ServerEncoding encoding) {
    if (EncodesUnchanged(text, encoding)) return std::string(text);
    std::string out;
    out.reserve(text.size() + text.size() / 2);
    for (std::size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        std::uint32_t value = 0;
        std::size_t length = 0;
        if (byte != kEscape || !ReadEscape(text, i, value, length)) {
            // A byte of the client's text is a Latin-1 character; a lone 0x1A stays a byte.
            AppendCharacter(out, byte, encoding);
            ++i;
            continue;
        }
        i += length;
        if (IsHighSurrogate(value)) {
            std::uint32_t low = 0;
            std::size_t lowLength = 0;
            if (i < text.size() && text[i] == kEscape && ReadEscape(text, i, low, lowLength) &&
                IsLowSurrogate(low)) {
                i += lowLength;
                value = 0x10000 + ((value - 0xD800) << 10) + (low - 0xDC00);
            } else {
                value = kReplacement;
            }
        } else if (IsLowSurrogate(value) || value == 0 || value > 0x10FFFF) {
            value = kReplacement;
        }
        AppendCharacter(out, value, encoding);
    }
    return out;
}
