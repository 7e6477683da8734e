// getNowtune against players published on a session bus of the test's own: which player is
// reported, what is read from it, and that players or buses that stay silent cost only the
// time-out.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <string>

#include "tests/nowtune/FakeMprisPlayer.h"
#include "tests/nowtune/NowtuneLibrary.h"
#include "tests/nowtune/PrivateSessionBus.h"
#include "tests/support/ScriptCallRecorder.h"
#include "tests/support/TempDir.h"

namespace {

// Far above the plug-in's own limit, far below the library's default of 25 seconds.
constexpr auto kBoundedCall = std::chrono::milliseconds(2000);

FakeSong PausedSong() {
    FakeSong song;
    song.identity = "Quiet Player";
    song.status = "Paused";
    song.artists = {"Nobody"};
    song.title = "Silence";
    return song;
}

FakeSong PlayingSong() {
    FakeSong song;
    song.identity = "Music Box";
    song.status = "Playing";
    song.artists = {"Ann", "Bo"};
    song.title = "Tune - Live";
    song.trackNumber = 7;
    song.lengthMicroseconds = 245'999'999;
    song.positionMicroseconds = 61'999'999;
    return song;
}

class NowtuneOnABus : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(m_library.Loaded()) << m_library.Error();
        ASSERT_TRUE(m_bus.Start()) << m_bus.Error();
    }

    // The fields in a fixed order, timed.
    ScriptCallRecorder& Ask() {
        m_call = std::make_unique<ScriptCallRecorder>();
        for (const char* name : {"player", "status", "artist", "title", "number", "length",
                                 "position", "bitrate", "samplerate", "channels"}) {
            m_call->Text(name);
        }
        const auto start = std::chrono::steady_clock::now();
        EXPECT_TRUE(m_library.Call(*m_call)) << m_call->error;
        m_took = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - start);
        EXPECT_EQ(m_call->results.size(), 10u);
        return *m_call;
    }

    CNowtuneLibrary m_library;
    CPrivateSessionBus m_bus;
    std::unique_ptr<ScriptCallRecorder> m_call;
    std::chrono::milliseconds m_took{0};
};

TEST_F(NowtuneOnABus, ReportsThePlayingPlayerOverOneFoundEarlier) {
    CFakeMprisPlayer paused(m_bus.Address(), "aaquiet", PausedSong());
    CFakeMprisPlayer playing(m_bus.Address(), "musicbox", PlayingSong());
    ASSERT_TRUE(paused.WaitUntilPublished());
    ASSERT_TRUE(playing.WaitUntilPublished());

    const ScriptCallRecorder& call = Ask();
    EXPECT_EQ(call.ResultText(0), "Music Box");
    EXPECT_EQ(call.ResultText(1), "Playing");
    EXPECT_EQ(call.ResultText(2), "Ann, Bo");
    EXPECT_EQ(call.ResultText(3), "Tune - Live");
    EXPECT_EQ(call.ResultText(4), "7");
    EXPECT_EQ(call.ResultText(5), "245");
    EXPECT_EQ(call.ResultText(6), "61");
    EXPECT_EQ(call.ResultText(7), "0");
    EXPECT_EQ(call.ResultText(8), "0");
    EXPECT_EQ(call.ResultText(9), "0");
}

TEST_F(NowtuneOnABus, WithoutAPlayingOneTheFirstFoundIsReportedAndWithoutAnyNothing) {
    {
        const ScriptCallRecorder& call = Ask();
        EXPECT_EQ(call.ResultText(0), "");
        EXPECT_EQ(call.ResultText(1), "");
        EXPECT_EQ(call.ResultText(5), "0");
    }
    FakeSong stopped = PausedSong();
    stopped.status = "Stopped";
    stopped.identity = "";
    CFakeMprisPlayer second(m_bus.Address(), "zzlast", PausedSong());
    CFakeMprisPlayer first(m_bus.Address(), "nameless", stopped);
    ASSERT_TRUE(second.WaitUntilPublished());
    ASSERT_TRUE(first.WaitUntilPublished());
    const ScriptCallRecorder& call = Ask();
    // A player that does not give its name is known by its bus name.
    EXPECT_EQ(call.ResultText(0), "nameless");
    EXPECT_EQ(call.ResultText(1), "Stopped");
    EXPECT_EQ(call.ResultText(3), "Silence");
}

TEST_F(NowtuneOnABus, APlayerThatNeverAnswersCostsOnlyTheTimeOut) {
    CFakeMprisPlayer hung(m_bus.Address(), "aahung", PlayingSong(),
                          CFakeMprisPlayer::Answers::Never);
    CFakeMprisPlayer paused(m_bus.Address(), "quiet", PausedSong());
    ASSERT_TRUE(hung.WaitUntilPublished());
    ASSERT_TRUE(paused.WaitUntilPublished());

    const ScriptCallRecorder& call = Ask();
    EXPECT_LT(m_took, kBoundedCall);
    // The silent one is passed over and the one that answers is still asked.
    EXPECT_EQ(call.ResultText(0), "Quiet Player");
    EXPECT_EQ(call.ResultText(1), "Paused");
}

TEST(NowtuneSilentBus, ABusAddressThatNeverSpeaksCostsOnlyTheTimeOut) {
    CNowtuneLibrary library;
    ASSERT_TRUE(library.Loaded()) << library.Error();
    // A socket that takes connections into its backlog and never reads or writes.
    TempDir dir;
    const std::string path = dir.File("bus");
    const int listener = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(listener, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    ASSERT_EQ(bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(listen(listener, 4), 0);
    CPrivateSessionBus restoresAddress;
    setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + path).c_str(), 1);

    ScriptCallRecorder call;
    call.Text("player");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(library.Call(call));
    EXPECT_LT(std::chrono::steady_clock::now() - start, kBoundedCall);
    EXPECT_EQ(call.ResultText(0), "");
    close(listener);
}

}  // namespace
