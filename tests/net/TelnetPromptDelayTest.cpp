// Prompts without IAC GA or IAC EOR: shown for now once they have waited the prompt delay,
// taken back when the rest of their line arrives, so filters see only whole lines.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/net/EngineHarness.h"

namespace {

// The host's millisecond clock moves only here, so each step is exact.
void Wait(EngineHarness& h, std::uint64_t milliseconds) {
    h.host.nowMs += milliseconds;
    h.Tick();
}

}  // namespace

TEST(TelnetPromptDelay, PartialLineShowsAfterTheDelaySinceItsLastByteAndIsTakenBack) {
    EngineHarness h;
    ASSERT_TRUE(h.Connect());
    // Split across reads: the wait starts again with the second part.
    h.server.Send("Welcome\r\nHP:1");
    h.Settle();
    Wait(h, 100);
    h.server.Send("00> ");
    h.Settle();
    Wait(h, 149);
    EXPECT_EQ(h.host.Screen(), "Welcome\r\n");
    Wait(h, 1);
    EXPECT_EQ(h.host.Screen(), "Welcome\r\nHP:100> ");
    EXPECT_EQ(h.host.lines, std::vector<std::string>{"Welcome\r\n"});  // not filtered yet

    // More of the same line shows at once; its end takes it all back and shows it whole once.
    h.server.Send("north");
    h.Settle();
    EXPECT_EQ(h.host.provisional, "HP:100> north");
    h.server.Send("\r\nName: " + Bytes({255, 249}));
    ASSERT_TRUE(h.PumpUntilShown("Name: "));
    EXPECT_EQ(h.host.Screen(), "Welcome\r\nHP:100> north\r\nName: ");
    EXPECT_EQ(h.host.lines,
              (std::vector<std::string>{"Welcome\r\n", "HP:100> north\r\n", "Name: "}));
    const std::vector<std::string> expected = {"provisional:HP:100> ", "provisional:north",
                                               "takeback", "show:HP:100> north\r\n", "show:Name: "};
    auto events = h.host.events;
    events.erase(events.begin(), std::find(events.begin(), events.end(), "provisional:HP:100> "));
    EXPECT_EQ(events, expected);
}

TEST(TelnetPromptDelay, FilterThatChangesOrDropsTheLineSeesItWholeAndOnce) {
    for (const bool drop : {false, true}) {
        SCOPED_TRACE(drop ? "drop" : "change");
        EngineHarness h;
        h.host.filter = [drop](std::string& line) {
            if (line.starts_with("Password:")) line = drop ? "" : "[password line]\r\n";
        };
        ASSERT_TRUE(h.Connect());
        h.server.Send("Password: ");
        h.Settle();
        Wait(h, 150);
        EXPECT_EQ(h.host.Screen(), "Password: ");
        h.server.Send("ok\r\nnext\r\n");
        ASSERT_TRUE(h.PumpUntilShown("next\r\n"));
        EXPECT_EQ(h.host.lines, (std::vector<std::string>{"Password: ok\r\n", "next\r\n"}));
        EXPECT_EQ(h.host.Screen(), drop ? "next\r\n" : "[password line]\r\nnext\r\n");
    }
}

TEST(TelnetPromptDelay, ZeroWaitsForTheLineEndAndEndedConnectionsKeepWhatShows) {
    EngineHarness h;
    h.engine.SetPromptDelay(0);
    ASSERT_TRUE(h.Connect());
    h.server.Send("login: ");
    h.Settle();
    Wait(h, 60000);
    EXPECT_EQ(h.host.Screen(), "");
    h.server.Send("x\r\n");
    ASSERT_TRUE(h.PumpUntilShown("login: x\r\n"));
    EXPECT_TRUE(h.host.EventsStartingWith("provisional:").empty());

    // A prompt shown for now when the server closes stays, before "Disconnected".
    h.engine.SetPromptDelay(CTelnetEngine::kMaxPromptDelay + 1);
    EXPECT_EQ(h.engine.GetPromptDelay(), CTelnetEngine::kMaxPromptDelay);
    h.engine.SetPromptDelay(150);
    h.server.Send("bye> ");
    h.Settle();
    Wait(h, 150);
    h.server.Close();
    ASSERT_TRUE(h.PumpUntil([&] { return !h.engine.IsConnected(); }));
    auto settle = std::find(h.host.events.begin(), h.host.events.end(), "settle");
    ASSERT_NE(settle, h.host.events.end());
    EXPECT_EQ(*std::next(settle), "error:Disconnected\r\n");
    EXPECT_EQ(h.host.Screen(), "login: x\r\nbye> ");
}
