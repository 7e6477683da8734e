// Server text into the client's own encoding (ANSI SGR, UTF-8, Latin-1) and typed text back.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "net/ServerTextDecoder.h"

namespace {

// A colour-on format code with its six digits; a Unicode escape.
std::string Colour(const char* rrggbb) { return std::string("\xC4") + rrggbb; }
std::string Escape(const char* hex) { return std::string("\x1A") + hex + "\x1A"; }

std::string DecodeChunks(const std::vector<std::string>& chunks,
                         const ServerTextSettings& settings = {}) {
    CServerTextDecoder decoder;
    decoder.SetSettings(settings);
    std::string out;
    for (const std::string& chunk : chunks) {
        if (decoder.PassesUnchanged(chunk)) {
            out += chunk;
        } else {
            decoder.Decode(chunk, out);
        }
    }
    return out;
}

ServerTextSettings WithEncoding(ServerEncoding encoding) {
    ServerTextSettings settings;
    settings.encoding = encoding;
    return settings;
}

struct Case {
    const char* name;
    std::vector<std::string> chunks;
    std::string expected;
};

void ExpectCases(const std::vector<Case>& cases, const ServerTextSettings& settings = {}) {
    for (const Case& c : cases) {
        EXPECT_EQ(DecodeChunks(c.chunks, settings), c.expected) << c.name;
        // Byte by byte must give the same: every sequence may be split anywhere.
        std::vector<std::string> bytes;
        for (const std::string& chunk : c.chunks) {
            for (char byte : chunk) bytes.emplace_back(1, byte);
        }
        EXPECT_EQ(DecodeChunks(bytes, settings), c.expected) << c.name << " (byte by byte)";
    }
}

}  // namespace

TEST(ServerTextDecoder, SgrBecomesFormatCodes) {
    ExpectCases({
        // Each effect goes off by its own code while another stays on; the last one by a reset.
        {"bold",
         {"\x1b[1;3mA\x1b[22mB\x1b[23mC"},
         "\xE0\xD0"
         "A\xA0"
         "B\xBE"
         "C"},
        {"italic",
         {"\x1b[3;1mA\x1b[23mB"},
         "\xE0\xD0"
         "A\x90"
         "B"},
        {"underline",
         {"\x1b[1;4mA\x1b[24mB"},
         "\xE0\xC8"
         "A\x88"
         "B"},
        {"underline style 0 is off",
         {"\x1b[1;4mA\x1b[4:0mB"},
         "\xE0\xC8"
         "A\x88"
         "B"},
        {"strikeout",
         {"\x1b[1;9mA\x1b[29mB"},
         "\xE0\xC2"
         "A\x82"
         "B"},
        {"base colour", {"\x1b[31mA"}, Colour("cd0000") + "A"},
        {"bright colour", {"\x1b[94mA"}, Colour("5c5cff") + "A"},
        {"default colour",
         {"\x1b[3;32mA\x1b[39mB"},
         "\xD0" + Colour("00cd00") +
             "A\x84"
             "B"},
        {"reset",
         {"\x1b[1;31mA\x1b[0mB"},
         "\xE0" + Colour("ff0000") +
             "A\xBE"
             "B"},
        {"empty reset",
         {"\x1b[3mA\x1b[mB"},
         "\xD0"
         "A\xBE"
         "B"},
        {"trailing separator resets",
         {"\x1b[3mA\x1b[3;mB"},
         "\xD0"
         "A\xBE"
         "B"},
        {"bold makes base colours bright, either order",
         {"\x1b[31;1mA\x1b[1;32mB"},
         "\xE0" + Colour("ff0000") + "A" + Colour("00ff00") + "B"},
        {"bold off returns to the base colour",
         {"\x1b[1;33mA\x1b[22mB"},
         "\xE0" + Colour("ffff00") + "A\xA0" + Colour("cdcd00") + "B"},
        {"256 colours: palette, cube, grey",
         {"\x1b[38;5;1mA\x1b[38;5;196mB\x1b[38;5;244mC"},
         Colour("cd0000") + "A" + Colour("ff0000") + "B" + Colour("808080") + "C"},
        {"true colour, both forms",
         {"\x1b[38;2;1;2;3mA\x1b[38:2::250:128:9mB"},
         Colour("010203") + "A" + Colour("fa8009") + "B"},
        {"backgrounds are skipped with their values",
         {"\x1b[48;5;196;1;48;2;1;2;3;4mA"},
         "\xE0\xC8"
         "A"},
        {"plain backgrounds change nothing", {"\x1b[41;102;49mA"}, "A"},
        {"a code that repeats the look sends nothing",
         {"\x1b[1mA\x1b[1mB\x1b[0m\x1b[0mC"},
         "\xE0"
         "AB\xBE"
         "C"},
        {"split across reads", {"x\x1b", "[1;3", "1my"}, "x\xE0" + Colour("ff0000") + "y"},
        {"split across lines", {"a\x1b[3", "2mb\r\n"}, "a" + Colour("00cd00") + "b\r\n"},
        // A new line states a look that is not the default again: a message of the client's
        // own between two lines ends in a reset.
        {"a new line repeats the look",
         {"\x1b[1;36mA\r\n", "B\r\n", "\x1b[0mC\r\n", "D"},
         "\xE0" + Colour("00ffff") + "A\r\n\xE0" + Colour("00ffff") + "B\r\n\xE0" +
             Colour("00ffff") + "\xBE" + "C\r\nD"},
    });
}

TEST(ServerTextDecoder, PaletteSettingsAndBoldBrightSetting) {
    ServerTextSettings settings;
    settings.palette[1] = 0x112233;
    settings.palette[9] = 0x445566;
    settings.boldBright = false;
    ExpectCases({{"base colour and 256-colour index come from the palette",
                  {"\x1b[31mA\x1b[38;5;9mB"},
                  Colour("112233") + "A" + Colour("445566") + "B"},
                 {"bold keeps the base colour when bold-bright is off",
                  {"\x1b[1;31mA"},
                  "\xE0" + Colour("112233") + "A"}},
                settings);
}

TEST(ServerTextDecoder, OtherEscapeSequencesAreRemoved) {
    ExpectCases({
        {"erase and cursor moves", {"A\x1b[2JB\x1b[10;20HC\x1b[KD"}, "ABCD"},
        {"private modes", {"\x1b[?25lA\x1b[?1049hB"}, "AB"},
        {"private marker with final m is not SGR", {"\x1b[>4;1mA"}, "A"},
        {"OSC ended by BEL and by ST", {"A\x1b]0;title\aB\x1b]8;;http://x\x1b\\C"}, "ABC"},
        {"character set and two-byte sequences",
         {"A\x1b(BB\x1b"
          "7C\x1b=D"},
         "ABCD"},
        {"an unterminated string ends with its line", {"A\x1b]0;title\r\nB"}, "A\r\nB"},
        {"control bytes inside a sequence still act",
         {"A\x1b[3\r\n1mB"},
         "A\r\n" + Colour("cd0000") + "B"},
        {"a high byte ends a sequence and stays", {"\x1b[3\xE0X"}, "\xE0X"},
        {"overlong parameters are bounded", {"\x1b[" + std::string(200, '9') + "mA"}, "A"},
    });
}

TEST(ServerTextDecoder, NativeModeLeavesTheClientsOwnCodesAlone) {
    std::string every;
    for (int byte = 1; byte < 256; ++byte) {
        if (byte != 0x1B) every += static_cast<char>(byte);
    }
    CServerTextDecoder decoder;
    EXPECT_TRUE(decoder.PassesUnchanged(every));
    std::string out;
    decoder.Decode(every, out);
    EXPECT_EQ(out, every);
    // With ANSI off even ESC sequences are the server's business.
    ServerTextSettings off;
    off.ansiColours = false;
    EXPECT_EQ(DecodeChunks({"\x1b[31mA\xC4"
                            "ff0000B"},
                           off),
              "\x1b[31mA\xC4"
              "ff0000B");
}

TEST(ServerTextDecoder, Utf8AndLatin1BecomeUnicodeEscapes) {
    ExpectCases(
        {
            {"two bytes", {"caf\xC3\xA9!"}, "caf" + Escape("e9") + "!"},
            {"three bytes", {"\xE2\x80\x9Cq\xE2\x9C\x93"}, Escape("201c") + "q" + Escape("2713")},
            {"four bytes as a surrogate pair",
             {"\xF0\x9F\x98\x80"},
             Escape("d83d") + Escape("de00")},
            {"split across reads",
             {"\xF0\x9F", "\x98",
              "\x80"
              "a"},
             Escape("d83d") + Escape("de00") + "a"},
            {"truncated sequence",
             {"\xE2\x82"
              "A"},
             Escape("fffd") + "A"},
            {"lone continuation and bytes that never start one",
             {"\x80\xFF\xC1"},
             Escape("fffd") + Escape("fffd") + Escape("fffd")},
            {"overlong form", {"\xE0\x80\xAF"}, Escape("fffd") + Escape("fffd") + Escape("fffd")},
            {"surrogate", {"\xED\xA0\x80"}, Escape("fffd") + Escape("fffd") + Escape("fffd")},
            {"beyond U+10FFFF",
             {"\xF4\x90\x80\x80"},
             Escape("fffd") + Escape("fffd") + Escape("fffd") + Escape("fffd")},
            {"the highest character", {"\xF4\x8F\xBF\xBF"}, Escape("dbff") + Escape("dfff")},
            {"an escape of the server's own would break ours",
             {"a\x1A"
              "b"},
             "a" + Escape("fffd") + "b"},
            {"with colour", {"\x1b[32m\xC3\xBC\x1b[0m"}, Colour("00cd00") + Escape("fc") + "\xBE"},
        },
        WithEncoding(ServerEncoding::Utf8));
    ExpectCases({{"every high byte is its own character",
                  {"\xFC \xE9 \xDF \x80"},
                  Escape("fc") + " " + Escape("e9") + " " + Escape("df") + " " + Escape("80")}},
                WithEncoding(ServerEncoding::Latin1));
}

TEST(ServerTextEncoding, TypedTextIsWrittenInTheServersEncoding) {
    const struct {
        const char* name;
        std::string text;
        ServerEncoding encoding;
        std::string expected;
    } cases[] = {
        {"native leaves everything", "caf\xE9" + Escape("41f") + "\r\n", ServerEncoding::Native,
         "caf\xE9" + Escape("41f") + "\r\n"},
        {"Latin-1 byte to UTF-8", "caf\xE9\r\n", ServerEncoding::Utf8, "caf\xC3\xA9\r\n"},
        {"escapes to UTF-8", Escape("41f") + Escape("440") + Escape("20ac"), ServerEncoding::Utf8,
         "\xD0\x9F\xD1\x80\xE2\x82\xAC"},
        {"surrogate pair and code point escapes", Escape("d83d") + Escape("de00") + Escape("1F600"),
         ServerEncoding::Utf8, "\xF0\x9F\x98\x80\xF0\x9F\x98\x80"},
        {"broken escapes stay text, lone surrogates are replaced",
         Escape("zz") + Escape("d83d") + "x\x1A", ServerEncoding::Utf8,
         Escape("zz") + "\xEF\xBF\xBDx\x1A"},
        {"Latin-1 keeps its bytes and writes what it cannot as ?",
         "caf\xE9" + Escape("fc") + Escape("41f"), ServerEncoding::Latin1, "caf\xE9\xFC?"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(EncodeForServer(c.text, c.encoding), c.expected) << c.name;

    ServerEncoding encoding = ServerEncoding::Native;
    EXPECT_TRUE(ParseServerEncoding("UTF-8", encoding));
    EXPECT_EQ(encoding, ServerEncoding::Utf8);
    EXPECT_TRUE(ParseServerEncoding("iso-8859-1", encoding));
    EXPECT_EQ(encoding, ServerEncoding::Latin1);
    EXPECT_FALSE(ParseServerEncoding("koi8-r", encoding));
    EXPECT_EQ(encoding, ServerEncoding::Latin1);
}

TEST(ServerTextDecoder, UnchangedLengthStopsAtTheFirstByteToDecodeInEveryEncoding) {
    struct Mode {
        ServerTextSettings settings;
        std::string stops;   // bytes it must stop at
        std::string passes;  // bytes it must pass
    };
    ServerTextSettings utf8 = WithEncoding(ServerEncoding::Utf8);
    ServerTextSettings latin1NoAnsi = WithEncoding(ServerEncoding::Latin1);
    latin1NoAnsi.ansiColours = false;
    ServerTextSettings nativeNoAnsi;
    nativeNoAnsi.ansiColours = false;
    const std::vector<Mode> modes = {
        {{}, "\x1b", "\x1a\x80\xff\x1c\x9b"},
        {nativeNoAnsi, "", "\x1b\x1a\x80"},
        {utf8, "\x1b\x1a\x80\xc3\xff", "\x1c\x19\x7f\x3b\x5b"},
        {latin1NoAnsi, "\x1a\x80\xe9", "\x1b\x1c\x7f"},
    };
    // Every position of a text long enough for the word-wise scan, so no lane is missed.
    for (std::size_t m = 0; m < modes.size(); ++m) {
        CServerTextDecoder decoder;
        decoder.SetSettings(modes[m].settings);
        for (std::size_t at = 0; at < 27; ++at) {
            for (char stop : modes[m].stops) {
                std::string text(27, 'a');
                text[at] = stop;
                EXPECT_EQ(decoder.UnchangedLength(text), at) << m << " " << at;
            }
            for (char pass : modes[m].passes) {
                std::string text(27, 'a');
                text[at] = pass;
                EXPECT_EQ(decoder.UnchangedLength(text), text.size()) << m << " " << at;
            }
        }
    }

    // A look left on, or a sequence under way, makes nothing pass until it ends.
    CServerTextDecoder decoder;
    std::string out;
    decoder.Decode("\x1b[31mred\r\n", out);
    EXPECT_EQ(decoder.UnchangedLength("plain\r\n"), 0u);
    decoder.Decode("\x1b[0m\x1b[", out);
    EXPECT_EQ(decoder.UnchangedLength("plain\r\n"), 0u);
    decoder.Decode("m", out);
    EXPECT_EQ(decoder.UnchangedLength("plain\r\n"), 7u);
}
