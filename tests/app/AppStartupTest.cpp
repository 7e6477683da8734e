#include <filesystem>

#include "tests/app/AppFixture.h"
#include "tests/support/TempDir.h"

namespace {

constexpr Colour kGreen = 0x00ff00;
constexpr Colour kRed = 0x0000ff;  // 0x00BBGGRR

const std::string kBanner =
    "Welcome to OstrakClient v2\nType /help for a list of commands\n"
    "---------------------------------\n";

using AppStartup = AppFixture;

TEST_F(AppStartup, BannerInGreenThenTheMissingProgramConfigurationInRed) {
    ASSERT_TRUE(Start());
    const std::string output = Output();
    EXPECT_EQ(output.rfind(kBanner, 0), 0u) << output;
    EXPECT_NE(output.find(kBanner + "Failed to load OstrakClient.cfg\n"), std::string::npos)
        << output;
    EXPECT_EQ(FormatOf("Welcome").textColour, kGreen);
    EXPECT_EQ(FormatOf("Type /help").textColour, kGreen);
    EXPECT_EQ(FormatOf("---").textColour, App().OutputPane().Style().textColour);
    EXPECT_EQ(FormatOf("Failed to load").textColour, kRed);
    // Without a script library the client goes on without scripting.
    EXPECT_NE(output.find("Failed to initialise script system: "), std::string::npos);
}

TEST_F(AppStartup, PresentProgramConfigurationAndMissingSettingsShowNothing) {
    WriteProgramConfig("DefaultPort = 4000\n");
    ASSERT_TRUE(Start());
    EXPECT_EQ(Output().find("Failed to load"), std::string::npos);
    EXPECT_EQ(App().DefaultPort(), 4000);
    // A missing Settings.cfg is normal; the folder exists and the file waits for a change.
    EXPECT_FALSE(std::filesystem::exists(SettingsFile()));
    EXPECT_TRUE(std::filesystem::is_directory(m_dir.Path() + "/config/OstrakClient"));
    EXPECT_EQ(App().SettingsPath(), SettingsFile());
    App().SetConfigValue("greeting", "hello");
    App().OnTick();
    EXPECT_NE(TempDir::Read(SettingsFile()).find("greeting = hello\n"), std::string::npos);
}

TEST_F(AppStartup, WindowIsTitledAndSizedForOneHundredColumnsWithoutAStoredRectangle) {
    ASSERT_TRUE(Start());
    const WindowCreateParams& params = Window().Params();
    EXPECT_EQ(params.title, "OstrakClient v2");
    EXPECT_TRUE(params.defaultPosition);
    EXPECT_EQ(params.width, 100 * FixedTextMeasure::kCharWidth + FixedTextMeasure::kFrameWidth +
                                HeadlessPlatform::kFrame.width);
    EXPECT_EQ(params.height, 320 + HeadlessPlatform::kFrame.height);
    EXPECT_TRUE(Window().Shown());
    EXPECT_EQ(Window().TimerPeriod(1), 100);
}

TEST_F(AppStartup, TheTwoPanesAndTheStripShareTheClientArea) {
    ASSERT_TRUE(Start());
    const Size client = Window().GetClientSize();
    EXPECT_EQ(App().SplitterRect(),
              (Rect{0, client.height - 66, client.width, client.height - 64}));
    EXPECT_EQ(App().OutputPane().Control()->GetClientSize(),
              (Size{client.width, client.height - 66}));
    EXPECT_EQ(App().InputLine().Control()->GetClientSize(), (Size{client.width, 64}));
}

TEST_F(AppStartup, WindowCreationFailureShowsItsMessageBox) {
    m_platform.m_createError = 1400;
    EXPECT_FALSE(Start());
    ASSERT_EQ(m_platform.m_messageBoxes.size(), 1u);
    EXPECT_EQ(m_platform.m_messageBoxes[0].text,
              "CreateWindowEx() failed. GetLastError() returns 1400");
    EXPECT_EQ(m_platform.m_messageBoxes[0].caption, "Error");
    EXPECT_EQ(m_platform.m_unregistered, 1);
}

TEST_F(AppStartup, ClassRegistrationFailureShowsItsMessageBox) {
    m_platform.m_registerError = 1410;
    EXPECT_FALSE(Start());
    ASSERT_EQ(m_platform.m_messageBoxes.size(), 1u);
    EXPECT_EQ(m_platform.m_messageBoxes[0].text,
              "RegisterClassEx() failed. GetLastError() returns 1410");
}

TEST_F(AppStartup, PaneCreationFailureFailsSilently) {
    m_platform.m_paneFactory = [](bool, const Rect&, IPaneEvents&) {
        return std::unique_ptr<IPaneControl>();
    };
    EXPECT_FALSE(Start());
    EXPECT_TRUE(m_platform.m_messageBoxes.empty());
}

TEST(ProductVersion, SplitsAtTheFirstDotIntoLeadingDigits) {
    struct Case {
        const char* text;
        std::int32_t major, minor;
    } cases[] = {{"2.11", 2, 11}, {"3.4.5", 3, 4}, {"x.7", 0, 7}, {"10.beta", 10, 0}};
    for (const Case& c : cases) {
        std::int32_t major = -1, minor = -1;
        ParseProductVersion(c.text, major, minor);
        EXPECT_EQ(major, c.major) << c.text;
        EXPECT_EQ(minor, c.minor) << c.text;
    }
    std::int32_t major = -1, minor = -1;
    ParseProductVersion("211", major, minor);
    EXPECT_EQ(major, -1);
    EXPECT_EQ(minor, -1);
}

TEST_F(AppStartup, VersionIsReadAtStartUp) {
    ASSERT_TRUE(Start());
    EXPECT_EQ(g_versionMajor, 2);
    EXPECT_EQ(g_versionMinor, 11);
    EXPECT_EQ(g_app, &App());
}

}  // namespace
