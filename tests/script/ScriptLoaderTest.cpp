#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>

#include "ScriptHostFixture.h"

namespace {

using ScriptLoader = ScriptHostFixture;

TEST_F(ScriptLoader, FindsNoSystemInAnEmptyDirectoryOrAmongBrokenLibraries) {
    EXPECT_FALSE(Host().LoadSystems());
    EXPECT_EQ(Host().m_message, "Could not find any suitable scripting systems");

    WriteFile("x.so", "this is no library at all, just some bytes");
    ASSERT_EQ(chmod("x.so", 0755), 0);
    WriteFile("notes.txt", "not a library name");
    EXPECT_FALSE(Host().LoadSystems());
    const std::string prefix =
        "Could not find any suitable scripting systems:\r\n* Could not load x.so: ";
    const std::string& message = Host().m_message;
    ASSERT_EQ(message.compare(0, prefix.size(), prefix), 0) << message;
    const std::string reason = message.substr(prefix.size());
    EXPECT_FALSE(reason.empty());
    EXPECT_EQ(reason.find("x.so"), std::string::npos) << "the path stays out: " << reason;
    EXPECT_EQ(reason.find_first_of("\r\n"), std::string::npos);
}

TEST_F(ScriptLoader, KeepsTheFirstOfTwoSystemsWithOneExtensionAndDropsOtherLibrariesQuietly) {
    Install("TestScript", "a.so");
    Install("TestScript", "b.so");
    WriteFile("c.so", "garbage");
    ASSERT_EQ(chmod("c.so", 0755), 0);
    ASSERT_TRUE(Host().LoadSystems());
    EXPECT_EQ(Host().m_message,
              "Script system reports the following warnings:\r\n* Script extension .tst "
              "registered by both a.so and b.so. Using a.so");
    ASSERT_EQ(Host().Systems().size(), 1u);
    EXPECT_EQ(Host().Systems()[0].fileName, "a.so");
    EXPECT_EQ(Host().Systems()[0].extension, "tst");
    // The registry's functions reached the system that stayed.
    EXPECT_EQ(Run("tst", "call register_command \"go\" \"f\""), "");
    EXPECT_EQ(Host().Commands().count("go"), 1u);
}

TEST_F(ScriptLoader, RefusesLibrariesOthersMayWriteOrOwnWithoutRunningThem) {
    // A name of its own: the loader matches names it already loaded in this process.
    Install("TestScript", "refused.so");
    ASSERT_EQ(chmod("refused.so", 0775), 0);
    EXPECT_FALSE(Host().LoadSystems());
    EXPECT_EQ(Host().m_message,
              "Could not find any suitable scripting systems:\r\n* Could not load refused.so: "
              "refused: other users may write this file");
    ASSERT_EQ(chmod("refused.so", 0757), 0);
    EXPECT_FALSE(Host().LoadSystems());
    EXPECT_FALSE(std::filesystem::exists("tst.loaded")) << "the library's code ran";

    if (geteuid() == 0 && chown("refused.so", 65534, 65534) == 0) {
        ASSERT_EQ(chmod("refused.so", 0755), 0);
        EXPECT_FALSE(Host().LoadSystems());
        EXPECT_EQ(Host().m_message,
                  "Could not find any suitable scripting systems:\r\n* Could not load refused.so: "
                  "refused: the file belongs to another user");
        EXPECT_FALSE(std::filesystem::exists("tst.loaded"));
        ASSERT_EQ(chown("refused.so", 0, 0), 0);
    }

    // The same file, once only its owner may write it, loads and runs.
    ASSERT_EQ(chmod("refused.so", 0755), 0);
    EXPECT_TRUE(Host().LoadSystems()) << Host().m_message;
    EXPECT_TRUE(std::filesystem::exists("tst.loaded"));
}

TEST_F(ScriptLoader, LoadScriptChoosesTheSystemByEverythingAfterTheFirstDot) {
    LoadBoth();
    EXPECT_EQ(Host().LoadScript("test"), 4);
    EXPECT_EQ(Host().m_message,
              "Script \"test\" has no extension; unable to determine script system to use");
    // The name reaches the system unchanged; the test system answers code 1 for a missing file.
    EXPECT_EQ(Host().LoadScript("Test.TST"), 1);
    EXPECT_EQ(Host().m_message, "tst could not open Test.TST");
    EXPECT_EQ(Host().LoadScript("x.y.tst"), 4);
    EXPECT_EQ(Host().m_message, "No registered script system handles .y.tst files.");

    WriteFile("good.oth", "call record \"ran\"\n");
    WriteFile("bad.tst", "call record \"first\"\nfail \"broken\"\n");
    EXPECT_EQ(Host().LoadScript("good.oth"), 0);
    EXPECT_EQ(Host().m_message, "");
    EXPECT_EQ(Host().LoadScript("bad.tst"), 3);
    EXPECT_EQ(Host().m_message, "bad.tst:2: broken");
    EXPECT_EQ(m_recorded, (std::vector<std::string>{"ran", "first"}));
}

TEST_F(ScriptLoader, ExecuteOffersTheLineToEachSystemUntilOneRunsIt) {
    EXPECT_FALSE(Host().Execute("call record 1"));
    EXPECT_EQ(Host().m_message, "");

    LoadBoth();
    EXPECT_TRUE(Host().Execute("need oth ; call record \"ran\""));
    EXPECT_EQ(Host().m_message, "");
    EXPECT_EQ(m_recorded, std::vector<std::string>{"ran"});
    EXPECT_FALSE(Host().Execute("fail \"no\""));
    EXPECT_EQ(Host().m_message, "no\r\nno");
}

TEST_F(ScriptLoader, AutoexecRunsInLoadOrderAndGathersEveryFailure) {
    LoadBoth();
    WriteFile("autoexec.tst", "call record \"tst\"\n");
    WriteFile("autoexec.oth", "call record \"oth\"\n");
    EXPECT_TRUE(Host().RunAutoexec());
    EXPECT_EQ(m_recorded, (std::vector<std::string>{"tst", "oth"}));

    std::filesystem::remove("autoexec.tst");
    std::filesystem::remove("autoexec.oth");
    EXPECT_FALSE(Host().RunAutoexec());
    EXPECT_EQ(Host().m_message,
              "tst could not open autoexec.tst\r\noth could not open autoexec.oth");
}

TEST_F(ScriptLoader, NativeFunctionsAreOfferedToAndTakenFromEverySystem) {
    LoadBoth();
    PluginFunctionInfo info{};
    info.function = &Record;
    info.user = &m_recorded;
    std::snprintf(info.name, sizeof info.name, "unwanted");
    EXPECT_FALSE(Host().RegisterFunction(info));
    EXPECT_EQ(Host().m_message, "tst refuses unwanted\r\noth refuses unwanted");

    // A name that fills the whole field without a terminating NUL is read to the field's end.
    std::memset(info.name, 'n', sizeof info.name);
    EXPECT_TRUE(Host().RegisterFunction(info)) << Host().m_message;
    const std::string longName(sizeof info.name, 'n');
    EXPECT_EQ(Run("oth", "call " + longName + " 7"), "");
    EXPECT_EQ(m_recorded, std::vector<std::string>{"7"});

    EXPECT_FALSE(Host().UnregisterFunction("absent"));
    EXPECT_EQ(Host().m_message, "tst has no absent\r\noth has no absent");
    EXPECT_TRUE(Host().UnregisterFunction("record"));
    EXPECT_EQ(Host().m_message, "");
    EXPECT_EQ(Run("tst", "call record 1"), "tst unknown native record");
}

TEST_F(ScriptLoader, ReloadEmptiesTheRegistryAndTheScriptsFillItAgain) {
    LoadBoth();
    WriteFile("setup.tst",
              "call register_command \"go\" \"f\"\ncall register_timer 10 \"t\"\n"
              "call register_event \"onTick\" \"t\"\n");
    ASSERT_EQ(Host().LoadScript("setup.tst"), 0);
    EXPECT_EQ(Run("oth", "call register_event \"onTick\" \"gone\""), "");
    ASSERT_EQ(Host().Callbacks(ScriptEvent::Tick).size(), 2u);

    EXPECT_TRUE(Host().Reload()) << Host().m_message;
    EXPECT_EQ(Host().Commands().size(), 1u);
    EXPECT_EQ(Host().Timers().size(), 1u);
    ASSERT_EQ(Host().Callbacks(ScriptEvent::Tick).size(), 1u);
    EXPECT_EQ(Host().Callbacks(ScriptEvent::Tick)[0].extension, "tst");

    Host().UnloadSystems();
    EXPECT_TRUE(Host().Systems().empty());
    EXPECT_TRUE(Host().Commands().empty());
    EXPECT_EQ(Host().FindSystem("tst"), nullptr);
    EXPECT_EQ(Host().m_message, "No registered script system handles .tst files.");
}

}  // namespace
