#include "PlayerWindow.h"

#include "WindowTitle.h"

namespace {

constexpr const char* kPlayerWindowClass = "Winamp v1.x";
constexpr std::size_t kMaxTitleLength = 1023;

// The player's command numbers and what it answers when it cannot tell.
constexpr std::intptr_t kPlayState = 104;
constexpr std::intptr_t kPositionOrLength = 105;
constexpr std::intptr_t kStreamInfo = 126;
constexpr std::intptr_t kUnknown = -1;

// The player's answers are ints that travel in a wider result; only the int is meant.
void TakeAnswer(std::intptr_t answer, std::int32_t& field) {
    const auto value = static_cast<std::int32_t>(answer);
    if (value != kUnknown) field = value;
}

}  // namespace

SongInfo TakeWindowSnapshot(IPlayerWindowPort& port) {
    SongInfo song;
    const std::uintptr_t window = port.FindTopLevelWindow(kPlayerWindowClass);
    if (!window) return song;

    switch (static_cast<std::int32_t>(port.SendUserMessage(window, 0, kPlayState))) {
        case 1:
            song.status = "Playing";
            break;
        case 3:
            song.status = "Paused";
            break;
        default:
            song.status = "Stopped";
            break;
    }

    const WindowTitleParts parts = ParseWindowTitle(port.ReadWindowTitle(window, kMaxTitleLength));
    song.number = ReadTitleNumber(parts.numberText);
    song.artist = parts.artist;
    song.title = parts.title;

    std::int32_t milliseconds = 0;
    TakeAnswer(port.SendUserMessage(window, 0, kPositionOrLength), milliseconds);
    song.position = milliseconds / 1000;
    TakeAnswer(port.SendUserMessage(window, 1, kPositionOrLength), song.length);
    TakeAnswer(port.SendUserMessage(window, 1, kStreamInfo), song.bitrate);
    TakeAnswer(port.SendUserMessage(window, 0, kStreamInfo), song.samplerate);
    TakeAnswer(port.SendUserMessage(window, 2, kStreamInfo), song.channels);
    song.player = "Winamp";
    return song;
}
