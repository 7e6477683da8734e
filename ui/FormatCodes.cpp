#include "ui/FormatCodes.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "base/AsciiText.h"

namespace {

// Marks a byte that is no hexadecimal digit in the digit table.
constexpr std::uint8_t kNotHex = 0x80;

// The colour tags "<-31>" to "<-37>" in digit order.
constexpr const char* kNumberedColours[7] = {"ff0000", "00ff00", "ffff00", "0000ff",
                                             "ff00ff", "00ffff", "ffffff"};

// The tag conversion rewrites the text in place and rescans what a replacement leaves after the
// code byte (the six characters of a "<-c" tag can hold or begin further tags). To stay linear
// the part not yet scanned is kept as a short rewritten front (`ahead`) plus the untouched rest
// of the input.
class TagScanner {
  public:
    explicit TagScanner(std::string_view text) : m_text(text) { m_out.reserve(text.size()); }

    std::string Run() {
        while (Remaining() > 0) {
            if (m_ahead.empty()) {
                const void* next = std::memchr(m_text.data() + m_read, '<', m_text.size() - m_read);
                std::size_t stop =
                    next ? static_cast<const char*>(next) - m_text.data() : m_text.size();
                m_out.append(m_text, m_read, stop - m_read);
                m_read = stop;
                if (m_read == m_text.size()) break;
            }
            if (!ConvertAtFront()) {
                m_out += m_ahead;
                m_out.append(m_text, m_read);
                break;
            }
            m_out += static_cast<char>(At(0));
            Drop(1);
        }
        return std::move(m_out);
    }

  private:
    std::size_t Remaining() const { return m_ahead.size() + (m_text.size() - m_read); }

    unsigned char At(std::size_t k) const {
        if (k < m_ahead.size()) return static_cast<unsigned char>(m_ahead[k]);
        return static_cast<unsigned char>(m_text[m_read + k - m_ahead.size()]);
    }

    void Drop(std::size_t n) {
        std::size_t fromAhead = n < m_ahead.size() ? n : m_ahead.size();
        m_ahead.erase(0, fromAhead);
        m_read += n - fromAhead;
    }

    void Replace(std::size_t n, std::string_view with) {
        Drop(n);
        m_ahead.insert(0, with);
    }

    // Converts a tag at the front if there is one. False means the scan stops here.
    bool ConvertAtFront() {
        const std::size_t left = Remaining();
        if (left < 4 || At(0) != '<' || At(1) != '-') return true;
        const unsigned char x = At(2);
        switch (LowerAscii(x)) {
            case 'b':
            case '1':
            case 'i':
            case 'u':
            case 's':
            case '0': {
                if (At(3) != '>') return true;
                unsigned char code = FormatCode::kReset;
                switch (LowerAscii(x)) {
                    case 'b':
                    case '1':
                        code = FormatCode::kBoldOn;
                        break;
                    case 'i':
                        code = FormatCode::kItalicOn;
                        break;
                    case 'u':
                        code = FormatCode::kUnderlineOn;
                        break;
                    case 's':
                        code = FormatCode::kStrikeoutOn;
                        break;
                    default:
                        break;
                }
                char c = static_cast<char>(code);
                Replace(4, std::string_view(&c, 1));
                return true;
            }
            case 'c': {
                if (left < 10 || At(9) != '>') return true;
                std::string replacement(1, static_cast<char>(FormatCode::kColourOn));
                for (std::size_t k = 3; k < 9; ++k) replacement += static_cast<char>(At(k));
                Replace(10, replacement);
                return true;
            }
            case '3': {
                if (left < 5) return false;
                // Any other fifth byte leaves the sequence as it is and the scan goes on.
                if (At(4) != '>') return true;
                const unsigned char digit = At(3);
                if (digit < '1' || digit > '7') return true;
                std::string replacement(1, static_cast<char>(FormatCode::kColourOn));
                replacement += kNumberedColours[digit - '1'];
                Replace(5, replacement);
                return true;
            }
            case '/': {
                if (left < 5) return false;
                if (At(4) != '>') return true;
                unsigned char code = 0;
                switch (LowerAscii(At(3))) {
                    case 'b':
                        code = FormatCode::kBoldOff;
                        break;
                    case 'i':
                        code = FormatCode::kItalicOff;
                        break;
                    case 'u':
                        code = FormatCode::kUnderlineOff;
                        break;
                    case 's':
                        code = FormatCode::kStrikeoutOff;
                        break;
                    default:
                        return true;
                }
                char c = static_cast<char>(code);
                Replace(5, std::string_view(&c, 1));
                return true;
            }
            default:
                return true;
        }
    }

    std::string_view m_text;
    std::size_t m_read = 0;
    std::string m_ahead;
    std::string m_out;
};

void AppendColourTag(std::string& out, Colour colour) {
    char tag[16];
    std::snprintf(tag, sizeof tag, "<-c%02x%02x%02x>", colour & 0xFFu, (colour >> 8) & 0xFFu,
                  (colour >> 16) & 0xFFu);
    out += tag;
}

}  // namespace

std::string TagsToCodes(std::string_view text) { return TagScanner(text).Run(); }

bool ParseHexColour(std::string_view sixChars, Colour& out) {
    if (sixChars.size() < 6) return false;
    // Every colour code of server text comes through here, so the digits are read from a table
    // and checked together rather than one branch at a time.
    static constexpr auto kDigits = [] {
        std::array<std::uint8_t, 256> digits{};
        for (unsigned c = 0; c < 256; ++c) {
            const int value = HexDigitValue(static_cast<unsigned char>(c));
            digits[c] = value < 0 ? kNotHex : static_cast<std::uint8_t>(value);
        }
        return digits;
    }();
    std::uint32_t d[6];
    std::uint32_t invalid = 0;
    for (int k = 0; k < 6; ++k) {
        d[k] = kDigits[static_cast<unsigned char>(sixChars[k])];
        invalid |= d[k];
    }
    if (invalid & kNotHex) return false;
    out = ((d[0] << 4) | d[1]) | (((d[2] << 4) | d[3]) << 8) | (((d[4] << 4) | d[5]) << 16);
    return true;
}

std::string ColourMessage(std::uint32_t rrggbb, std::string_view text) {
    // A value beyond 24 bits would print more than six digits and break the code's length.
    char digits[8];
    std::snprintf(digits, sizeof digits, "%06x", rrggbb & 0xFFFFFFu);
    std::string message;
    message.reserve(8 + text.size());
    message += static_cast<char>(FormatCode::kColourOn);
    message += digits;
    message += text;
    const bool endsInOffCode = !text.empty() && static_cast<unsigned char>(text.back()) >= 0x80 &&
                               static_cast<unsigned char>(text.back()) <= 0xBF;
    if (!endsInOffCode) message += static_cast<char>(FormatCode::kReset);
    return message;
}

bool ParseUrlPrefixList(std::string_view value, std::vector<std::string>& prefixes) {
    std::vector<std::string> read;
    std::string_view rest = value;
    auto skipSpaces = [&rest] {
        while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
    };
    while (!rest.empty()) {
        skipSpaces();
        if (rest.empty() || rest.front() != '"') return false;
        std::size_t close = rest.find('"', 1);
        if (close == std::string_view::npos) return false;
        read.emplace_back(rest.substr(1, close - 1));
        rest.remove_prefix(close + 1);
        skipSpaces();
        if (rest.empty()) break;
        if (rest.front() == ',') rest.remove_prefix(1);
    }
    prefixes = std::move(read);
    return true;
}

std::string RtfToTags(const std::vector<FormattedChar>& fragment, Colour textColour) {
    struct Effect {
        std::uint32_t bit;
        unsigned char style;
        const char* on;
        const char* off;
    };
    static constexpr Effect kEffects[4] = {
        {CharFormat::kBold, FormatCode::kBold, "<-b>", "<-/b>"},
        {CharFormat::kItalic, FormatCode::kItalic, "<-i>", "<-/i>"},
        {CharFormat::kUnderline, FormatCode::kUnderline, "<-u>", "<-/u>"},
        {CharFormat::kStrikeout, FormatCode::kStrikeout, "<-s>", "<-/s>"},
    };

    std::string result;
    result.reserve(fragment.size());
    Colour current = textColour;
    unsigned style = 0;
    for (const FormattedChar& fc : fragment) {
        unsigned t = 0;
        for (const Effect& e : kEffects) {
            if ((fc.format.mask & e.bit) && (fc.format.effects & e.bit)) t |= e.style;
        }
        Colour d = (fc.format.mask & CharFormat::kColour) ? fc.format.textColour : current;
        if (d == 0) d = textColour;

        if (d != current && d == textColour) {
            result += "<-0>";
            current = d;
            style = 0;
        }
        if (t != style) {
            if (t == 0) {
                result += "<-0>";
                current = textColour;
            } else {
                for (const Effect& e : kEffects) {
                    if ((t & e.style) && !(style & e.style)) result += e.on;
                    if (!(t & e.style) && (style & e.style)) result += e.off;
                }
            }
            style = t;
        }
        if (d != current) {
            AppendColourTag(result, d);
            current = d;
        }

        const char16_t ch = fc.character;
        if (ch < 0x80) {
            result += static_cast<char>(ch);
            if (ch == '\r' || ch == '\n') {
                current = textColour;
                style = 0;
            }
        } else if (ch == 0xB7) {
            result += '*';
        }
    }
    return result;
}

void AppendTypedCharacter(std::string& out, char16_t character) {
    if (character <= 0xFF) {
        out += static_cast<char>(character);
        return;
    }
    static constexpr char kDigits[] = "0123456789abcdef";
    out += static_cast<char>(FormatCode::kUnicodeDelimiter);
    bool leading = true;
    for (int shift = 12; shift >= 0; shift -= 4) {
        const unsigned digit = (character >> shift) & 0xFu;
        if (leading && digit == 0) continue;
        leading = false;
        out += kDigits[digit];
    }
    out += static_cast<char>(FormatCode::kUnicodeDelimiter);
}
