#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The pieces of a player window title such as "12. Some Artist - Some Song - Winamp".
struct WindowTitleParts {
    std::string numberText;
    std::string artist;
    std::string title;
};

// A title without " - Winamp" gives empty parts.
WindowTitleParts ParseWindowTitle(std::string_view windowTitle);

// The number at the start of text as a text stream reads it (blanks skipped, an optional
// sign, digits up to the first other character); 0 when none can be read or it does not fit.
std::int32_t ReadTitleNumber(std::string_view text);
