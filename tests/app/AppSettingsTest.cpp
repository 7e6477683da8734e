#include <filesystem>

#include "tests/app/AppFixture.h"

namespace {

using AppSettings = AppFixture;

TEST_F(AppSettings, UserSettingsWinOnlyForKeysReadFromEitherFile) {
    WriteProgramConfig(
        "TickDelay = 50\nDefaultServer = program.example\nDefaultPort = 4000\n"
        "SearchURLPrefix = http://program/?q=\nDefaultText = 0x112233\n");
    WriteSettings(
        "TickDelay = 25\nDefaultServer = user.example\nDefaultPort = 5000\n"
        "SearchURLPrefix = http://user/?q=\n");
    ASSERT_TRUE(Start());
    EXPECT_EQ(App().TickDelay(), 25);
    EXPECT_EQ(Window().TimerPeriod(1), 25);
    EXPECT_EQ(App().SearchUrlPrefix(), "http://user/?q=");
    // Program-only keys ignore their copies in the user settings...
    EXPECT_EQ(App().DefaultServer(), "program.example");
    EXPECT_EQ(App().DefaultPort(), 4000);
    // ...which scripts still read, with the user's value first.
    EXPECT_EQ(App().GetConfigValue("DefaultServer"), "user.example");
    // A key only the program configuration has is kept from the first file.
    EXPECT_EQ(App().OutputPane().Style().textColour, 0x332211u);
}

TEST_F(AppSettings, ScrollbackLinesIsReadFromEitherFileAsAStreamNumber) {
    struct Case {
        const char* settings;
        std::int32_t lines;
    } cases[] = {{"", 1000000},
                 {"ScrollbackLines =  250 lines\n", 250},
                 {"ScrollbackLines = 0\n", 0},
                 {"ScrollbackLines = -5\n", 7000},
                 {"ScrollbackLines = many\n", 7000}};
    for (const Case& c : cases) {
        WriteProgramConfig(*c.settings ? "ScrollbackLines = 7000\n" : "");
        WriteSettings(c.settings);
        ASSERT_TRUE(Start());
        EXPECT_EQ(App().OutputPane().Style().scrollbackLines, c.lines) << c.settings;
        Shutdown();
    }
}

TEST_F(AppSettings, EmptyUserValueFallsBackToTheProgramConfiguration) {
    WriteProgramConfig("Greeting = program\n");
    ASSERT_TRUE(Start());
    App().SetConfigValue("Greeting", "");
    EXPECT_EQ(App().GetConfigValue("Greeting"), "program");
    EXPECT_EQ(App().GetConfigValue("Nowhere"), "");
    EXPECT_EQ(App().Config().Get("Greeting"), "program");
}

TEST_F(AppSettings, DoUpdateCheckIsReadFromTheProgramConfigurationOnly) {
    WriteSettings("DoUpdateCheck = yes\n");
    ASSERT_TRUE(Start());
    EXPECT_EQ(Output().find("check for updates"), std::string::npos);
    Shutdown();

    WriteProgramConfig("DoUpdateCheck = YES\n");
    ASSERT_TRUE(Start());
    EXPECT_NE(Output().find("Failed to check for updates: Invalid \"UpdateCheckURL\" in config "
                            "file.\n"),
              std::string::npos)
        << Output();
}

TEST_F(AppSettings, ColourValuesNeedLowerCaseXAndSixHexDigits) {
    struct Case {
        const char* value;
        bool applied;
    } cases[] = {{"0xFFAA00", true}, {"0xffaa00 trailing", true}, {"0XFFAA00", false},
                 {"0xffaa0", false}, {"0xffag00", false},         {"ffaa00", false}};
    for (const Case& c : cases) {
        WriteSettings(std::string("DefaultBackground = ") + c.value +
                      "\nURLTextColour = " + c.value + "\n");
        ASSERT_TRUE(Start());
        EXPECT_EQ(App().OutputPane().Style().backColour == 0x00aaffu, c.applied) << c.value;
        EXPECT_EQ(App().InputLine().Style().backColour == 0x00aaffu, c.applied) << c.value;
        EXPECT_EQ(App().OutputPane().Style().urlTextColour == 0x00aaffu, c.applied) << c.value;
        Shutdown();
    }
}

TEST_F(AppSettings, FontNeedsANumericSize) {
    WriteSettings("DefaultFontFace = Mono Sans\n");
    ASSERT_TRUE(Start());
    EXPECT_EQ(App().OutputPane().Style().fontFace, "Courier New");
    Shutdown();
    WriteSettings("DefaultFontFace = Mono Sans\nDefaultFontSize = 12pt\n");
    ASSERT_TRUE(Start());
    EXPECT_EQ(App().OutputPane().Style().fontFace, "Mono Sans");
    EXPECT_EQ(App().InputLine().Style().fontFace, "Mono Sans");
    EXPECT_EQ(App().OutputPane().Style().fontSize, 12u);
}

TEST_F(AppSettings, FontSizesOutsideOneToTwoHundredPointsAreIgnored) {
    const struct {
        const char* value;
        unsigned applied;
    } cases[] = {{"-5", 10}, {"0", 10}, {"201", 10}, {"4294967291", 10}, {"1", 1}, {"200", 200}};
    for (const auto& c : cases) {
        WriteSettings(std::string("DefaultFontFace = Mono Sans\nDefaultFontSize = ") + c.value +
                      "\n");
        ASSERT_TRUE(Start());
        EXPECT_EQ(App().OutputPane().Style().fontSize, c.applied) << c.value;
        EXPECT_EQ(App().InputLine().Style().fontSize, c.applied) << c.value;
        Shutdown();
    }
}

TEST_F(AppSettings, UrlFormatTagsGiveTheLinkEffects) {
    WriteSettings("URLFormat = <-b><-i>\n");
    ASSERT_TRUE(Start());
    EXPECT_EQ(App().OutputPane().Style().urlEffects, CharFormat::kBold | CharFormat::kItalic);
    Shutdown();
    WriteSettings("URLFormat =\n");
    ASSERT_TRUE(Start());
    EXPECT_EQ(App().OutputPane().Style().urlEffects, CharFormat::kUnderline);
}

TEST_F(AppSettings, InvalidUrlPrefixesAreReportedOnceThePaneExists) {
    WriteProgramConfig("URLPrefixes = \"http://\", \"www.\n");
    WriteSettings("TickDelay = 100\n");
    ASSERT_TRUE(Start());
    const std::string output = Output();
    const std::size_t banner = output.find("---\n");
    const std::size_t error = output.find("Invalid URLPrefixes config option\n");
    ASSERT_NE(error, std::string::npos) << output;
    EXPECT_LT(banner, error);
    EXPECT_EQ(output.find("Invalid URLPrefixes", error + 1), std::string::npos) << output;
    EXPECT_TRUE(App().OutputPane().UrlPrefixes().empty());
}

TEST_F(AppSettings, UrlPrefixesComeFromTheProgramConfigurationLowerCased) {
    WriteProgramConfig("URLPrefixes = \"HTTP://\", \"www.\"\n");
    WriteSettings("URLPrefixes = \"ftp://\"\n");
    ASSERT_TRUE(Start());
    EXPECT_EQ(App().OutputPane().UrlPrefixes(), (std::vector<std::string>{"http://", "www."}));
}

TEST_F(AppSettings, SettingsAreWrittenAtMostOncePerTickAndOnlyWhenChanged) {
    ASSERT_TRUE(Start());
    App().SetConfigValue("a", "1");
    App().SetConfigValue("b", "2");
    App().SetConfigValue("a", "3");
    EXPECT_FALSE(std::filesystem::exists(SettingsFile()));
    App().OnTick();
    const std::string written = TempDir::Read(SettingsFile());
    EXPECT_NE(written.find("a = 3\nb = 2\n"), std::string::npos) << written;

    // Nothing changed: the next ticks do not write again.
    std::filesystem::remove(SettingsFile());
    App().OnTick();
    App().OnTick();
    EXPECT_FALSE(std::filesystem::exists(SettingsFile()));
}

TEST_F(AppSettings, ShutdownWritesTheWindowRectangleOnceMore) {
    ASSERT_TRUE(Start());
    App().SetConfigValue("kept", "yes");
    App().OnTick();
    Window().SetWindowRect(Rect{40, 30, 840, 630});
    Window().RequestClose();
    EXPECT_FALSE(std::filesystem::exists(SettingsFile()) &&
                 TempDir::Read(SettingsFile()).find("Window.X") != std::string::npos);
    Shutdown();
    const std::string written = TempDir::Read(SettingsFile());
    EXPECT_NE(written.find("Window.H = 600\nWindow.W = 800\nWindow.X = 40\nWindow.Y = 30\n"),
              std::string::npos)
        << written;
    EXPECT_NE(written.find("kept = yes\n"), std::string::npos);
}

TEST_F(AppSettings, NegativeWindowCoordinatesRoundTrip) {
    WriteSettings("Window.X = -1600\nWindow.Y = -20\nWindow.W = 900\nWindow.H = 500\n");
    ASSERT_TRUE(Start());
    EXPECT_TRUE(App().HasSavedWindowRect());
    const WindowCreateParams& params = Window().Params();
    EXPECT_FALSE(params.defaultPosition);
    EXPECT_EQ(params.x, -1600);
    EXPECT_EQ(params.y, -20);
    EXPECT_EQ(params.width, 900);
    EXPECT_EQ(params.height, 500);
    Shutdown();
    const std::string written = TempDir::Read(SettingsFile());
    EXPECT_NE(written.find("Window.H = 500\nWindow.W = 900\nWindow.X = -1600\nWindow.Y = -20\n"),
              std::string::npos)
        << written;
}

TEST_F(AppSettings, WindowRectangleIsKeptWhenTheLoopEndsWithTheWindowOpen) {
    ASSERT_TRUE(Start());
    Window().SetWindowRect(Rect{-5, 7, 395, 507});
    Shutdown();
    EXPECT_NE(TempDir::Read(SettingsFile())
                  .find("Window.H = 500\nWindow.W = 400\nWindow.X = -5\n"
                        "Window.Y = 7\n"),
              std::string::npos);
}

TEST_F(AppSettings, AnIncompleteWindowRectangleIsNotUsed) {
    WriteSettings("Window.X = 10\nWindow.Y = 10\nWindow.W = wide\nWindow.H = 500\n");
    ASSERT_TRUE(Start());
    EXPECT_FALSE(App().HasSavedWindowRect());
    EXPECT_TRUE(Window().Params().defaultPosition);
}

TEST_F(AppSettings, OutOfRangeNumbersKeepTheDefaults) {
    WriteProgramConfig("DefaultPort = 70000\nTickDelay = 0\n");
    WriteSettings("Window.X = 99999999999\nWindow.Y = 0\nWindow.W = 10\nWindow.H = 10\n");
    ASSERT_TRUE(Start());
    EXPECT_EQ(App().DefaultPort(), 23);
    EXPECT_EQ(App().TickDelay(), 100);
    EXPECT_FALSE(App().HasSavedWindowRect());
}

}  // namespace
