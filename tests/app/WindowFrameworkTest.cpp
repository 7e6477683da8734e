#include <gtest/gtest.h>

#include "tests/support/HeadlessPlatform.h"
#include "ui/Window.h"

namespace {

// A window that counts its ticks and can ask for high-performance mode.
class CountingWindow : public CWindow {
  public:
    void OnTick() override { ++ticks; }
    bool IsHighPerfMode() const override { return highPerf; }
    int ticks = 0;
    bool highPerf = false;
};

TEST(WindowFramework, CreateUsesTheTitleSizeAndDefaultPosition) {
    HeadlessPlatform platform;
    CountingWindow window;
    ASSERT_TRUE(window.Create(&platform));
    const WindowCreateParams& params = platform.Window()->Params();
    EXPECT_EQ(params.className, "OstrakClientWindow");
    EXPECT_EQ(params.title, "Window");
    EXPECT_EQ(params.width, 320);
    EXPECT_EQ(params.height, 200);
    EXPECT_TRUE(params.defaultPosition);
    window.Destroy();
    EXPECT_EQ(window.Port(), nullptr);
    EXPECT_FALSE(window.IsQuitting());
}

TEST(WindowFramework, QuitRequestedWhilePollingEndsTheLoopWithoutAnotherTick) {
    HeadlessPlatform platform;
    CountingWindow window;
    ASSERT_TRUE(window.Create(&platform));
    window.highPerf = true;
    int calls = 0;
    // Five polls tick five times; closing during the sixth ends the loop before its tick.
    platform.m_onProcessEvents = [&](bool) {
        if (++calls == 6) platform.QueueClose();
    };
    window.Run();
    EXPECT_EQ(window.ticks, 5);
    EXPECT_EQ(platform.m_polls, 6);
    window.Destroy();
}

TEST(WindowFramework, DestroyMessageSetsQuitAndActivationIsTracked) {
    HeadlessPlatform platform;
    CountingWindow window;
    ASSERT_TRUE(window.Create(&platform));
    WindowMessage activate = WindowMessage::Of(WindowMessageType::Activate);
    activate.flag = true;
    platform.Window()->Deliver(activate);
    EXPECT_TRUE(window.IsActive());
    platform.Window()->RequestClose();
    EXPECT_TRUE(window.IsQuitting());
    EXPECT_FALSE(platform.Window()->Exists());
    window.Destroy();
}

}  // namespace
