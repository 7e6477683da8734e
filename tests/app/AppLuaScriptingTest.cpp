// The client as a player scripts it: the shipped Lua system and example scripts in the working
// directory, a game server on 127.0.0.1, and what a trigger, an alias, a timer, /dump and
// broken scripts do on screen.
#include <sys/stat.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include "script/ScriptHost.h"
#include "tests/app/AppFixture.h"

namespace {

constexpr Colour kRed = 0x0000ff;  // held as 0x00BBGGRR

class AppLuaScripting : public AppFixture {
  protected:
    void SetUp() override {
        AppFixture::SetUp();
        const std::string library = m_dir.File("LuaScripting.so");
        std::filesystem::copy_file(OSTRAK_RUN_DIR "/LuaScripting.so", library);
        ASSERT_EQ(chmod(library.c_str(), 0755), 0);
        std::filesystem::create_directory(m_dir.File("scripts"));
        for (const char* script : {"autoexec.lua", "example.lua", "vitals.lua"}) {
            std::filesystem::copy_file(
                std::string(OSTRAK_SOURCE_DIR "/scriptsystems/lua/scripts/") + script,
                m_dir.File(std::string("scripts/") + script));
        }
    }

    bool StartWithClock() {
        WriteProgramConfig("TickDelay = 100\n");
        if (!Start()) return false;
        App().SetClock([this] { return m_now; });
        return true;
    }

    // What the output pane gained since the last call.
    std::string NewOutput() {
        const std::string all = Output();
        std::string added = all.substr(std::min(m_seen, all.size()));
        m_seen = all.size();
        return added;
    }

    bool OutputShows(const std::string& needle) {
        return TickUntil([&] { return Output().find(needle, m_seen) != std::string::npos; });
    }

    std::uint64_t m_now = 1'000'000;
    std::size_t m_seen = 0;
};

TEST_F(AppLuaScripting, ExampleTriggerAliasAndTimerWorkAgainstAServerAndDumpListsThem) {
    ScriptedTelnetServer server;
    ASSERT_TRUE(StartWithClock());
    ASSERT_NE(App().ScriptHost(), nullptr);
    // The shipped autoexec greets the player and nothing failed on the way.
    const std::string startup = NewOutput();
    EXPECT_NE(startup.find("Lua scripting is ready."), std::string::npos) << startup;
    EXPECT_EQ(startup.find("Failed"), std::string::npos) << startup;

    ASSERT_TRUE(Connect(server));
    App().SubmitText("/load example.lua\r\n");
    EXPECT_NE(NewOutput().find("Script loaded"), std::string::npos);

    // The trigger colours a matching line and leaves the others as they are.
    server.Send("Bob tells you: meet me at the gate\r\nThe gate stands open.\r\n");
    ASSERT_TRUE(OutputShows("The gate stands open."));
    EXPECT_EQ(FormatOf("Bob tells you").textColour, kRed);
    EXPECT_NE(FormatOf("The gate stands").textColour, kRed);
    EXPECT_NE(Output().find("Bob tells you: meet me at the gate\n"), std::string::npos);

    // The alias sends to the server.
    App().SubmitText("/greet Bob\r\n");
    EXPECT_TRUE(server.WaitForReceived("say hello, Bob\r\n"));

    // The timer fires once its minute has passed, and not before.
    NewOutput();
    m_now += 30'000;
    App().OnTick();
    EXPECT_EQ(Output().find("It is ", m_seen), std::string::npos);
    m_now += 30'000;
    App().OnTick();
    EXPECT_NE(NewOutput().find("It is "), std::string::npos);

    App().SubmitText("/dump\r\n");
    const std::string dump = NewOutput();
    EXPECT_NE(dump.find("/greet calls greet (lua script)"), std::string::npos) << dump;
    EXPECT_NE(dump.find("Registered onReceive callbacks:\n   highlightLine (lua script)"),
              std::string::npos)
        << dump;
    EXPECT_NE(dump.find("showTime (lua script) called every 60000ms, next call in 60000ms"),
              std::string::npos)
        << dump;
}

TEST_F(AppLuaScripting, LinesPassTheScriptsFromTheMomentOneListens) {
    ScriptedTelnetServer server;
    ASSERT_TRUE(StartWithClock());
    ASSERT_TRUE(Connect(server));
    NewOutput();
    std::string burst;
    for (int i = 0; i < 300; ++i) burst += "plain " + std::to_string(i) + "\r\n";
    server.Send(burst);
    ASSERT_TRUE(OutputShows("plain 299"));
    const std::string shown = NewOutput();
    EXPECT_NE(shown.find("plain 0"), std::string::npos);
    EXPECT_NE(shown.find("plain 150"), std::string::npos);
    App().SubmitText(
        "/: function mark(line) return 'seen: ' .. line end "
        "register_event('onReceive', 'mark')\r\n");
    server.Send("after\r\nand more\r\n");
    ASSERT_TRUE(OutputShows("seen: and more"));
    EXPECT_NE(NewOutput().find("seen: after"), std::string::npos);
}

TEST_F(AppLuaScripting, BrokenScriptsAreReportedAndTheClientKeepsRunning) {
    ScriptedTelnetServer server;
    ASSERT_TRUE(StartWithClock());
    ASSERT_TRUE(Connect(server));
    NewOutput();

    // A run-time error says where it happened.
    App().SubmitText("/: local x = nil; x.y = 1\r\n");
    std::string output = NewOutput();
    EXPECT_NE(output.find("Failed to execute: "), std::string::npos) << output;
    EXPECT_NE(output.find(":1: attempt to index a nil value"), std::string::npos) << output;

    // An endless loop ends as an error instead of freezing the window.
    App().SubmitText("/: while true do end\r\n");
    output = NewOutput();
    EXPECT_NE(output.find("Failed to execute: "), std::string::npos) << output;
    EXPECT_NE(output.find("script ran too long"), std::string::npos) << output;

    // A trigger that fails is reported once and removed; the line is still shown.
    App().SubmitText(
        "/: function bad(line) error('no such thing') end "
        "register_event('onReceive', 'bad')\r\n");
    server.Send("first line\r\n");
    ASSERT_TRUE(OutputShows("first line"));
    output = NewOutput();
    EXPECT_NE(output.find("Failed to call callback function \"bad\" for onReceive: "),
              std::string::npos)
        << output;
    EXPECT_TRUE(App().ScriptHost()->Callbacks(ScriptEvent::Receive).empty());

    // A callback that unregisters itself inside its own call runs once, quietly.
    App().SubmitText(
        "/: hits = 0 function once(line) hits = hits + 1 "
        "unregister_event('once') return line end "
        "register_event('onReceive', 'once')\r\n");
    server.Send("second line\r\nthird line\r\n");
    ASSERT_TRUE(OutputShows("third line"));
    output = NewOutput();
    EXPECT_EQ(output.find("Failed"), std::string::npos) << output;

    // Still alive and scripting.
    App().SubmitText("/: println('hits: ' .. hits)\r\n");
    EXPECT_NE(NewOutput().find("hits: 1\n"), std::string::npos);
    EXPECT_TRUE(App().IsConnected());
}

}  // namespace

namespace {

TEST_F(AppLuaScripting, SystemFunctionsReachTheWindowTitleAndIcon) {
    ASSERT_TRUE(StartWithClock());
    TempDir::Write(m_dir.File("scripts/game.png"), "an icon");
    NewOutput();
    App().SubmitText("/: setWindowTitle('HP 42/50') setIcon('scripts/game.png')\r\n");
    EXPECT_EQ(Window().Title(), "HP 42/50");
    EXPECT_EQ(Window().Icon(), "scripts/game.png");
    App().SubmitText("/: setWindowTitle() setIcon()\r\n");
    EXPECT_EQ(Window().Title(), "OstrakClient v2");
    EXPECT_EQ(Window().Icon(), "");
    App().SubmitText("/: setIcon('missing.ico')\r\n");
    EXPECT_NE(NewOutput().find("Failed to execute: (command):1: Failed to load icon "
                               "'missing.ico'. Error: 2"),
              std::string::npos);
    App().SubmitText("/: println(getTime('Y') .. ' on ' .. getOS())\r\n");
    EXPECT_NE(NewOutput().find("-bit"), std::string::npos);
}

}  // namespace

namespace {

TEST_F(AppLuaScripting, VitalsScriptPutsHitPointsFromGmcpInTheTitle) {
    ScriptedTelnetServer server;
    ASSERT_TRUE(StartWithClock());
    ASSERT_TRUE(Connect(server));
    App().SubmitText("/load vitals.lua\r\n");
    const auto gmcp = [](const std::string& body) {
        return std::string("\xFF\xFA\xC9") + body + "\xFF\xF0";
    };
    server.Send(std::string("\xFF\xFB\xC9") + gmcp("Char.Vitals {\"hp\":42,\"maxhp\":50}"));
    ASSERT_TRUE(TickUntil([&] { return Window().Title() == "HP 42/50"; })) << Window().Title();
    EXPECT_TRUE(server.WaitForReceived(gmcp("Core.Supports.Set [\"Char 1\"]")));
    App().SubmitText("/disconnect\r\n");
    EXPECT_EQ(Window().Title(), "OstrakClient v2");
}

}  // namespace
