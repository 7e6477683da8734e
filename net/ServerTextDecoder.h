#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "net/ServerTextEncoding.h"

// The sixteen ANSI colours as 0xRRGGBB: the eight base colours, then their bright forms.
using AnsiPalette = std::array<std::uint32_t, 16>;
extern const AnsiPalette kDefaultAnsiPalette;

// How the server's text is read.
struct ServerTextSettings {
    // ANSI escape sequences: SGR becomes format codes, every other sequence is removed.
    bool ansiColours = true;
    // Bold with one of the eight base colours shows its bright form.
    bool boldBright = true;
    ServerEncoding encoding = ServerEncoding::Native;
    AnsiPalette palette = kDefaultAnsiPalette;
};

// The colour of an entry of the 256-colour table as 0xRRGGBB (0-15 from the palette).
std::uint32_t AnsiTableColour(const AnsiPalette& palette, std::uint8_t index);

// Turns the server's text into the client's own encoding: ANSI SGR into format codes, other
// escape sequences removed, and (unless native) bytes 0x80-0xFF as UTF-8 or Latin-1 text into
// Unicode escapes. Stateful: a sequence or character split across calls is completed by the
// next one. Small and copyable, so a preview can decode ahead without disturbing the state.
class CServerTextDecoder {
  public:
    void SetSettings(const ServerTextSettings& settings);
    const ServerTextSettings& Settings() const { return m_settings; }
    // Only the encoding changes (a negotiated character set); the colour state stays.
    void SetEncoding(ServerEncoding encoding);
    // A new connection: nothing of the old one's state is carried over.
    void Reset();

    // Whether Decode would give text back unchanged (the common case, tested quickly).
    bool PassesUnchanged(std::string_view text) const {
        return m_quiet && UnchangedLength(text) == text.size();
    }
    // How many bytes from the front of text Decode would give back unchanged: every line that
    // ends within them passes unchanged, one after another, without the decoder seeing it.
    std::size_t UnchangedLength(std::string_view text) const {
        if (!m_quiet) return 0;
        return FirstToDecode(reinterpret_cast<const unsigned char*>(text.data()), 0, text.size());
    }
    // Appends the decoded text to out.
    void Decode(std::string_view text, std::string& out);

  private:
    enum class State : std::uint8_t {
        Ground,
        Escape,
        Intermediate,
        Csi,
        CsiIgnore,
        String,
        StringEscape
    };
    enum class ColourKind : std::uint8_t { Default, Base, Indexed, Rgb };
    // What the text looks like, as far as the pane can show it, in one word (compared and
    // copied as one): the colour as 0xRRGGBB in the low bits (0 without colour), then flags.
    // 0 is the default look.
    using Look = std::uint32_t;
    static constexpr Look kColourBits = 0xFFFFFF;
    static constexpr Look kHasColour = 1u << 24;
    static constexpr Look kBold = 1u << 25;
    static constexpr Look kItalic = 1u << 26;
    static constexpr Look kUnderline = 1u << 27;
    static constexpr Look kStrikeout = 1u << 28;
    static constexpr std::size_t kMaxParameters = 32;
    static constexpr std::uint32_t kMaxParameterValue = 65535;

    // The first position at or after from that Decode cannot copy as it is (size if none),
    // assuming no sequence or character is under way.
    std::size_t FirstToDecode(const unsigned char* data, std::size_t from, std::size_t size) const;
    void UpdateQuiet();
    void DecodeGround(const unsigned char* data, std::size_t size, std::size_t& i,
                      std::string& out);
    // Reads CSI parameter bytes from i on while they last.
    void CsiParameters(const unsigned char* data, std::size_t size, std::size_t& i);
    void DecodeUtf8Byte(unsigned char byte, std::string& out);
    void FlushUtf8(std::string& out);
    // Returns true when the byte ended the sequence or was taken into it; false when it ended
    // the sequence without belonging to it and must be read again as text.
    bool SequenceByte(unsigned char byte, std::string& out);
    void StartCsi();
    void CsiParameterByte(unsigned char byte);
    void ApplySgr(std::string& out);
    // Reads an extended colour (38 / 48) starting at parameter at; returns the parameters used.
    std::size_t ExtendedColour(std::size_t at, bool apply);
    Look WantedLook() const;
    void Show(Look wanted, std::string& out);
    void ReassertLook(std::string& out);

    ServerTextSettings m_settings;
    State m_state = State::Ground;
    // UTF-8 sequence in progress: bytes still needed, the code point so far and the range the
    // next byte must lie in (which refuses overlong forms, surrogates and values past U+10FFFF).
    std::uint8_t m_utf8Need = 0;
    std::uint8_t m_utf8Lower = 0x80;
    std::uint8_t m_utf8Upper = 0xBF;
    std::uint32_t m_utf8Code = 0;

    // The CSI being read: its parameters (a flag marks those joined to the one before by ':';
    // entries past the count are stale), and whether it can still be SGR (no private marker, no
    // intermediate byte).
    std::array<std::uint32_t, kMaxParameters> m_parameters{};
    std::array<bool, kMaxParameters> m_subParameter{};
    std::size_t m_parameterCount = 0;
    bool m_parameterStarted = false;
    bool m_trailingSeparator = false;
    bool m_sgrCandidate = true;

    // The terminal's own state: its effects as the flags of a look, and its colour.
    Look m_effects = 0;
    ColourKind m_colourKind = ColourKind::Default;
    std::uint32_t m_colourValue = 0;  // an index or 0xRRGGBB

    // What the format codes sent so far have put the pane into, and whether a line ended since:
    // a new line repeats a look that is not the default, so messages of the client's own in
    // between (which end in a reset) do not lose the server's colour.
    Look m_shown = 0;
    bool m_lineEnded = false;
    // No sequence or character is under way and the default look is shown: text without the
    // bytes FirstToDecode stops at passes unchanged.
    bool m_quiet = true;
};
