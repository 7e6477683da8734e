// The native functions the application offers to scripts, called the way a script system
// calls them: through their table entry, with a call context that records what they do.
#include <cstring>
#include <string>
#include <vector>

#include "app/AppScriptFunctions.h"
#include "tests/app/AppFixture.h"
#include "tests/support/RecordingPaneControl.h"
#include "tests/support/ScriptCallRecorder.h"

namespace {

class AppScriptFunctions : public AppFixture {
  protected:
    bool Call(const char* name, ScriptCallRecorder& call) {
        for (const PluginFunctionInfo& info : ApplicationFunctions(App())) {
            if (std::strcmp(info.name, name) == 0) return info.function(&call, info.user);
        }
        ADD_FAILURE() << "no function " << name;
        return false;
    }
    // Calls the function and returns the error it set ("" for none), expecting the result.
    std::string CallFailing(const char* name, ScriptCallRecorder& call) {
        EXPECT_FALSE(Call(name, call)) << name;
        return call.error;
    }
    RecordingPaneControl& Control(CRichPane& pane) {
        return static_cast<RecordingPaneControl&>(*pane.Control());
    }
};

// Sets the process-wide send nesting for one test and puts it back.
struct SendNestingAt {
    explicit SendNestingAt(std::int32_t depth) { g_sendNesting = depth; }
    ~SendNestingAt() { g_sendNesting = 0; }
};

TEST_F(AppScriptFunctions, SixteenFunctionsInTableOrderWithTheApplicationAsUserPointer) {
    ASSERT_TRUE(Start());
    const std::vector<std::string> expected = {"flashWindow",
                                               "showWindow",
                                               "playSound",
                                               "beep",
                                               "print",
                                               "println",
                                               "send",
                                               "sendln",
                                               "clear",
                                               "isConnected",
                                               "getVersion",
                                               "getConfigValue",
                                               "setConfigValue",
                                               "enterHighPerfMode",
                                               "exitHighPerfMode",
                                               "setPasswordInput"};
    std::vector<std::string> names;
    for (const PluginFunctionInfo& info : ApplicationFunctions(App())) {
        names.emplace_back(info.name);
        EXPECT_EQ(info.user, &App());
        EXPECT_NE(info.function, nullptr);
    }
    EXPECT_EQ(names, expected);
}

TEST_F(AppScriptFunctions, PrintShowsOnlyStringsWithTagsConvertedAndPrintlnResetsTheFormat) {
    ASSERT_TRUE(Start());
    RecordingPaneControl& output = Control(App().OutputPane());
    const std::size_t start = output.Text().size();

    ScriptCallRecorder mixed;
    mixed.Int(7).Text("<-b>bold").Float(2.5f).Text(" still");
    EXPECT_TRUE(Call("print", mixed));
    const int insertions = output.insertions;
    ScriptCallRecorder nothing;
    EXPECT_TRUE(Call("print", nothing));
    EXPECT_EQ(output.insertions, insertions);
    ScriptCallRecorder endLine;
    EXPECT_TRUE(Call("println", endLine));
    ScriptCallRecorder after;
    after.Text("after");
    EXPECT_TRUE(Call("print", after));

    EXPECT_EQ(output.Runs(start, output.Text().size()), "[b]bold still\\r\\n[]after");
    EXPECT_TRUE(mixed.error.empty());
}

TEST_F(AppScriptFunctions, SendTakesTheTypedLineRoadUntilNestedTooDeep) {
    ASSERT_TRUE(Start());
    ScriptCallRecorder help;
    help.Text("/help");
    EXPECT_TRUE(Call("send", help));
    EXPECT_NE(Output().find("Registered commands:"), std::string::npos);

    // Offline a line is shown with its tags applied; non-strings are left out.
    ScriptCallRecorder line;
    line.Text("say ").Int(3).Text("<-i>hi");
    EXPECT_TRUE(Call("sendln", line));
    EXPECT_TRUE(Output().ends_with("say hi\n")) << Output();
    EXPECT_TRUE(FormatOf("hi").effects & CharFormat::kItalic);

    {
        // Inside sixteen nested sends: no command, no tag conversion.
        SendNestingAt deep(kMaxSendNesting);
        ScriptCallRecorder raw;
        raw.Text("/help <-b>raw");
        EXPECT_TRUE(Call("sendln", raw));
        EXPECT_EQ(g_sendNesting, kMaxSendNesting);
    }
    EXPECT_TRUE(Output().ends_with("/help <-b>raw\n")) << Output();

    ScriptedTelnetServer server;
    ASSERT_TRUE(Connect(server));
    ScriptCallRecorder connected;
    EXPECT_TRUE(Call("isConnected", connected));
    EXPECT_EQ(connected.ResultText(), "1");
    ScriptCallRecorder look;
    look.Text("look");
    EXPECT_TRUE(Call("send", look));
    {
        SendNestingAt deep(kMaxSendNesting);
        ScriptCallRecorder command;
        command.Text("/quit\r\n");
        EXPECT_TRUE(Call("send", command));
    }
    // "send" adds no line end; the nested text reaches the server as it was.
    EXPECT_TRUE(server.WaitForReceived("look/quit\r\n")) << server.Received();
}

TEST_F(AppScriptFunctions, ClearVersionAndConnectionState) {
    ASSERT_TRUE(Start());
    ScriptCallRecorder state;
    EXPECT_TRUE(Call("isConnected", state));
    ASSERT_EQ(state.results.size(), 1u);
    EXPECT_EQ(state.results[0].type, ScriptValue::Int);
    EXPECT_EQ(state.ResultText(), "0");

    ScriptCallRecorder version;
    version.Int(1);
    EXPECT_TRUE(Call("getVersion", version));
    EXPECT_EQ(version.ResultText(), "OstrakClient Version 2.11 x64");

    ASSERT_FALSE(Output().empty());
    ScriptCallRecorder clear;
    EXPECT_TRUE(Call("clear", clear));
    EXPECT_EQ(Output(), "");
    ScriptCallRecorder again;
    again.Text("fresh");
    EXPECT_TRUE(Call("println", again));
    EXPECT_EQ(Output(), "fresh\n");
}

TEST_F(AppScriptFunctions, ConfigValuesFallBackToTheProgramConfigurationAndMarkSettingsDirty) {
    WriteProgramConfig("OnlyProgram = fromProgram\nBoth = programValue\nEmptyUser = program\n");
    WriteSettings("Both = userValue\nEmptyUser = \n");
    ASSERT_TRUE(Start());
    const auto get = [&](const char* key) {
        ScriptCallRecorder call;
        call.Text(key);
        EXPECT_TRUE(Call("getConfigValue", call));
        EXPECT_EQ(call.results.size(), 1u);
        return call.ResultText();
    };
    EXPECT_EQ(get("OnlyProgram"), "fromProgram");
    EXPECT_EQ(get("Both"), "userValue");
    EXPECT_EQ(get("EmptyUser"), "program");
    EXPECT_EQ(get("Neither"), "");

    ScriptCallRecorder none;
    EXPECT_EQ(CallFailing("getConfigValue", none), "getConfigValue expects 1 parameter");
    ScriptCallRecorder number;
    number.Int(1);
    EXPECT_EQ(CallFailing("getConfigValue", number),
              "getConfigValue expects a string as the first parameter");
    EXPECT_TRUE(number.results.empty());

    ScriptCallRecorder one;
    one.Text("Both");
    EXPECT_EQ(CallFailing("setConfigValue", one), "setConfigValue expects 2 parameters");
    ScriptCallRecorder badKey;
    badKey.Int(1).Text("x");
    EXPECT_EQ(CallFailing("setConfigValue", badKey),
              "setConfigValue expects a string as the first parameter");
    EXPECT_EQ(badKey.fetched, 1);  // stops at the first mismatch
    ScriptCallRecorder badValue;
    badValue.Text("Both").Int(3);
    EXPECT_EQ(CallFailing("setConfigValue", badValue),
              "setConfigValue expects a string as the second parameter");
    EXPECT_FALSE(App().SettingsDirty());
    EXPECT_EQ(get("Both"), "userValue");

    ScriptCallRecorder set;
    set.Text("Both").Text("changed");
    EXPECT_TRUE(Call("setConfigValue", set));
    EXPECT_TRUE(App().SettingsDirty());
    EXPECT_EQ(get("Both"), "changed");
    App().OnTick();
    EXPECT_FALSE(App().SettingsDirty());
    EXPECT_NE(TempDir::Read(SettingsFile()).find("Both = changed"), std::string::npos);
}

TEST_F(AppScriptFunctions, HighPerformanceModeCountsEntriesAndWarnsAboutParameters) {
    ASSERT_TRUE(Start());
    ScriptCallRecorder exitAtZero;
    EXPECT_TRUE(Call("exitHighPerfMode", exitAtZero));
    EXPECT_EQ(App().HighPerfCount(), 0);

    ScriptCallRecorder first;
    ScriptCallRecorder second;
    second.Int(5);
    EXPECT_TRUE(Call("enterHighPerfMode", first));
    EXPECT_TRUE(Call("enterHighPerfMode", second));
    EXPECT_EQ(second.error, "enterHighPerfMode expects no parameters. Parameters ignored");
    EXPECT_TRUE(first.error.empty());
    EXPECT_EQ(App().HighPerfCount(), 2);

    ScriptCallRecorder exitOnce;
    exitOnce.Text("x");
    EXPECT_TRUE(Call("exitHighPerfMode", exitOnce));
    EXPECT_EQ(exitOnce.error, "exitHighPerfMode expects no parameters. Parameters ignored");
    EXPECT_TRUE(App().IsHighPerfMode());
    ScriptCallRecorder exitTwice;
    EXPECT_TRUE(Call("exitHighPerfMode", exitTwice));
    EXPECT_FALSE(App().IsHighPerfMode());
}

TEST_F(AppScriptFunctions, PasswordInputTruncatesFloatsAndChangesTheControlOnlyOnChange) {
    ASSERT_TRUE(Start());
    RecordingPaneControl& input = Control(App().InputLine());
    const int changes = input.passwordCharChanges;
    for (int i = 0; i < 2; ++i) {
        ScriptCallRecorder on;
        on.Int(1);
        EXPECT_TRUE(Call("setPasswordInput", on));
    }
    EXPECT_TRUE(App().InputLine().IsPasswordMode());
    EXPECT_EQ(input.passwordChar, CRichPane::kPasswordChar);
    EXPECT_EQ(input.passwordCharChanges, changes + 1);

    ScriptCallRecorder half;
    half.Float(0.5f);
    EXPECT_TRUE(Call("setPasswordInput", half));
    EXPECT_FALSE(App().InputLine().IsPasswordMode());
    EXPECT_EQ(input.passwordChar, 0);

    // Far beyond any integer: still a number that is not zero.
    ScriptCallRecorder huge;
    huge.Float(-1e30f);
    EXPECT_TRUE(Call("setPasswordInput", huge));
    EXPECT_TRUE(App().InputLine().IsPasswordMode());
    EXPECT_EQ(input.passwordCharChanges, changes + 3);

    ScriptCallRecorder text;
    text.Text("1");
    EXPECT_EQ(CallFailing("setPasswordInput", text),
              "setPasswordInput expects a boolean as the first parameter");
    ScriptCallRecorder two;
    two.Int(0).Int(0);
    EXPECT_EQ(CallFailing("setPasswordInput", two), "setPasswordInput expects 1 parameter");
    EXPECT_TRUE(App().InputLine().IsPasswordMode());
}

TEST_F(AppScriptFunctions, AttentionAndSoundsGoThroughTheDesktopPorts) {
    ASSERT_TRUE(Start());
    ScriptCallRecorder flash;
    flash.Int(3);
    ScriptCallRecorder raise;
    ScriptCallRecorder beep;
    EXPECT_TRUE(Call("flashWindow", flash));
    EXPECT_TRUE(Call("showWindow", raise));
    EXPECT_TRUE(Call("beep", beep));
    EXPECT_EQ(Window().Flashes(), 1);
    EXPECT_EQ(Window().Raises(), 1);
    EXPECT_EQ(m_platform.m_beeps, 1);

    ScriptCallRecorder sound;
    sound.Text("sounds/ding.wav");
    EXPECT_TRUE(Call("playSound", sound));
    // A wrong type or count fails without a message and plays nothing.
    ScriptCallRecorder number;
    number.Int(1);
    ScriptCallRecorder none;
    ScriptCallRecorder two;
    two.Text("a.wav").Text("b.wav");
    EXPECT_EQ(CallFailing("playSound", number), "");
    EXPECT_EQ(CallFailing("playSound", none), "");
    EXPECT_EQ(CallFailing("playSound", two), "");
    EXPECT_EQ(m_platform.m_sounds, std::vector<std::string>{"sounds/ding.wav"});
}

}  // namespace
