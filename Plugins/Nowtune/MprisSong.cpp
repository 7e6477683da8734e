#include "MprisSong.h"

#include <algorithm>
#include <limits>

namespace {

// Players are not all careful with their numbers; whatever they send must fit.
std::int32_t ClampToInt32(std::int64_t value) {
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(
        value, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

}  // namespace

SongInfo SongFromMpris(const MprisPlayerState& state) {
    SongInfo song;
    song.player = state.identity;
    if (state.playbackStatus == "Playing" || state.playbackStatus == "Paused") {
        song.status = state.playbackStatus;
    } else {
        song.status = "Stopped";
    }
    for (const std::string& artist : state.artists) {
        if (!song.artist.empty()) song.artist += ", ";
        song.artist += artist;
    }
    song.title = state.title;
    song.number = ClampToInt32(state.trackNumber);
    song.length = ClampToInt32(state.lengthMicroseconds / 1'000'000);
    song.position = ClampToInt32(state.positionMicroseconds / 1'000'000);
    return song;
}
