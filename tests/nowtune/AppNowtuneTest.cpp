// The client as a player uses the plug-in: Nowtune.so and the Lua system in the working
// directory, a media player on the test's own session bus, and the shipped /nowplaying
// script showing the song and telling it to the game.
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "tests/app/AppFixture.h"
#include "tests/nowtune/FakeMprisPlayer.h"
#include "tests/nowtune/PrivateSessionBus.h"

namespace {

class AppNowtune : public AppFixture {
  protected:
    void SetUp() override {
        AppFixture::SetUp();
        for (const char* library : {"LuaScripting.so", "Nowtune.so"}) {
            const std::string target = m_dir.File(library);
            std::filesystem::copy_file(std::string(OSTRAK_RUN_DIR "/") + library, target);
            ASSERT_EQ(chmod(target.c_str(), 0755), 0);
        }
        std::filesystem::create_directory(m_dir.File("scripts"));
        std::filesystem::copy_file(OSTRAK_SOURCE_DIR "/scriptsystems/lua/scripts/nowplaying.lua",
                                   m_dir.File("scripts/nowplaying.lua"));
        ASSERT_TRUE(m_bus.Start()) << m_bus.Error();
    }

    std::string NewOutput() {
        const std::string all = Output();
        std::string added = all.substr(std::min(m_seen, all.size()));
        m_seen = all.size();
        return added;
    }

    CPrivateSessionBus m_bus;
    std::size_t m_seen = 0;
};

TEST_F(AppNowtune, NowPlayingShowsTheSongAndSaysItToTheGame) {
    FakeSong song;
    song.identity = "Music Box";
    song.status = "Playing";
    song.artists = {"Ann", "Bo"};
    song.title = "Tune";
    song.lengthMicroseconds = 245'000'000;
    song.positionMicroseconds = 61'500'000;
    CFakeMprisPlayer player(m_bus.Address(), "musicbox", song);
    ASSERT_TRUE(player.WaitUntilPublished());

    ASSERT_TRUE(Start());
    std::string output = NewOutput();
    EXPECT_NE(output.find("Loaded plugin library \"Nowtune.so\".\n"), std::string::npos) << output;

    App().SubmitText("/load nowplaying.lua\r\n");
    App().SubmitText("/nowplaying\r\n");
    output = NewOutput();
    EXPECT_NE(output.find("Music Box (Playing): Ann, Bo - Tune [1:01 of 4:05]\n"),
              std::string::npos)
        << output;

    // Straight from Lua: results in the order asked, a bad name as the script's error.
    App().SubmitText("/: println(table.concat({getNowtune('TITLE', 'Status')}, '|'))\r\n");
    App().SubmitText("/: getNowtune('volume')\r\n");
    output = NewOutput();
    EXPECT_NE(output.find("Tune|Playing\n"), std::string::npos) << output;
    EXPECT_NE(output.find("Unknown parameter passed to getNowtune: \"volume\""), std::string::npos)
        << output;

    ScriptedTelnetServer server;
    ASSERT_TRUE(Connect(server));
    App().SubmitText("/nowplaying say\r\n");
    EXPECT_TRUE(server.WaitForReceived("say Now playing: Ann, Bo - Tune\r\n"));
}

}  // namespace
