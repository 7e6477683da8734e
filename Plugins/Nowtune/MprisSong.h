#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "SongInfo.h"

// What one desktop media player publishes about itself on the session bus, as read; times in
// microseconds, as the player gives them.
struct MprisPlayerState {
    std::string identity;
    std::string playbackStatus;
    std::vector<std::string> artists;
    std::string title;
    std::int64_t trackNumber = 0;
    std::int64_t lengthMicroseconds = 0;
    std::int64_t positionMicroseconds = 0;
};

// The snapshot of that player: whole seconds (truncated), artists joined with ", ", and
// "Playing", "Paused" or, for anything else, "Stopped". The player says nothing of bit rate,
// sample rate or channels, so those stay 0.
SongInfo SongFromMpris(const MprisPlayerState& state);
