// getNowtune's parameters and results on a fixed snapshot, and the built library's exports.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "Plugins/Nowtune/NowtuneFunction.h"
#include "tests/nowtune/NowtuneLibrary.h"
#include "tests/support/ScriptCallRecorder.h"

namespace {

SongInfo SampleSong() {
    SongInfo song;
    song.number = 12;
    song.artist = "Some Artist";
    song.title = "Some Song";
    song.player = "Winamp";
    song.length = 245;
    song.position = 61;
    song.status = "Playing";
    song.bitrate = 320;
    song.samplerate = 44;
    song.channels = 2;
    return song;
}

TEST(NowtuneFunction, AnswersEachNameInAnyCaseInOrderWithItsType) {
    ScriptCallRecorder call;
    call.Text("TITLE").Text("Status");
    ASSERT_TRUE(AnswerNowtune(&call, SampleSong()));
    ASSERT_EQ(call.results.size(), 2u);
    EXPECT_EQ(call.results[0].type, ScriptValue::String);
    EXPECT_EQ(call.ResultText(0), "Some Song");
    EXPECT_EQ(call.ResultText(1), "Playing");

    ScriptCallRecorder all;
    for (const char* name : {"number", "artist", "title", "player", "length", "position", "status",
                             "bitrate", "samplerate", "channels", "Number"}) {
        all.Text(name);
    }
    ASSERT_TRUE(AnswerNowtune(&all, SampleSong()));
    ASSERT_EQ(all.results.size(), 11u);
    const char* expected[] = {"12",      "Some Artist", "Some Song", "Winamp", "245", "61",
                              "Playing", "320",         "44",        "2",      "12"};
    const bool isInt[] = {true, false, false, false, true, true, false, true, true, true, true};
    for (std::size_t i = 0; i < 11; ++i) {
        EXPECT_EQ(all.ResultText(i), expected[i]) << i;
        EXPECT_EQ(all.results[i].type, isInt[i] ? ScriptValue::Int : ScriptValue::String) << i;
    }

    ScriptCallRecorder none;
    EXPECT_TRUE(AnswerNowtune(&none, SampleSong()));
    EXPECT_TRUE(none.results.empty());
    EXPECT_EQ(none.error, "");
}

TEST(NowtuneFunction, StopsAtTheFirstBadParameterKeepingEarlierResults) {
    ScriptCallRecorder number;
    number.Text("artist").Int(5).Text("title");
    EXPECT_FALSE(AnswerNowtune(&number, SampleSong()));
    EXPECT_EQ(number.error, "getNowtune expects all string parameters");
    ASSERT_EQ(number.results.size(), 1u);
    EXPECT_EQ(number.ResultText(0), "Some Artist");
    EXPECT_EQ(number.fetched, 2);

    ScriptCallRecorder unknown;
    unknown.Text("VOLUME");
    EXPECT_FALSE(AnswerNowtune(&unknown, SampleSong()));
    EXPECT_EQ(unknown.error, "Unknown parameter passed to getNowtune: \"volume\"");
    EXPECT_TRUE(unknown.results.empty());

    ScriptCallRecorder floating;
    floating.Float(1.0f);
    EXPECT_FALSE(AnswerNowtune(&floating, SampleSong()));
    EXPECT_EQ(floating.error, "getNowtune expects all string parameters");
}

TEST(NowtuneLibrary, OffersGetNowtuneForVersionTwoOnly) {
    CNowtuneLibrary library;
    ASSERT_TRUE(library.Loaded()) << library.Error();
    EXPECT_EQ(library.count(2), 1u);
    EXPECT_EQ(library.count(1), 0u);
    EXPECT_EQ(library.count(3), 0u);

    PluginFunctionInfo info{};
    library.get(0, &info);
    EXPECT_STREQ(info.name, "getNowtune");
    EXPECT_NE(info.function, nullptr);
    EXPECT_EQ(info.user, nullptr);

    PluginFunctionInfo untouched{};
    library.get(1, &untouched);
    EXPECT_EQ(untouched.function, nullptr);
    EXPECT_STREQ(untouched.name, "");
}
TEST(NowtuneLibrary, WithoutASessionBusEveryCallSucceedsEmpty) {
    CNowtuneLibrary library;
    ASSERT_TRUE(library.Loaded()) << library.Error();
    const char* oldAddress = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    const std::string kept = oldAddress ? oldAddress : "";
    setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/ostrak-test-bus", 1);

    ScriptCallRecorder call;
    call.Text("player").Text("status").Text("title").Text("position");
    EXPECT_TRUE(library.Call(call));
    ASSERT_EQ(call.results.size(), 4u);
    EXPECT_EQ(call.ResultText(0), "");
    EXPECT_EQ(call.ResultText(1), "");
    EXPECT_EQ(call.ResultText(2), "");
    EXPECT_EQ(call.ResultText(3), "0");

    if (oldAddress) {
        setenv("DBUS_SESSION_BUS_ADDRESS", kept.c_str(), 1);
    } else {
        unsetenv("DBUS_SESSION_BUS_ADDRESS");
    }
}

}  // namespace
