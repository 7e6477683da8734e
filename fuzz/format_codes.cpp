// The format-code functions on arbitrary bytes: each is held against a plain reading of its
// rules, and against properties the panes and settings rely on.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/AsciiText.h"
#include "ui/FormatCodes.h"

namespace {

void Fail(const char* what) {
    std::fprintf(stderr, "format codes: %s\n", what);
    std::abort();
}

struct TagCode {
    char letter;
    unsigned char code;
};

// The code of a tag letter in table, or 0 when the letter names no tag there.
template <std::size_t N>
unsigned char CodeOf(char letter, const TagCode (&table)[N]) {
    for (const TagCode& entry : table) {
        if (entry.letter == letter) return entry.code;
    }
    return 0;
}

constexpr TagCode kOnCodes[] = {{'b', 0xE0}, {'1', 0xE0}, {'i', 0xD0},
                                {'u', 0xC8}, {'s', 0xC2}, {'0', 0xBE}};
constexpr TagCode kOffCodes[] = {{'b', 0xA0}, {'i', 0x90}, {'u', 0x88}, {'s', 0x82}};

// Tag conversion the slow way: edit a copy in place and step one byte on after each position.
std::string ReferenceTagsToCodes(std::string_view text) {
    static const char* const kColours[7] = {"ff0000", "00ff00", "ffff00", "0000ff",
                                            "ff00ff", "00ffff", "ffffff"};
    std::string s(text);
    for (std::size_t p = 0; p < s.size(); ++p) {
        const std::size_t left = s.size() - p;
        if (left < 4 || s[p] != '<' || s[p + 1] != '-') continue;
        const char x = LowerAscii(s[p + 2]);
        if (const unsigned char code = CodeOf(x, kOnCodes)) {
            if (s[p + 3] != '>') continue;
            s.replace(p, 4, 1, static_cast<char>(code));
        } else if (x == 'c') {
            if (left < 10 || s[p + 9] != '>') continue;
            s.erase(p + 9, 1);
            s.replace(p, 3, 1, '\xC4');
        } else if (x == '3') {
            if (left < 5) break;
            if (s[p + 4] != '>' || s[p + 3] < '1' || s[p + 3] > '7') continue;
            s.replace(p, 5, std::string("\xC4") + kColours[s[p + 3] - '1']);
        } else if (x == '/') {
            if (left < 5) break;
            if (s[p + 4] != '>') continue;
            const unsigned char code = CodeOf(LowerAscii(s[p + 3]), kOffCodes);
            if (code != 0) s.replace(p, 5, 1, static_cast<char>(code));
        }
    }
    return s;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

void CheckTagsToCodes(std::string_view text) {
    const std::string codes = TagsToCodes(text);
    if (codes != ReferenceTagsToCodes(text)) Fail("TagsToCodes differs from the reference");
    // The longest growth is "<-3n>" (5 bytes) into a colour code (7 bytes).
    if (codes.size() > text.size() + (text.size() * 2) / 5) Fail("TagsToCodes grew too much");
    if (text.find("<-") == std::string_view::npos && codes != text) {
        Fail("TagsToCodes changed a text without tags");
    }
}

void CheckParseHexColour(std::string_view text) {
    Colour colour = 0x12345678;
    const bool ok = ParseHexColour(text, colour);
    bool expected = text.size() >= 6;
    Colour value = 0;
    for (std::size_t k = 0; expected && k < 6; ++k) {
        const int digit = HexValue(text[k]);
        expected = digit >= 0;
        // Pairs red, green, blue into the low, middle and high byte.
        value |= static_cast<Colour>(digit) << ((k / 2) * 8 + (k % 2 == 0 ? 4 : 0));
    }
    if (ok != expected) Fail("ParseHexColour accepts the wrong texts");
    if (ok && colour != value) Fail("ParseHexColour reads the wrong value");
    if (!ok && colour != 0x12345678) Fail("ParseHexColour changed the result on failure");
    if (ok && colour > 0xFFFFFF) Fail("ParseHexColour beyond 24 bits");
}

void CheckColourMessage(std::uint32_t rrggbb, std::string_view text) {
    const std::string message = ColourMessage(rrggbb, text);
    char digits[8];
    std::snprintf(digits, sizeof digits, "%06x", rrggbb & 0xFFFFFFu);
    const bool endsInOffCode = !text.empty() && static_cast<unsigned char>(text.back()) >= 0x80 &&
                               static_cast<unsigned char>(text.back()) <= 0xBF;
    const std::string expected =
        std::string("\xC4") + digits + std::string(text) + (endsInOffCode ? "" : "\xBE");
    if (message != expected) Fail("ColourMessage framing");
    // The pane reads exactly six digits after the code and takes them as a valid colour.
    Colour parsed = 0;
    if (!ParseHexColour(std::string_view(message).substr(1, 6), parsed)) {
        Fail("ColourMessage wrote digits the pane cannot read");
    }
}

void CheckParseUrlPrefixList(std::string_view value) {
    std::vector<std::string> prefixes{"kept"};
    const bool ok = ParseUrlPrefixList(value, prefixes);
    if (!ok) {
        if (prefixes != std::vector<std::string>{"kept"}) Fail("a rejected list changed prefixes");
        return;
    }
    std::size_t total = 0;
    for (const std::string& prefix : prefixes) {
        if (prefix.find('"') != std::string::npos) Fail("a prefix holds a quote");
        total += prefix.size() + 2;
    }
    if (total > value.size()) Fail("more prefix text than value");
    // Written back as a quoted list, the prefixes read the same.
    std::string written;
    for (const std::string& prefix : prefixes) {
        if (!written.empty()) written += ", ";
        written += '"' + prefix + '"';
    }
    std::vector<std::string> again;
    if (!ParseUrlPrefixList(written, again) || again != prefixes) Fail("prefix list round trip");
}

void CheckRtfToTags(FuzzedDataProvider& input) {
    static const Colour kPalette[4] = {0, 0xd0d0d0, 0x0000ff, 0x00ff00};
    const Colour textColour = kPalette[input.ConsumeIntegral<std::uint8_t>() & 3];
    std::vector<FormattedChar> fragment;
    std::string plain;  // the characters the tags surround
    bool hasAngle = false;
    while (input.remaining_bytes() >= 3 && fragment.size() < 256) {
        FormattedChar fc;
        fc.character = input.ConsumeIntegral<char16_t>();
        const std::uint8_t bits = input.ConsumeIntegral<std::uint8_t>();
        fc.format.mask = (bits & 0x0F) | ((bits & 0x10) ? CharFormat::kColour : 0);
        fc.format.effects = (bits >> 4) & 0x0F;
        fc.format.textColour = kPalette[(bits >> 6) & 3];
        fragment.push_back(fc);
        if (fc.character < 0x80) plain += static_cast<char>(fc.character);
        if (fc.character == 0xB7) plain += '*';
        hasAngle = hasAngle || fc.character == '<';
    }
    const std::string tagged = RtfToTags(fragment, textColour);
    for (char c : tagged) {
        if (static_cast<unsigned char>(c) >= 0x80) Fail("RtfToTags wrote a byte above 0x7F");
    }
    // At most "<-0>", four effect tags and a colour tag before each character.
    if (tagged.size() > fragment.size() * 35) Fail("RtfToTags grew too much");
    if (hasAngle) return;
    // Without "<" among the characters, every "<" opens a tag: dropping the tags leaves the text.
    std::string stripped;
    for (std::size_t k = 0; k < tagged.size(); ++k) {
        if (tagged[k] != '<') {
            stripped += tagged[k];
            continue;
        }
        const std::size_t close = tagged.find('>', k);
        if (close == std::string::npos || tagged.compare(k, 2, "<-") != 0) Fail("broken tag");
        k = close;
    }
    if (stripped != plain) Fail("RtfToTags lost or added characters");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const std::uint32_t colour = input.ConsumeIntegral<std::uint32_t>();
    const std::string text = input.ConsumeRandomLengthString(4096);
    CheckTagsToCodes(text);
    CheckParseHexColour(text);
    CheckColourMessage(colour, text);
    CheckParseUrlPrefixList(text);
    CheckRtfToTags(input);
    return 0;
}
