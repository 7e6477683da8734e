#include "WindowTitle.h"

#include <limits>

WindowTitleParts ParseWindowTitle(std::string_view windowTitle) {
    WindowTitleParts parts;
    const std::size_t suffix = windowTitle.find(" - Winamp");
    if (suffix == std::string_view::npos) return parts;
    std::string_view rest = windowTitle.substr(0, suffix);

    // "12. Artist - Song": the number is what comes before the first dot, and the dot and the
    // blank after it are dropped.
    const std::size_t dot = rest.find('.');
    if (dot != std::string_view::npos) {
        parts.numberText = std::string(rest.substr(0, dot));
        rest.remove_prefix(rest.size() > dot + 1 ? dot + 2 : dot + 1);
    }

    const std::size_t separator = rest.find(" - ");
    if (separator != std::string_view::npos) {
        parts.artist = std::string(rest.substr(0, separator));
        parts.title = std::string(rest.substr(separator + 3));
    } else {
        parts.title = std::string(rest);
    }
    return parts;
}

std::int32_t ReadTitleNumber(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    const std::size_t firstDigit = i;
    // Accumulated wider than the result, so a number that does not fit is caught.
    std::int64_t value = 0;
    constexpr std::int64_t kLimit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > kLimit) return 0;
    }
    if (i == firstDigit) return 0;
    if (negative) value = -value;
    if (value > std::numeric_limits<std::int32_t>::max()) return 0;
    return static_cast<std::int32_t>(value);
}
