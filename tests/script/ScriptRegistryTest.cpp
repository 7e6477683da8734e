#include <utility>

#include "ScriptHostFixture.h"
#include "script/ScriptRegistry.h"

namespace {

using ScriptRegistryTest = ScriptHostFixture;

TEST_F(ScriptRegistryTest, RefusedCallsNameTheFunctionAndLeaveTheRegistryUnchanged) {
    LoadBoth();
    const std::pair<const char*, const char*> cases[] = {
        {"call load", "load expects 1 parameter"},
        {"call load 5", "load expects parameter 1 to be a string (script name)"},
        {"call load \"nodot\"",
         "Script \"nodot\" has no extension; unable to determine script system to use"},
        {"call register_command \"a\"", "register_command expects 2 parameters"},
        {"call register_command 1 \"f\"",
         "register_command expects parameter 1 to be a string (command name)"},
        {"call register_command \"a\" 1.5",
         "register_command expects parameter 2 to be a string (callback function name)"},
        {"call register_command \"go north\" \"f\"", "Invalid name for command: \"go north\""},
        {"call register_command \"a/b\" \"f\"", "Invalid name for command: \"a/b\""},
        {"call unregister_command", "unregister_command expects 1 parameter"},
        {"call unregister_command 3",
         "unregister_command expects parameter 1 to be a string (callback function name)"},
        {"call unregister_command \"f\"", "unregister_command could not find callback function f"},
        {"call register_event \"onTick\"", "register_event expects 2 parameters"},
        {"call register_event 1 \"f\"",
         "register_event expects parameter 1 to be a string (event name)"},
        {"call register_event \"onTick\" 2",
         "register_event expects parameter 2 to be a string (callback function name)"},
        {"call register_event \"OnLogin\" \"f\"", "Invalid event for register_event: onlogin"},
        {"call unregister_event \"f\" \"g\"", "unregister_event expects 1 parameter"},
        {"call unregister_event 1",
         "unregister_event expects parameter 1 to be a string (callback function name)"},
        {"call unregister_event \"f\"", "unregister_event could not find callback function f"},
        {"call register_timer 5", "register_timer expects 2 parameters"},
        {"call register_timer \"5\" \"t\"",
         "register_timer expects parameter 1 to be an integer (timer frequency)"},
        {"call register_timer 0 \"t\"", "Timer frequency for register_timer cannot be < 1ms"},
        {"call register_timer -5 \"t\"", "Timer frequency for register_timer cannot be < 1ms"},
        {"call register_timer 0.9 \"t\"", "Timer frequency for register_timer cannot be < 1ms"},
        // The frequency is checked before the name is fetched.
        {"call register_timer 0 7", "Timer frequency for register_timer cannot be < 1ms"},
        {"call register_timer 5 7",
         "register_timer expects parameter 2 to be a string (callback function name)"},
        {"call unregister_timer", "unregister_timer expects 1 parameter"},
        {"call unregister_timer 1",
         "unregister_timer expects parameter 1 to be a string (callback function name)"},
        {"call unregister_timer \"t\"", "unregister_timer could not find timer callback t"},
    };
    for (const auto& [line, message] : cases) EXPECT_EQ(Run("tst", line), message) << line;
    EXPECT_TRUE(Host().Commands().empty());
    for (std::size_t event = 0; event < kScriptEventCount; ++event) {
        EXPECT_TRUE(Host().Callbacks(static_cast<ScriptEvent>(event)).empty());
    }
    EXPECT_TRUE(Host().Timers().empty());
}

TEST_F(ScriptRegistryTest, RegistrationsFollowTheNameAndOwnerRules) {
    LoadBoth();
    EXPECT_EQ(Run("tst", "call register_event \"OnConnect\" \"c\""), "");
    EXPECT_EQ(Run("tst", "call register_event \"onPreParseText\" \"p\""), "");
    EXPECT_EQ(
        Run("tst", "call register_event \"ONTICK\" \"t\" ; call register_event \"ontick\" \"t\""),
        "");
    EXPECT_EQ(Run("tst", "call register_event \"onReceive\" \"t\""), "");
    ASSERT_EQ(Host().Callbacks(ScriptEvent::Connected).size(), 1u);
    EXPECT_EQ(Host().Callbacks(ScriptEvent::Connected)[0].extension, "tst");
    EXPECT_EQ(Host().Callbacks(ScriptEvent::PreParse).size(), 1u);
    EXPECT_EQ(Host().Callbacks(ScriptEvent::Tick).size(), 2u);
    // The search goes through the lists in event order: onReceive comes before onTick.
    EXPECT_EQ(Run("oth", "call unregister_event \"t\""),
              "unregister_event could not find callback function t");
    EXPECT_EQ(Run("tst", "call unregister_event \"t\""), "");
    EXPECT_TRUE(Host().Callbacks(ScriptEvent::Receive).empty());
    EXPECT_EQ(Host().Callbacks(ScriptEvent::Tick).size(), 2u);

    // An empty command name is accepted; a name another system registered is taken over, and
    // only the new owner can remove it.
    EXPECT_EQ(Run("tst", "call register_command \"\" \"e\" ; call register_command \"go\" \"f\""),
              "");
    EXPECT_EQ(Run("oth", "call register_command \"go\" \"g\""), "");
    ASSERT_EQ(Host().Commands().size(), 2u);
    EXPECT_EQ(Host().Commands().at("go").extension, "oth");
    EXPECT_EQ(Host().Commands().at("go").function, "g");
    EXPECT_EQ(Run("tst", "call unregister_command \"g\""),
              "unregister_command could not find callback function g");
    EXPECT_EQ(Run("oth", "call unregister_command \"g\""), "");
    EXPECT_EQ(Host().Commands().count("go"), 0u);

    // Timer frequencies: a Float is truncated, one beyond 32 bits is held at the largest.
    EXPECT_EQ(Run("tst", "call register_timer 2.7 \"a\" ; call register_timer 30000000000.0 \"b\""),
              "");
    ASSERT_EQ(Host().Timers().size(), 2u);
    EXPECT_EQ(Host().Timers()[0].interval, 2u);
    EXPECT_EQ(Host().Timers()[0].due, 1002u);
    EXPECT_EQ(Host().Timers()[1].interval, 2147483647u);

    // A script loaded from a script: code 1 (here a missing file) still counts as success, and
    // the nested load leaves what the outer operation gathered alone.
    Host().m_message = "earlier";
    EXPECT_EQ(Run("tst", "call load \"missing.tst\""), "");
    EXPECT_EQ(Host().m_message, "earlier");
}

TEST_F(ScriptRegistryTest, TextFiltersChainResultsAndDropCallbacksThatBreakTheRules) {
    LoadBoth();
    // "def" takes the rest of the line as the body: one function per line.
    ASSERT_EQ(Run("tst", "def none call record \"none\""), "");
    ASSERT_EQ(Run("tst", "def five return 5"), "");
    ASSERT_EQ(Run("tst", "def two return \"a\" \"b\""), "");
    ASSERT_EQ(Run("tst", "def up call record $1 ; return \"UP\""), "");
    ASSERT_EQ(Run("tst", "def broken fail \"it broke\""), "");
    for (const char* name : {"none", "five", "up", "two", "broken", "missing"}) {
        ASSERT_EQ(Run("tst", std::string("call register_event \"onReceive\" \"") + name + "\""),
                  "");
    }
    EXPECT_EQ(Host().FireReceive("line"), "UP");
    EXPECT_EQ(
        Host().m_message,
        "Failed to call callback function \"missing\" for onReceive: tst no function missing");
    ASSERT_EQ(Host().Callbacks(ScriptEvent::Receive).size(), 1u);
    EXPECT_EQ(Host().Callbacks(ScriptEvent::Receive)[0].function, "up");
    EXPECT_EQ(m_recorded, (std::vector<std::string>{"none", "line"}));

    // Each rule's message, one at a time.
    const std::pair<const char*, std::string> rules[] = {
        {"none", "Callback function \"none\" for onReceive should return 1 return value"},
        {"two", "Callback function \"two\" for onReceive should return 1 return value"},
        {"five", "Callback function \"five\" for onReceive should return a string"},
        {"broken", "Failed to call callback function \"broken\" for onReceive: it broke"},
    };
    ASSERT_EQ(Run("tst", "call unregister_event \"up\""), "");
    for (const auto& [name, message] : rules) {
        ASSERT_EQ(Run("tst", std::string("call register_event \"onReceive\" \"") + name + "\""),
                  "");
        EXPECT_EQ(Host().FireReceive("kept"), "kept");
        EXPECT_EQ(Host().m_message, message);
        EXPECT_TRUE(Host().Callbacks(ScriptEvent::Receive).empty());
    }

    // Two onSendLine filters in a row: the second receives the first's result, even when empty.
    ASSERT_EQ(Run("oth", "def a return \"from a\""), "");
    ASSERT_EQ(Run("tst", "def b call record $1 ; return $1"), "");
    ASSERT_EQ(Run("oth", "call register_event \"onSendLine\" \"a\""), "");
    ASSERT_EQ(Run("tst", "call register_event \"onSendLine\" \"b\""), "");
    m_recorded.clear();
    EXPECT_EQ(Host().FireSendLine("typed\r\n"), "from a");
    ASSERT_EQ(Run("oth", "def a return \"\""), "");
    EXPECT_EQ(Host().FireSendLine("typed\r\n"), "");
    EXPECT_EQ(m_recorded, (std::vector<std::string>{"from a", ""}));
    EXPECT_EQ(Host().m_message, "");

    ASSERT_EQ(Run("tst", "call register_event \"onPreParse\" \"none\""), "");
    EXPECT_EQ(Host().FirePreParse("text\r\n"), "text\r\n");
    EXPECT_EQ(Host().m_message,
              "Callback function \"none\" for onPreParse should return 1 return value");
}

TEST_F(ScriptRegistryTest, WalksSurviveCallbacksThatChangeTheList) {
    LoadBoth();
    ASSERT_EQ(Run("tst", "def self call unregister_event \"self\" ; return $1"), "");
    ASSERT_EQ(Run("tst", "def next call record \"next\" ; return $1"), "");
    ASSERT_EQ(Run("tst", "def adds call register_event \"onReceive\" \"next\" ; return $1"), "");
    ASSERT_EQ(Run("tst", "def dies call unregister_event \"dies\" ; fail \"and fails\""), "");
    for (const char* name : {"self", "next", "dies", "next", "adds"}) {
        ASSERT_EQ(Run("tst", std::string("call register_event \"onReceive\" \"") + name + "\""),
                  "");
    }
    // Neither the self-removal nor the failure after it skips the entry that moves up, and an
    // entry added under the walk is reached by it.
    EXPECT_EQ(Host().FireReceive("x"), "x");
    EXPECT_EQ(m_recorded, (std::vector<std::string>{"next", "next", "next"}));
    EXPECT_EQ(Host().m_message,
              "Failed to call callback function \"dies\" for onReceive: and fails");
    std::vector<std::string> left;
    for (const CallbackEntry& entry : Host().Callbacks(ScriptEvent::Receive)) {
        left.push_back(entry.function);
    }
    EXPECT_EQ(left, (std::vector<std::string>{"next", "next", "adds", "next"}));

    // Arguments of the other events.
    m_recorded.clear();
    ASSERT_EQ(Run("oth", "def show call record $1"), "");
    ASSERT_EQ(Run("oth", "def plain call record \"plain\""), "");
    for (const char* event : {"onDisconnect", "onReceivePML", "onConnected", "onConnectFailed"}) {
        const std::string function = event == std::string("onConnected") ? "plain" : "show";
        ASSERT_EQ(
            Run("oth", std::string("call register_event \"") + event + "\" \"" + function + "\""),
            "");
    }
    Host().FireDisconnect(true);
    Host().FireDisconnect(false);
    Host().FireReceivePML("tag text");
    Host().FireConnected();
    EXPECT_EQ(m_recorded, (std::vector<std::string>{"1", "0", "tag text", "plain"}));
    // A call without arguments hands the script nothing: $1 of the test system reads as 0.
    Host().FireConnectFailed();
    EXPECT_EQ(m_recorded.back(), "0");
}

// A context that reports an extension no loaded system has.
class StrayContext final : public ScriptCallContext {
  public:
    std::vector<ScriptValue> parameters;
    ~StrayContext() {
        for (ScriptValue& value : parameters) DestroyScriptValue(&value);
    }
    std::uint64_t GetParameterCount() override { return parameters.size(); }
    void GetParameter(ScriptValue* value, std::uint64_t index) override {
        *value = CopyScriptValue(parameters[index]);
    }
    void ReturnValue(const ScriptValue*) override {}
    void SetError(const char*) override {}
    const char* GetExtension() override { return "zzz"; }
};

TEST_F(ScriptRegistryTest, EntriesOfAMissingSystemAreDroppedWhenReached) {
    LoadBoth();
    StrayContext event;
    event.parameters = {MakeTextValue("onTick"), MakeTextValue("f")};
    ASSERT_TRUE(ScriptRegistry::RegisterEvent(&event, &Host()));
    StrayContext timer;
    timer.parameters = {MakeIntValue(1), MakeTextValue("t")};
    ASSERT_TRUE(ScriptRegistry::RegisterTimer(&timer, &Host()));
    StrayContext command;
    command.parameters = {MakeTextValue("zap"), MakeTextValue("c")};
    ASSERT_TRUE(ScriptRegistry::RegisterCommand(&command, &Host()));

    m_tick += 5;
    Host().FireTick();
    EXPECT_EQ(Host().m_message, "No registered script system handles .zzz files.");
    EXPECT_TRUE(Host().Callbacks(ScriptEvent::Tick).empty());
    EXPECT_TRUE(Host().Timers().empty());
    EXPECT_TRUE(Host().RunCommand("zap", ""));
    EXPECT_EQ(Host().m_message, "No registered script system handles .zzz files.");
}

TEST_F(ScriptRegistryTest, TimersRunOncePerTickWhenDueAcrossTheCounterWrap) {
    LoadBoth();
    ASSERT_EQ(Run("tst", "def fast call record \"fast\""), "");
    ASSERT_EQ(Run("tst", "def slow call record \"slow\""), "");
    ASSERT_EQ(Run("tst", "def once call record \"once\" ; call unregister_timer \"once\""), "");
    ASSERT_EQ(Run("tst", "def bad fail \"oops\""), "");
    ASSERT_EQ(Run("tst", "call register_timer 5 \"fast\" ; call register_timer 100 \"slow\""), "");
    m_tick = 1004;
    Host().FireTick();
    EXPECT_TRUE(m_recorded.empty());
    m_tick = 1050;  // ten periods late: still one call, and the next counts from now
    Host().FireTick();
    Host().FireTick();
    EXPECT_EQ(m_recorded, std::vector<std::string>{"fast"});
    EXPECT_EQ(Host().Timers()[0].due, 1055u);

    // A timer that removes itself is not rescheduled; the timers behind it keep their due
    // times, and one due on the same tick still runs.
    ASSERT_EQ(Run("tst",
                  "call register_timer 1 \"once\" ; call register_timer 100 \"slow\" ; "
                  "call register_timer 1 \"bad\""),
              "");
    m_tick = 1055;
    m_recorded.clear();
    Host().FireTick();
    EXPECT_EQ(m_recorded, (std::vector<std::string>{"fast", "once"}));
    EXPECT_EQ(Host().m_message, "Failed to call callback function \"bad\" for time event: oops");
    ASSERT_EQ(Host().Timers().size(), 3u);
    EXPECT_EQ(Host().Timers()[0].due, 1060u);
    EXPECT_EQ(Host().Timers()[1].due, 1100u);
    EXPECT_EQ(Host().Timers()[2].function, "slow");
    EXPECT_EQ(Host().Timers()[2].due, 1150u);

    // Across the wrap: due 0x10 lies ahead of 0xFFFFFFF8.
    ASSERT_EQ(Run("tst",
                  "call unregister_timer \"fast\" ; call unregister_timer \"slow\" ; "
                  "call unregister_timer \"slow\""),
              "");
    m_tick = 0xFFFFFFF0u;
    ASSERT_EQ(Run("tst", "call register_timer 32 \"slow\""), "");
    m_tick = 0xFFFFFFF8u;
    m_recorded.clear();
    Host().FireTick();
    EXPECT_TRUE(m_recorded.empty());
    EXPECT_EQ(Host().Dump(),
              "<-b>Registered timers:<-/b>\n   <-c00ff00>slow (tst script) called every 32ms, "
              "next call in 24ms\n");
    m_tick = 0x10;
    Host().FireTick();
    EXPECT_EQ(m_recorded, std::vector<std::string>{"slow"});
    EXPECT_EQ(Host().Timers()[0].due, 0x30u);
    m_tick = 0x40;  // overdue
    EXPECT_NE(Host().Dump().find("next call in 0ms\n"), std::string::npos);
}

TEST_F(ScriptRegistryTest, CommandsRunWithTheirArgumentAndAFailingOneIsDropped) {
    LoadBoth();
    ASSERT_EQ(Run("tst", "def go call record $1"), "");
    ASSERT_EQ(Run("tst", "def bad fail \"no way\""), "");
    ASSERT_EQ(
        Run("tst", "call register_command \"go\" \"go\" ; call register_command \"bad\" \"bad\""),
        "");
    EXPECT_TRUE(Host().RunCommand("go", "north now"));
    EXPECT_EQ(m_recorded, std::vector<std::string>{"north now"});
    EXPECT_FALSE(Host().RunCommand("Go", ""));
    EXPECT_FALSE(Host().RunCommand("nothing", ""));

    EXPECT_TRUE(Host().RunCommand("bad", "x"));
    EXPECT_EQ(Host().m_message,
              "Failed to call callback function \"bad\" for command: bad: no way");
    EXPECT_FALSE(Host().RunCommand("bad", "x"));
    EXPECT_EQ(Host().m_message, "");

    // A failing callback that handed its name to another registration leaves that one alone.
    ASSERT_EQ(Run("oth", "call register_command \"bad\" \"bad\""), "");
    ASSERT_EQ(Run("oth", "def bad call register_command \"bad\" \"other\" ; fail \"late\""), "");
    EXPECT_TRUE(Host().RunCommand("bad", ""));
    ASSERT_EQ(Host().Commands().count("bad"), 1u);
    EXPECT_EQ(Host().Commands().at("bad").function, "other");
}

TEST_F(ScriptRegistryTest, DumpListsCommandsCallbacksAndTimersInTheirOrder) {
    LoadBoth();
    EXPECT_EQ(Host().Dump(), "");
    ASSERT_EQ(
        Run("tst", "call register_command \"zed\" \"z\" ; call register_command \"alpha\" \"a\""),
        "");
    ASSERT_EQ(Run("oth",
                  "call register_event \"onTick\" \"t\" ; call register_event \"onReceive\" \"r\""),
              "");
    ASSERT_EQ(Run("tst", "call register_event \"onReceive\" \"r2\""), "");
    ASSERT_EQ(Run("oth", "call register_timer 250 \"beat\""), "");
    m_tick = 1100;
    EXPECT_EQ(Host().Dump(),
              "<-b>Registered commands:<-/b>\n"
              "   <-c00ff00>/alpha calls a (tst script)\n"
              "   <-c00ff00>/zed calls z (tst script)\n"
              "\n"
              "<-b>Registered onReceive callbacks:<-/b>\n"
              "   <-c00ff00>r (oth script)\n"
              "   <-c00ff00>r2 (tst script)\n"
              "<-b>Registered onTick callbacks:<-/b>\n"
              "   <-c00ff00>t (oth script)\n"
              "<-b>Registered timers:<-/b>\n"
              "   <-c00ff00>beat (oth script) called every 250ms, next call in 150ms\n");
}

}  // namespace
