#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// What the update server's file says against the program's own version.
struct UpdateFileVerdict {
    enum Kind { Malformed, NoUpdate, NewVersion };
    Kind kind = Malformed;
    // NewVersion: the offered version and where to get it, each without spaces or control
    // bytes.
    std::string version;
    std::string location;
};

// The file is a version line "major.minor", one line of any text, and the location.
UpdateFileVerdict ReadUpdateFile(std::string_view body, std::int32_t major, std::int32_t minor);
