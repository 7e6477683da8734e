// Reading the settings files into the running application.
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "app/App.h"
#include "base/AsciiText.h"
#include "net/TelnetEngine.h"
#include "ui/FormatCodes.h"

namespace {

std::int32_t SaturatedSum(std::int32_t a, std::int32_t b) {
    const long long sum = static_cast<long long>(a) + b;
    if (sum > std::numeric_limits<std::int32_t>::max())
        return std::numeric_limits<std::int32_t>::max();
    if (sum < std::numeric_limits<std::int32_t>::min())
        return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(sum);
}

// "0x" followed by six hexadecimal digits RRGGBB; anything after them is ignored.
bool ReadColourSetting(const std::string& value, Colour& colour) {
    if (value.size() < 8 || value.compare(0, 2, "0x") != 0) return false;
    return ParseHexColour(std::string_view(value).substr(2, 6), colour);
}

// An ANSI palette entry: RRGGBB, with or without "0x" in front; anything after is ignored.
bool ReadPaletteSetting(std::string_view value, std::uint32_t& rrggbb) {
    if (value.starts_with("0x")) value.remove_prefix(2);
    if (value.size() < 6) return false;
    std::uint32_t result = 0;
    for (std::size_t i = 0; i < 6; ++i) {
        const int digit = HexDigitValue(static_cast<unsigned char>(value[i]));
        if (digit < 0) return false;
        result = result << 4 | static_cast<std::uint32_t>(digit);
    }
    rrggbb = result;
    return true;
}

// A boolean setting that keeps its value while the key is missing or empty.
void ReadFlagSetting(const std::string& value, bool& flag) {
    if (!value.empty()) flag = IsTrueWord(value);
}

}  // namespace

bool CApp::LoadConfigFile(CConfigStore& store, const std::string& path) {
    if (!store.Load(path)) return false;

    // 1-6. How the panes look, applied in one step to each.
    PaneStyle inputStyle = m_input.Style();
    PaneStyle outputStyle = m_output.Style();
    // The font, only with a size that reads as a number of points in a usable range: a size
    // far out of it would make a window wider than any screen, and that width would be saved.
    std::int32_t fontSize = 0;
    if (ReadStreamInt32(store.Get("DefaultFontSize"), fontSize) && fontSize >= kMinFontSize &&
        fontSize <= kMaxFontSize) {
        inputStyle.fontFace = outputStyle.fontFace = store.Get("DefaultFontFace");
        inputStyle.fontSize = outputStyle.fontSize = static_cast<unsigned>(fontSize);
    }
    Colour colour = 0;
    if (ReadColourSetting(store.Get("DefaultText"), colour)) {
        inputStyle.textColour = outputStyle.textColour = colour;
    }
    if (ReadColourSetting(store.Get("DefaultBackground"), colour)) {
        inputStyle.backColour = outputStyle.backColour = colour;
    }
    if (ReadColourSetting(store.Get("URLTextColour"), colour)) outputStyle.urlTextColour = colour;
    if (ReadColourSetting(store.Get("URLBackColour"), colour)) outputStyle.urlBackColour = colour;
    // The link style, from the bits of the format codes the tags make.
    const std::string urlFormat = store.Get("URLFormat");
    if (!urlFormat.empty()) {
        unsigned combined = 0;
        for (char c : TagsToCodes(urlFormat)) combined |= static_cast<unsigned char>(c);
        std::uint32_t effects = 0;
        if (combined & FormatCode::kBold) effects |= CharFormat::kBold;
        if (combined & FormatCode::kItalic) effects |= CharFormat::kItalic;
        if (combined & FormatCode::kUnderline) effects |= CharFormat::kUnderline;
        if (combined & FormatCode::kStrikeout) effects |= CharFormat::kStrikeout;
        outputStyle.urlEffects = effects;
    }
    // Scrollback length in lines (0 keeps all); a value that does not read leaves it.
    long long scrollback = 0;
    if (ReadStreamNumber(store.Get("ScrollbackLines"), 0, std::numeric_limits<std::int32_t>::max(),
                         scrollback)) {
        outputStyle.scrollbackLines = static_cast<std::int32_t>(scrollback);
    }
    m_input.ApplyStyle(inputStyle);
    m_output.ApplyStyle(outputStyle);

    // How long a line without a line end waits before it shows as a prompt; 0 waits for the
    // line end. A value that does not read, or lies outside the range, leaves it.
    long long promptDelay = 0;
    if (ReadStreamNumber(store.Get("PromptDelay"), 0, CTelnetEngine::kMaxPromptDelay,
                         promptDelay)) {
        m_telnet->SetPromptDelay(static_cast<std::uint32_t>(promptDelay));
    }

    // How the server's text is read: ANSI colours, their palette, the encoding.
    ServerTextSettings text = m_telnet->GetServerTextSettings();
    ReadFlagSetting(store.Get("AnsiColours"), text.ansiColours);
    ReadFlagSetting(store.Get("AnsiBoldBright"), text.boldBright);
    for (std::size_t i = 0; i < text.palette.size(); ++i) {
        ReadPaletteSetting(store.Get("AnsiColour" + std::to_string(i)), text.palette[i]);
    }
    const std::string encoding = store.Get("ServerEncoding");
    if (!encoding.empty() && !ParseServerEncoding(encoding, text.encoding)) {
        PrintError("Invalid ServerEncoding config option");
    }
    m_telnet->SetServerTextSettings(text);

    // 7-9. Keys read from the program configuration only, whichever file is being loaded:
    // loading the user settings would apply the same values again and repeat any message.
    if (&store == &m_config) {
        const std::string prefixes = m_config.Get("URLPrefixes");
        if (!prefixes.empty()) ParseUrlPrefixes(prefixes);
        const std::string server = m_config.Get("DefaultServer");
        if (!server.empty()) m_telnet->SetDefaultServer(server);
        long long port = 0;
        if (ReadStreamNumber(m_config.Get("DefaultPort"), 0, 65535, port)) {
            m_telnet->SetDefaultPort(static_cast<std::uint16_t>(port));
        }
    }

    // 10. Tick period. A period below 1 ms would make the timer spin, so it is not taken.
    std::int32_t tickDelay = 0;
    if (ReadStreamInt32(store.Get("TickDelay"), tickDelay) && tickDelay >= 1)
        m_tickDelay = tickDelay;

    // 11. Web search prefix.
    const std::string searchPrefix = store.Get("SearchURLPrefix");
    if (!searchPrefix.empty()) m_searchUrlPrefix = searchPrefix;

    // 12. Window rectangle: all four keys must read.
    m_hasSavedWindowRect = true;
    std::int32_t value = 0;
    if (ReadStreamInt32(store.Get("Window.X"), value)) {
        m_savedWindowRect.left = value;
    } else {
        m_hasSavedWindowRect = false;
    }
    if (ReadStreamInt32(store.Get("Window.Y"), value)) {
        m_savedWindowRect.top = value;
    } else {
        m_hasSavedWindowRect = false;
    }
    if (ReadStreamInt32(store.Get("Window.W"), value)) {
        m_savedWindowRect.right = SaturatedSum(m_savedWindowRect.left, value);
    } else {
        m_hasSavedWindowRect = false;
    }
    if (ReadStreamInt32(store.Get("Window.H"), value)) {
        m_savedWindowRect.bottom = SaturatedSum(m_savedWindowRect.top, value);
    } else {
        m_hasSavedWindowRect = false;
    }
    return true;
}

void CApp::ParseUrlPrefixes(const std::string& value) {
    std::vector<std::string> prefixes;
    if (!ParseUrlPrefixList(value, prefixes)) {
        PrintError("Invalid URLPrefixes config option");
        return;
    }
    if (!prefixes.empty()) m_output.SetUrlPrefixes(prefixes);
}
