#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "ui/PaneControl.h"

// The in-band encoding of pane text and the textual format tags that stand for it.
namespace FormatCode {
constexpr unsigned char kPmlDelimiter = 0x19;
constexpr unsigned char kUnicodeDelimiter = 0x1A;
constexpr unsigned char kFirstCode = 0x80;

// Bits of a format code byte.
constexpr unsigned char kOn = 0x40;
constexpr unsigned char kBold = 0x20;
constexpr unsigned char kItalic = 0x10;
constexpr unsigned char kUnderline = 0x08;
constexpr unsigned char kColour = 0x04;
constexpr unsigned char kStrikeout = 0x02;
constexpr unsigned char kLink = 0x01;

constexpr unsigned char kBoldOn = 0xE0;
constexpr unsigned char kBoldOff = 0xA0;
constexpr unsigned char kItalicOn = 0xD0;
constexpr unsigned char kItalicOff = 0x90;
constexpr unsigned char kUnderlineOn = 0xC8;
constexpr unsigned char kUnderlineOff = 0x88;
constexpr unsigned char kStrikeoutOn = 0xC2;
constexpr unsigned char kStrikeoutOff = 0x82;
constexpr unsigned char kColourOn = 0xC4;
constexpr unsigned char kReset = 0xBE;
constexpr unsigned char kLinkStart = 0xC1;
constexpr unsigned char kLinkEnd = 0x81;

// A colour-on code is followed by six characters RRGGBB.
constexpr std::size_t kColourCodeLength = 7;
}  // namespace FormatCode

// Appends one character of typed text in pane encoding: up to 0xFF the byte itself, above it
// its Unicode escape.
void AppendTypedCharacter(std::string& out, char16_t character);

// Converts format tags ("<-b>", "<-/i>", "<-cRRGGBB>", "<-31>" ...) into format codes.
// Unknown or malformed tags stay as they are.
std::string TagsToCodes(std::string_view text);

// Reads the first six characters as RRGGBB into 0x00BBGGRR; false when there are fewer than six
// or one is not a hexadecimal digit (out is then unchanged).
bool ParseHexColour(std::string_view sixChars, Colour& out);

// The text in the colour 0xRRGGBB: the colour-on code, the six digits, the text, and the reset
// code unless the text already ends in an "off" code (0x80-0xBF).
std::string ColourMessage(std::uint32_t rrggbb, std::string_view text);

// Reads a list of double-quoted strings separated by optional commas, spaces allowed around
// each. On success replaces prefixes (as written, not lower-cased) and returns true; on a
// malformed value returns false and leaves prefixes alone.
bool ParseUrlPrefixList(std::string_view value, std::vector<std::string>& prefixes);

// One character of formatted text as the front end reads it from a selection or the clipboard.
struct FormattedChar {
    char16_t character = 0;
    CharFormat format;
};

// Turns formatted text back into plain text with format tags, relative to the pane's default
// text colour. No closing tags are added at the end.
std::string RtfToTags(const std::vector<FormattedChar>& fragment, Colour textColour);
