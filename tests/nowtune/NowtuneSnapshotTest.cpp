// The now-playing snapshot without a desktop: the player window's title, the window-message
// answers and the bus player's state, each turned into what getNowtune reports.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>

#include "Plugins/Nowtune/MprisSong.h"
#include "Plugins/Nowtune/PlayerWindow.h"
#include "Plugins/Nowtune/WindowTitle.h"

namespace {

TEST(NowtuneTitle, SplitsNumberArtistAndTitleAtTheFirstDotAndTheFirstSeparator) {
    const WindowTitleParts full = ParseWindowTitle("12. Some Artist - Some Song - Winamp");
    EXPECT_EQ(ReadTitleNumber(full.numberText), 12);
    EXPECT_EQ(full.artist, "Some Artist");
    EXPECT_EQ(full.title, "Some Song");

    const WindowTitleParts bare = ParseWindowTitle("Some Song - Winamp");
    EXPECT_EQ(ReadTitleNumber(bare.numberText), 0);
    EXPECT_EQ(bare.artist, "");
    EXPECT_EQ(bare.title, "Some Song");

    const WindowTitleParts remix = ParseWindowTitle("3. Artist - Song - Remix - Winamp");
    EXPECT_EQ(remix.artist, "Artist");
    EXPECT_EQ(remix.title, "Song - Remix");

    // Only the text before " - Winamp" counts, and a dot at the very end drops only itself.
    const WindowTitleParts cut = ParseWindowTitle("7. - Winamp - Winamp");
    EXPECT_EQ(cut.numberText, "7");
    EXPECT_EQ(cut.title, "");
    EXPECT_EQ(ParseWindowTitle("7. - Winamp").title, "");
    EXPECT_EQ(ParseWindowTitle("Dr. Who - Theme - Winamp").numberText, "Dr");

    const WindowTitleParts none = ParseWindowTitle("12. Some Artist - Some Song");
    EXPECT_EQ(none.numberText, "");
    EXPECT_EQ(none.artist, "");
    EXPECT_EQ(none.title, "");
}

TEST(NowtuneTitle, NumberReadsLikeATextStream) {
    EXPECT_EQ(ReadTitleNumber("  42abc"), 42);
    EXPECT_EQ(ReadTitleNumber("-3"), -3);
    EXPECT_EQ(ReadTitleNumber("+5"), 5);
    EXPECT_EQ(ReadTitleNumber("Dr"), 0);
    EXPECT_EQ(ReadTitleNumber("-"), 0);
    EXPECT_EQ(ReadTitleNumber("2147483647"), 2147483647);
    EXPECT_EQ(ReadTitleNumber("-2147483648"), -2147483647 - 1);
    // Too large for the field: no number rather than a wrapped one.
    EXPECT_EQ(ReadTitleNumber("2147483648"), 0);
    EXPECT_EQ(ReadTitleNumber("99999999999999999999999"), 0);
}

// A player window that answers from a table; what is not in it answers 0.
class FakePlayerWindow final : public IPlayerWindowPort {
  public:
    std::uintptr_t FindTopLevelWindow(const char* className) override {
        askedClass = className;
        return present ? 7 : 0;
    }
    std::string ReadWindowTitle(std::uintptr_t window, std::size_t maxLength) override {
        EXPECT_EQ(window, 7u);
        return title.substr(0, maxLength);
    }
    std::intptr_t SendUserMessage(std::uintptr_t window, std::intptr_t first,
                                  std::intptr_t command) override {
        EXPECT_EQ(window, 7u);
        const auto found = answers.find({command, first});
        return found == answers.end() ? 0 : found->second;
    }

    bool present = true;
    std::string askedClass;
    std::string title;
    std::map<std::pair<std::intptr_t, std::intptr_t>, std::intptr_t> answers;
};

TEST(NowtuneWindowSnapshot, TakesEveryFieldFromThePlayerAndKeepsZeroWhereItAnswersMinusOne) {
    FakePlayerWindow window;
    window.title = "12. Some Artist - Some Song - Winamp";
    window.answers = {{{104, 0}, 1},   {{105, 0}, 61'999}, {{105, 1}, 245},
                      {{126, 1}, 320}, {{126, 0}, 44},     {{126, 2}, 2}};
    SongInfo song = TakeWindowSnapshot(window);
    EXPECT_EQ(window.askedClass, "Winamp v1.x");
    EXPECT_EQ(song.status, "Playing");
    EXPECT_EQ(song.player, "Winamp");
    EXPECT_EQ(song.number, 12);
    EXPECT_EQ(song.artist, "Some Artist");
    EXPECT_EQ(song.title, "Some Song");
    EXPECT_EQ(song.position, 61);
    EXPECT_EQ(song.length, 245);
    EXPECT_EQ(song.bitrate, 320);
    EXPECT_EQ(song.samplerate, 44);
    EXPECT_EQ(song.channels, 2);

    window.answers = {{{104, 0}, 3},  {{105, 0}, 999}, {{105, 1}, -1},
                      {{126, 1}, -1}, {{126, 0}, -1},  {{126, 2}, -1}};
    window.title = "Playlist editor";
    song = TakeWindowSnapshot(window);
    EXPECT_EQ(song.status, "Paused");
    EXPECT_EQ(song.position, 0);
    EXPECT_EQ(song.length, 0);
    EXPECT_EQ(song.bitrate, 0);
    EXPECT_EQ(song.samplerate, 0);
    EXPECT_EQ(song.channels, 0);
    // A title without the player's suffix leaves the song's names empty, the rest still holds.
    EXPECT_EQ(song.number, 0);
    EXPECT_EQ(song.artist, "");
    EXPECT_EQ(song.title, "");
    EXPECT_EQ(song.player, "Winamp");

    // An unknown play state, and an unknown position, which is no position at all.
    window.answers = {{{104, 0}, 0}, {{105, 0}, -1}};
    song = TakeWindowSnapshot(window);
    EXPECT_EQ(song.status, "Stopped");
    EXPECT_EQ(song.position, 0);
}

TEST(NowtuneWindowSnapshot, WithoutThePlayerWindowEverythingStaysEmpty) {
    FakePlayerWindow window;
    window.present = false;
    const SongInfo song = TakeWindowSnapshot(window);
    EXPECT_EQ(song.status, "");
    EXPECT_EQ(song.player, "");
    EXPECT_EQ(song.number, 0);
    EXPECT_EQ(song.length, 0);
}

TEST(NowtuneBusSong, TruncatesToWholeSecondsJoinsArtistsAndNamesTheState) {
    MprisPlayerState state;
    state.identity = "Music Box";
    state.playbackStatus = "Playing";
    state.artists = {"Ann", "Bo", "Cy"};
    state.title = "Tune";
    state.trackNumber = 4;
    state.lengthMicroseconds = 245'999'999;
    state.positionMicroseconds = 999'999;
    SongInfo song = SongFromMpris(state);
    EXPECT_EQ(song.player, "Music Box");
    EXPECT_EQ(song.status, "Playing");
    EXPECT_EQ(song.artist, "Ann, Bo, Cy");
    EXPECT_EQ(song.title, "Tune");
    EXPECT_EQ(song.number, 4);
    EXPECT_EQ(song.length, 245);
    EXPECT_EQ(song.position, 0);
    EXPECT_EQ(song.bitrate, 0);
    EXPECT_EQ(song.samplerate, 0);
    EXPECT_EQ(song.channels, 0);

    state.positionMicroseconds = 61'999'999;
    state.playbackStatus = "Paused";
    state.artists = {"Solo"};
    EXPECT_EQ(SongFromMpris(state).position, 61);
    EXPECT_EQ(SongFromMpris(state).status, "Paused");
    EXPECT_EQ(SongFromMpris(state).artist, "Solo");

    // Whatever else a player says is stopped, and numbers that do not fit are held at the edge.
    state.playbackStatus = "playing";
    state.lengthMicroseconds = INT64_MAX;
    state.trackNumber = -5'000'000'000;
    song = SongFromMpris(state);
    EXPECT_EQ(song.status, "Stopped");
    EXPECT_EQ(song.length, INT32_MAX);
    EXPECT_EQ(song.number, INT32_MIN);
}

}  // namespace
