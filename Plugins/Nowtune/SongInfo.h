#pragma once

#include <cstdint>
#include <string>

// What the player said at the start of one call; zero and empty where it said nothing.
struct SongInfo {
    std::int32_t number = 0;
    std::string artist;
    std::string title;
    std::string player;
    std::int32_t length = 0;    // seconds
    std::int32_t position = 0;  // whole seconds
    std::string status;
    std::int32_t bitrate = 0;     // kilobits per second
    std::int32_t samplerate = 0;  // kilohertz
    std::int32_t channels = 0;
};
