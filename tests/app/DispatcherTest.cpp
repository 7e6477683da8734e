#include "tests/app/AppFixture.h"

namespace {

// Output added by running `text` through the dispatcher.
class DispatcherRun : public AppFixture {
  protected:
    std::string Run(const std::string& text) {
        const std::string before = Output();
        App().SubmitText(text);
        const std::string after = Output();
        return after.substr(before.size());
    }
};

TEST_F(DispatcherRun, CommandNamesAreCaseFolded) {
    ASSERT_TRUE(Start());
    const std::string help = Run("/help\r\n");
    EXPECT_EQ(Run("/HELP\r\n"), help);
    EXPECT_EQ(Run("/Help\r\n"), help);
    EXPECT_EQ(Run("/help CONNECT\r\n"),
              "/connect:\nConnect to a server, optionally specifying a host and port.\nUsage:\n"
              "   /connect [host[:port]]\n");
}

TEST_F(DispatcherRun, HelpListsTheFourteenBuiltinsInByteOrder) {
    ASSERT_TRUE(Start());
    EXPECT_EQ(Run("/help\r\n"),
              "Registered commands:\n   /:\n   /checkupdates\n   /connect\n   /disconnect\n"
              "   /downloads\n   /dump\n   /help\n   /load\n   /loadplugin\n   /reload\n"
              "   /resetpml\n   /telnet\n   /trust\n   /unloadplugin\n");
    EXPECT_EQ(App().BuiltinCommands().size(), 14u);
}

TEST_F(DispatcherRun, HelpOfACommandIsYellowAndUnknownNamesSayUnknown) {
    ASSERT_TRUE(Start());
    EXPECT_EQ(Run("/help load\r\n"),
              "/load:\nLoad a script file from the scripts directory. The file extension is "
              "optional.\nUsage:\n   /load filename\n");
    EXPECT_EQ(FormatOf("/load:").textColour, 0x00ffffu);
    EXPECT_EQ(Run("/help Nothing\r\n"),
              "Unknown command: nothing. Type /help for a list of commands\n");
}

TEST_F(DispatcherRun, UnknownCommandOnlyItsFirstWordsAreRed) {
    ASSERT_TRUE(Start());
    EXPECT_EQ(Run("/\r\n"), "Unknown command: . Type /help for a list of commands\n");
    Run("/frobnicate now\r\n");
    EXPECT_EQ(FormatOf("Unknown command: frob").textColour, 0x0000ffu);
    EXPECT_EQ(FormatOf("frobnicate").textColour, App().OutputPane().Style().textColour);
}

TEST_F(DispatcherRun, DoubleSlashIsServerTextAndColonCodeIsAName) {
    ASSERT_TRUE(Start());
    EXPECT_EQ(Run("//say hi\r\n"), "//say hi\n");
    EXPECT_EQ(Run("/:print(1)\r\n"),
              "Unknown command: :print(1). Type /help for a list of commands\n");
    EXPECT_EQ(Run("/: print(1)\r\n"), "No script system loaded\n");
}

TEST_F(DispatcherRun, LoadAndReloadShowTheirHelpWhenMisused) {
    ASSERT_TRUE(Start());
    EXPECT_EQ(Run("/load\r\n"),
              "/load:\nLoad a script file from the scripts directory. The file extension is "
              "optional.\nUsage:\n   /load filename\n");
    EXPECT_EQ(Run("/reload now\r\n"), "/reload:\nReload all scripts.\nUsage:\n   /reload\n");
    EXPECT_EQ(Run("/load x\r\n"), "No script system loaded\n");
    EXPECT_EQ(Run("/reload\r\n"), "No script system loaded\n");
    EXPECT_EQ(Run("/dump\r\n"), "No script system loaded\n");
}

TEST_F(DispatcherRun, OfflineLinesAreShownWithTheirTagsApplied) {
    ASSERT_TRUE(Start());
    EXPECT_EQ(Run("\r\n"), "\n");
    EXPECT_EQ(Run("<-b>bold<-/b> plain\r\n"), "bold plain\n");
    EXPECT_EQ(FormatOf("bold").effects & CharFormat::kBold, CharFormat::kBold);
    EXPECT_EQ(FormatOf(" plain").effects & CharFormat::kBold, 0u);
}

TEST_F(DispatcherRun, PastedLinesRunInOrderWithCommandsInBetween) {
    ASSERT_TRUE(Start());
    EXPECT_EQ(Run("first\r\n/nosuch\r\nlast"),
              "first\nUnknown command: nosuch. Type /help for a list of commands\nlast");
}

TEST_F(DispatcherRun, ArgumentsKeepInnerAndLeadingSpaces) {
    ASSERT_TRUE(Start());
    // The second space is part of the argument, so the name is not found.
    EXPECT_EQ(Run("/help  load\r\n"),
              "Unknown command:  load. Type /help for a list of commands\n");
}

TEST_F(DispatcherRun, ResetPmlReleasesHeldText) {
    ASSERT_TRUE(Start());
    App().OutputPane().Append("before \x19unclosed tag");
    EXPECT_EQ(Output().find("before"), std::string::npos);
    EXPECT_EQ(Run("/resetpml\r\n"), "before unclosed tagPML tags reset.\n");
}

TEST_F(DispatcherRun, DownloadsListsNothingPending) {
    ASSERT_TRUE(Start());
    EXPECT_EQ(Run("/downloads\r\n"), "Active downloads:\n+ No downloads in progress.\n");
}

}  // namespace
