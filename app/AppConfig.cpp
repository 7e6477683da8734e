// Reading the settings files into the running application.
#include <cstdint>
#include <limits>
#include <sstream>
#include <vector>

#include "app/App.h"
#include "net/TelnetEngine.h"
#include "ui/FormatCodes.h"

namespace {

// Reads a number the way a text stream does: leading white space skipped, text after the
// digits ignored. False when no number can be read or it does not fit the range.
bool ReadNumber(const std::string& text, long long minimum, long long maximum, long long& out) {
    std::istringstream stream(text);
    long long value = 0;
    if (!(stream >> value) || value < minimum || value > maximum) return false;
    out = value;
    return true;
}

bool ReadInt32(const std::string& text, std::int32_t& out) {
    long long value = 0;
    if (!ReadNumber(text, std::numeric_limits<std::int32_t>::min(),
                    std::numeric_limits<std::int32_t>::max(), value)) {
        return false;
    }
    out = static_cast<std::int32_t>(value);
    return true;
}

// "0x" followed by six hexadecimal digits RRGGBB; anything after them is ignored.
std::int32_t SaturatedSum(std::int32_t a, std::int32_t b) {
    const long long sum = static_cast<long long>(a) + b;
    if (sum > std::numeric_limits<std::int32_t>::max())
        return std::numeric_limits<std::int32_t>::max();
    if (sum < std::numeric_limits<std::int32_t>::min())
        return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(sum);
}

bool ReadColourSetting(const std::string& value, Colour& colour) {
    if (value.size() < 8 || value.compare(0, 2, "0x") != 0) return false;
    return ParseHexColour(std::string_view(value).substr(2, 6), colour);
}

}  // namespace

bool CApp::LoadConfigFile(CConfigStore& store, const std::string& path) {
    if (!store.Load(path)) return false;

    // 1. Font, only with a size that reads as a number.
    std::int32_t fontSize = 0;
    if (ReadInt32(store.Get("DefaultFontSize"), fontSize)) {
        const std::string face = store.Get("DefaultFontFace");
        m_input.SetFont(face, static_cast<unsigned>(fontSize));
        m_output.SetFont(face, static_cast<unsigned>(fontSize));
    }

    // 2-5. Colours.
    Colour colour = 0;
    if (ReadColourSetting(store.Get("DefaultText"), colour)) {
        m_input.m_textColour = colour;
        m_output.m_textColour = colour;
    }
    if (ReadColourSetting(store.Get("DefaultBackground"), colour)) {
        m_input.m_backColour = colour;
        m_output.m_backColour = colour;
    }
    if (ReadColourSetting(store.Get("URLTextColour"), colour)) m_output.m_urlTextColour = colour;
    if (ReadColourSetting(store.Get("URLBackColour"), colour)) m_output.m_urlBackColour = colour;

    // 6. Link style, from the bits of the format codes the tags make.
    const std::string urlFormat = store.Get("URLFormat");
    if (!urlFormat.empty()) {
        unsigned combined = 0;
        for (char c : TagsToCodes(urlFormat)) combined |= static_cast<unsigned char>(c);
        std::uint32_t effects = 0;
        if (combined & 0x20) effects |= CharFormat::kBold;
        if (combined & 0x10) effects |= CharFormat::kItalic;
        if (combined & 0x08) effects |= CharFormat::kUnderline;
        if (combined & 0x02) effects |= CharFormat::kStrikeout;
        m_output.m_urlEffects = effects;
    }

    // 7-9. Keys read from the program configuration only, whichever file was loaded.
    const std::string prefixes = m_config.Get("URLPrefixes");
    if (!prefixes.empty()) ParseUrlPrefixes(prefixes);
    const std::string server = m_config.Get("DefaultServer");
    if (!server.empty()) m_telnet->SetDefaultServer(server);
    long long port = 0;
    if (ReadNumber(m_config.Get("DefaultPort"), 0, 65535, port)) {
        m_telnet->SetDefaultPort(static_cast<std::uint16_t>(port));
    }

    // 10. Tick period. A period below 1 ms would make the timer spin, so it is not taken.
    std::int32_t tickDelay = 0;
    if (ReadInt32(store.Get("TickDelay"), tickDelay) && tickDelay >= 1) m_tickDelay = tickDelay;

    // 11. Web search prefix.
    const std::string searchPrefix = store.Get("SearchURLPrefix");
    if (!searchPrefix.empty()) m_searchUrlPrefix = searchPrefix;

    // 12. Window rectangle: all four keys must read.
    m_hasSavedWindowRect = true;
    std::int32_t value = 0;
    if (ReadInt32(store.Get("Window.X"), value)) {
        m_savedWindowRect.left = value;
    } else {
        m_hasSavedWindowRect = false;
    }
    if (ReadInt32(store.Get("Window.Y"), value)) {
        m_savedWindowRect.top = value;
    } else {
        m_hasSavedWindowRect = false;
    }
    if (ReadInt32(store.Get("Window.W"), value)) {
        m_savedWindowRect.right = SaturatedSum(m_savedWindowRect.left, value);
    } else {
        m_hasSavedWindowRect = false;
    }
    if (ReadInt32(store.Get("Window.H"), value)) {
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
