#include "net/ServerTextDecoder.h"

#include <cstring>

namespace {

// The output pane's format codes (net/ may not see the pane's own header).
constexpr char kBoldOn = '\xE0';
constexpr char kBoldOff = '\xA0';
constexpr char kItalicOn = '\xD0';
constexpr char kItalicOff = '\x90';
constexpr char kUnderlineOn = '\xC8';
constexpr char kUnderlineOff = '\x88';
constexpr char kStrikeoutOn = '\xC2';
constexpr char kStrikeoutOff = '\x82';
constexpr char kColourOn = '\xC4';
constexpr char kColourOff = '\x84';
constexpr char kReset = '\xBE';

constexpr unsigned char kEsc = 0x1B;
constexpr unsigned char kBel = 0x07;
constexpr unsigned char kUnicodeDelimiter = 0x1A;
constexpr std::uint32_t kReplacement = 0xFFFD;

// Writes the colour-on code with its six digits at code; returns its length.
std::size_t WriteColour(char* code, std::uint32_t rrggbb) {
    static constexpr char kDigits[] = "0123456789abcdef";
    code[0] = kColourOn;
    for (int k = 1, shift = 20; shift >= 0; ++k, shift -= 4)
        code[k] = kDigits[rrggbb >> shift & 0xF];
    return 7;
}

constexpr std::uint64_t kEveryByte = 0x0101010101010101ull;
constexpr std::uint64_t kTopBits = 0x8080808080808080ull;

}  // namespace

const AnsiPalette kDefaultAnsiPalette = {
    0x000000, 0xcd0000, 0x00cd00, 0xcdcd00, 0x0000ee, 0xcd00cd, 0x00cdcd, 0xe5e5e5,
    0x7f7f7f, 0xff0000, 0x00ff00, 0xffff00, 0x5c5cff, 0xff00ff, 0x00ffff, 0xffffff,
};

std::uint32_t AnsiTableColour(const AnsiPalette& palette, std::uint8_t index) {
    if (index < 16) return palette[index];
    if (index >= 232) {
        const std::uint32_t level = 8 + 10 * (index - 232u);
        return level << 16 | level << 8 | level;
    }
    static constexpr std::uint32_t kLevels[6] = {0, 95, 135, 175, 215, 255};
    const unsigned cube = index - 16u;
    return kLevels[cube / 36] << 16 | kLevels[cube / 6 % 6] << 8 | kLevels[cube % 6];
}

void CServerTextDecoder::SetSettings(const ServerTextSettings& settings) { m_settings = settings; }

void CServerTextDecoder::SetEncoding(ServerEncoding encoding) {
    m_settings.encoding = encoding;
    // A character begun in the old encoding is not finished in the new one.
    m_utf8Need = 0;
    m_utf8Code = 0;
    m_utf8Lower = 0x80;
    m_utf8Upper = 0xBF;
    UpdateQuiet();
}

void CServerTextDecoder::Reset() {
    const ServerTextSettings settings = m_settings;
    *this = CServerTextDecoder();
    m_settings = settings;
}

void CServerTextDecoder::UpdateQuiet() {
    m_quiet = m_state == State::Ground && m_utf8Need == 0 && m_shown == 0;
}

std::size_t CServerTextDecoder::FirstToDecode(const unsigned char* data, std::size_t from,
                                              std::size_t size) const {
    const bool ansi = m_settings.ansiColours;
    if (m_settings.encoding == ServerEncoding::Native) {
        if (!ansi) return size;
        const void* esc = std::memchr(data + from, kEsc, size - from);
        return esc ? static_cast<std::size_t>(static_cast<const unsigned char*>(esc) - data) : size;
    }
    // Eight bytes at a time: a byte with its top bit set is text to decode, and 0x1A (with
    // ANSI also ESC, one bit away from it) needs a look; the byte loop finds which one it was.
    const std::uint64_t fold = ansi ? ~kEveryByte : ~std::uint64_t{0};
    std::size_t i = from;
    for (; i + 8 <= size; i += 8) {
        std::uint64_t word;
        std::memcpy(&word, data + i, sizeof(word));
        if (word & kTopBits) break;
        const std::uint64_t x = (word & fold) ^ (kEveryByte * kUnicodeDelimiter);
        if ((x - kEveryByte) & ~x & kTopBits) break;
    }
    for (; i < size; ++i) {
        const unsigned char c = data[i];
        if (c >= 0x80 || c == kUnicodeDelimiter || (c == kEsc && ansi)) return i;
    }
    return size;
}

void CServerTextDecoder::Decode(std::string_view text, std::string& out) {
    if (text.empty()) return;
    if (m_lineEnded) ReassertLook(out);
    m_lineEnded = false;
    const auto* data = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t size = text.size();
    std::size_t i = 0;
    while (i < size) {
        if (m_state == State::Ground) {
            DecodeGround(data, size, i, out);
            continue;
        }
        // Parameters in a tight loop, and the SGR that ends them at once: most sequences are
        // little else.
        if (m_state == State::Csi) {
            CsiParameters(data, size, i);
            if (i < size && data[i] == 'm' && m_state == State::Csi) {
                if (m_sgrCandidate) ApplySgr(out);
                m_state = State::Ground;
                ++i;
                continue;
            }
        }
        if (i < size && SequenceByte(data[i], out)) ++i;
    }
    m_lineEnded = data[size - 1] == '\n';
    UpdateQuiet();
}

void CServerTextDecoder::DecodeGround(const unsigned char* data, std::size_t size, std::size_t& i,
                                      std::string& out) {
    // A run of bytes that stay as they are goes out in one piece, unless a character is being
    // completed.
    if (m_utf8Need == 0) {
        const std::size_t run = FirstToDecode(data, i, size);
        if (run > i) {
            out.append(reinterpret_cast<const char*>(data + i), run - i);
            i = run;
            if (i == size) return;
        }
    }
    const unsigned char c = data[i];
    if (m_utf8Need != 0 && (c < 0x80 || c > 0xBF || c < m_utf8Lower || c > m_utf8Upper)) {
        // The sequence broke off: it stands for one replacement, and this byte is read anew.
        FlushUtf8(out);
        return;
    }
    ++i;
    if (c == kEsc) {
        // The common CSI is entered at once.
        if (i < size && data[i] == '[') {
            ++i;
            StartCsi();
            m_state = State::Csi;
        } else {
            m_state = State::Escape;
        }
    } else if (c == kUnicodeDelimiter) {
        // Not an escape of the server's: one of its own bytes would break ours.
        AppendUnicodeEscape(out, kReplacement);
    } else if (m_settings.encoding == ServerEncoding::Latin1) {
        AppendUnicodeEscape(out, c);
    } else {
        DecodeUtf8Byte(c, out);
    }
}

void CServerTextDecoder::DecodeUtf8Byte(unsigned char byte, std::string& out) {
    if (m_utf8Need != 0) {
        m_utf8Code = m_utf8Code << 6 | (byte & 0x3Fu);
        m_utf8Lower = 0x80;
        m_utf8Upper = 0xBF;
        if (--m_utf8Need == 0) AppendCodePointEscapes(out, m_utf8Code);
        return;
    }
    m_utf8Lower = 0x80;
    m_utf8Upper = 0xBF;
    if (byte >= 0xC2 && byte <= 0xDF) {
        m_utf8Need = 1;
        m_utf8Code = byte & 0x1Fu;
    } else if (byte >= 0xE0 && byte <= 0xEF) {
        m_utf8Need = 2;
        m_utf8Code = byte & 0x0Fu;
        if (byte == 0xE0) m_utf8Lower = 0xA0;
        if (byte == 0xED) m_utf8Upper = 0x9F;
    } else if (byte >= 0xF0 && byte <= 0xF4) {
        m_utf8Need = 3;
        m_utf8Code = byte & 0x07u;
        if (byte == 0xF0) m_utf8Lower = 0x90;
        if (byte == 0xF4) m_utf8Upper = 0x8F;
    } else {
        // A continuation byte without a start, or a byte that never starts a sequence.
        AppendUnicodeEscape(out, kReplacement);
    }
}

void CServerTextDecoder::FlushUtf8(std::string& out) {
    m_utf8Need = 0;
    m_utf8Code = 0;
    m_utf8Lower = 0x80;
    m_utf8Upper = 0xBF;
    AppendUnicodeEscape(out, kReplacement);
}

bool CServerTextDecoder::SequenceByte(unsigned char byte, std::string& out) {
    // A byte of the high half, or an ESC, ends any sequence; the byte is read anew.
    if (byte >= 0x80 && m_state != State::String) {
        m_state = State::Ground;
        return false;
    }
    switch (m_state) {
        case State::Escape:
            if (byte == '[') {
                StartCsi();
                m_state = State::Csi;
            } else if (byte == ']' || byte == 'P' || byte == 'X' || byte == '^' || byte == '_') {
                m_state = State::String;
            } else if (byte >= 0x20 && byte <= 0x2F) {
                m_state = State::Intermediate;
            } else if (byte == kEsc) {
                // ESC ESC: the first one is dropped.
            } else if (byte < 0x20) {
                // A control byte inside a sequence still acts, as on a terminal.
                out += static_cast<char>(byte);
            } else {
                m_state = State::Ground;
            }
            return true;
        case State::Intermediate:
            if (byte == kEsc) {
                m_state = State::Escape;
            } else if (byte < 0x20) {
                out += static_cast<char>(byte);
            } else if (byte >= 0x30) {
                m_state = State::Ground;
            }
            return true;
        case State::Csi:
        case State::CsiIgnore:
            if (byte == kEsc) {
                m_state = State::Escape;
            } else if (byte < 0x20) {
                out += static_cast<char>(byte);
            } else if (byte >= 0x40) {
                if (byte == 'm' && m_state == State::Csi && m_sgrCandidate) ApplySgr(out);
                m_state = State::Ground;
            } else if (m_state == State::Csi) {
                CsiParameterByte(byte);
            }
            return true;
        case State::String:
            // Operating-system commands and the other strings end with BEL or ESC \.
            if (byte == kBel) {
                m_state = State::Ground;
            } else if (byte < 0x20 && byte != kEsc) {
                // Strings hold no other control bytes: one that is unterminated ends with its
                // line instead of hiding all text after it.
                m_state = State::Ground;
                return false;
            } else if (byte == kEsc) {
                m_state = State::StringEscape;
            }
            return true;
        case State::StringEscape:
            if (byte == '\\') {
                m_state = State::Ground;
                return true;
            }
            // Another sequence begins; the string is over.
            m_state = State::Escape;
            return false;
        case State::Ground:
            break;
    }
    return false;
}

void CServerTextDecoder::StartCsi() {
    m_parameterCount = 0;
    m_parameterStarted = false;
    m_trailingSeparator = false;
    m_sgrCandidate = true;
}

void CServerTextDecoder::CsiParameters(const unsigned char* data, std::size_t size,
                                       std::size_t& i) {
    // As CsiParameterByte for each digit and separator, with the state kept in registers.
    std::size_t count = m_parameterCount;
    bool started = m_parameterStarted;
    bool trailing = m_trailingSeparator;
    for (; i < size; ++i) {
        const unsigned char byte = data[i];
        if (byte >= '0' && byte <= '9') {
            if (!started) {
                if (count == kMaxParameters) {
                    m_state = State::CsiIgnore;
                    ++i;
                    break;
                }
                started = true;
                m_parameters[count++] = 0;
            }
            trailing = false;
            std::uint32_t& value = m_parameters[count - 1];
            value = value * 10 + (byte - '0');
            if (value > kMaxParameterValue) value = kMaxParameterValue;
        } else if (byte == ';' || byte == ':') {
            if (!started) {
                if (count == kMaxParameters) {
                    m_state = State::CsiIgnore;
                    ++i;
                    break;
                }
                m_parameters[count++] = 0;
            }
            started = false;
            trailing = true;
            if (count < kMaxParameters) m_subParameter[count] = byte == ':';
        } else {
            break;
        }
    }
    m_parameterCount = count;
    m_parameterStarted = started;
    m_trailingSeparator = trailing;
}

void CServerTextDecoder::CsiParameterByte(unsigned char byte) {
    if (byte >= '0' && byte <= '9') {
        if (!m_parameterStarted) {
            if (m_parameterCount == kMaxParameters) {
                m_state = State::CsiIgnore;
                return;
            }
            m_parameterStarted = true;
            m_parameters[m_parameterCount++] = 0;
        }
        m_trailingSeparator = false;
        std::uint32_t& value = m_parameters[m_parameterCount - 1];
        value = value * 10 + (byte - '0');
        if (value > kMaxParameterValue) value = kMaxParameterValue;
        return;
    }
    if (byte == ';' || byte == ':') {
        // An empty parameter counts as 0.
        if (!m_parameterStarted) {
            if (m_parameterCount == kMaxParameters) {
                m_state = State::CsiIgnore;
                return;
            }
            m_parameters[m_parameterCount++] = 0;
        }
        m_parameterStarted = false;
        m_trailingSeparator = true;
        if (m_parameterCount < kMaxParameters) m_subParameter[m_parameterCount] = byte == ':';
        return;
    }
    // A private marker (< = > ?) or an intermediate byte: not SGR, whatever its final byte.
    m_sgrCandidate = false;
}

std::size_t CServerTextDecoder::ExtendedColour(std::size_t at, bool apply) {
    // The parameters that belong to it: those joined by ':' or, in the ';' form, as many as
    // the mode (5 or 2) asks for.
    std::size_t joined = 0;
    while (at + 1 + joined < m_parameterCount && m_subParameter[at + 1 + joined]) ++joined;
    const std::uint32_t* p = m_parameters.data() + at + 1;
    std::size_t available = joined != 0 ? joined : m_parameterCount - at - 1;
    if (available == 0) return 0;
    const std::uint32_t mode = p[0];
    std::size_t used = 0;
    if (mode == 5 && available >= 2) {
        if (apply && p[1] <= 255) {
            m_colourKind = ColourKind::Indexed;
            m_colourValue = p[1];
        }
        used = 2;
    } else if (mode == 2 && available >= 4) {
        // The ':' form may carry a colour space before the three values.
        const std::size_t first = joined >= 5 ? 2 : 1;
        if (apply && p[first] <= 255 && p[first + 1] <= 255 && p[first + 2] <= 255) {
            m_colourKind = ColourKind::Rgb;
            m_colourValue = p[first] << 16 | p[first + 1] << 8 | p[first + 2];
        }
        used = first + 3;
    } else {
        used = 1;
    }
    return joined != 0 ? joined : used;
}

void CServerTextDecoder::ApplySgr(std::string& out) {
    // ESC [ m alone is a reset, and so is an empty parameter after the last separator.
    if ((m_parameterCount == 0 || m_trailingSeparator) && m_parameterCount < kMaxParameters) {
        m_parameters[m_parameterCount++] = 0;
    }
    for (std::size_t k = 0; k < m_parameterCount; ++k) {
        const std::uint32_t code = m_parameters[k];
        // Sub-parameters of a code other than 38/48/58 change nothing we show.
        std::size_t skip = 0;
        while (k + 1 + skip < m_parameterCount && m_subParameter[k + 1 + skip]) ++skip;
        switch (code) {
            case 0:
                m_effects = 0;
                m_colourKind = ColourKind::Default;
                break;
            case 1:
                m_effects |= kBold;
                break;
            case 22:
                m_effects &= ~kBold;
                break;
            case 3:
                m_effects |= kItalic;
                break;
            case 23:
                m_effects &= ~kItalic;
                break;
            case 4:
                // 4:0 is "no underline"; the other styles are underlines.
                if (skip != 0 && m_parameters[k + 1] == 0) {
                    m_effects &= ~kUnderline;
                } else {
                    m_effects |= kUnderline;
                }
                break;
            case 24:
                m_effects &= ~kUnderline;
                break;
            case 9:
                m_effects |= kStrikeout;
                break;
            case 29:
                m_effects &= ~kStrikeout;
                break;
            case 39:
                m_colourKind = ColourKind::Default;
                break;
            case 38:
            case 48:
            case 58:
                // Backgrounds and underline colours cannot be shown; their values are skipped.
                skip = ExtendedColour(k, code == 38);
                break;
            default:
                if (code >= 30 && code <= 37) {
                    m_colourKind = ColourKind::Base;
                    m_colourValue = code - 30;
                } else if (code >= 90 && code <= 97) {
                    m_colourKind = ColourKind::Indexed;
                    m_colourValue = code - 90 + 8;
                }
                break;
        }
        k += skip;
    }
    Show(WantedLook(), out);
}

CServerTextDecoder::Look CServerTextDecoder::WantedLook() const {
    std::uint32_t rrggbb = 0;
    switch (m_colourKind) {
        case ColourKind::Default:
            return m_effects;
        case ColourKind::Base: {
            const bool bright = (m_effects & kBold) != 0 && m_settings.boldBright;
            rrggbb = m_settings.palette[m_colourValue + (bright ? 8 : 0)];
            break;
        }
        case ColourKind::Indexed:
            rrggbb = AnsiTableColour(m_settings.palette, static_cast<std::uint8_t>(m_colourValue));
            break;
        case ColourKind::Rgb:
            rrggbb = m_colourValue;
            break;
    }
    return m_effects | kHasColour | (rrggbb & kColourBits);
}

void CServerTextDecoder::Show(Look wanted, std::string& out) {
    if (wanted == m_shown) return;
    if (wanted == 0) {
        out += kReset;
        m_shown = wanted;
        return;
    }
    // Only what changed, in one append.
    const Look changed = wanted ^ m_shown;
    char codes[11];
    std::size_t n = 0;
    if (changed & kBold) codes[n++] = wanted & kBold ? kBoldOn : kBoldOff;
    if (changed & kItalic) codes[n++] = wanted & kItalic ? kItalicOn : kItalicOff;
    if (changed & kUnderline) codes[n++] = wanted & kUnderline ? kUnderlineOn : kUnderlineOff;
    if (changed & kStrikeout) codes[n++] = wanted & kStrikeout ? kStrikeoutOn : kStrikeoutOff;
    if (changed & (kHasColour | kColourBits)) {
        if (wanted & kHasColour) {
            n += WriteColour(codes + n, wanted & kColourBits);
        } else {
            codes[n++] = kColourOff;
        }
    }
    out.append(codes, n);
    m_shown = wanted;
}

void CServerTextDecoder::ReassertLook(std::string& out) {
    if (m_shown == 0) return;
    // The pane is either as the codes left it or was reset since: the look is stated whole.
    char codes[11];
    std::size_t n = 0;
    if (m_shown & kBold) codes[n++] = kBoldOn;
    if (m_shown & kItalic) codes[n++] = kItalicOn;
    if (m_shown & kUnderline) codes[n++] = kUnderlineOn;
    if (m_shown & kStrikeout) codes[n++] = kStrikeoutOn;
    if (m_shown & kHasColour) n += WriteColour(codes + n, m_shown & kColourBits);
    out.append(codes, n);
}
