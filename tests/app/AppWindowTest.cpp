#include "tests/app/AppFixture.h"
#include "ui/PaneNotify.h"

namespace {

using AppWindow = AppFixture;

WindowMessage Drag(std::int32_t y) {
    WindowMessage message = WindowMessage::Of(WindowMessageType::MouseMove);
    message.flag = true;
    message.y = y;
    return message;
}

TEST_F(AppWindow, MinimumTrackingSizeFollowsTheInputHeight) {
    ASSERT_TRUE(Start());
    WindowMessage query = WindowMessage::Of(WindowMessageType::GetMinMaxInfo);
    Window().Deliver(query);
    query = WindowMessage::Of(WindowMessageType::GetMinMaxInfo);
    App().HandleMessage(query);
    EXPECT_EQ(query.minTrackSize, (Size{64 + HeadlessPlatform::kFrame.width,
                                        64 + 42 + HeadlessPlatform::kFrame.height}));
}

TEST_F(AppWindow, SizeMessageLaysOutPanesAndStrip) {
    ASSERT_TRUE(Start());
    Window().SetWindowRect(
        Rect{0, 0, 500 + HeadlessPlatform::kFrame.width, 300 + HeadlessPlatform::kFrame.height});
    EXPECT_EQ(App().SplitterRect(), (Rect{0, 234, 500, 236}));
    EXPECT_EQ(App().OutputPane().Control()->GetClientSize(), (Size{500, 234}));
    EXPECT_EQ(App().InputLine().Control()->GetClientSize(), (Size{500, 64}));
    ASSERT_FALSE(Window().Filled().empty());
    EXPECT_EQ(Window().Filled().back(), (Rect{0, 234, 500, 236}));
}

TEST_F(AppWindow, SplitterDragKeepsTheMinimums) {
    ASSERT_TRUE(Start());
    Window().SetWindowRect(
        Rect{0, 0, 500 + HeadlessPlatform::kFrame.width, 300 + HeadlessPlatform::kFrame.height});
    Window().Deliver(Drag(200));
    EXPECT_EQ(App().InputHeight(), 100);
    EXPECT_EQ(App().SplitterRect(), (Rect{0, 198, 500, 200}));
    EXPECT_EQ(App().InputLine().Control()->GetClientSize(), (Size{500, 100}));

    // Below the bottom of the client area: the input line keeps 24 pixels.
    Window().Deliver(Drag(320));
    EXPECT_EQ(App().InputHeight(), 24);
    // Within 42 pixels of the top: the output pane keeps 40.
    Window().Deliver(Drag(10));
    EXPECT_EQ(App().InputHeight(), 300 - 42);
    EXPECT_EQ(App().OutputPane().Control()->GetClientSize(), (Size{500, 40}));

    // Moving without the button does nothing.
    WindowMessage hover = Drag(150);
    hover.flag = false;
    Window().Deliver(hover);
    EXPECT_EQ(App().InputHeight(), 300 - 42);
}

TEST_F(AppWindow, TinyWindowGivesTheInputLineItsMinimum) {
    ASSERT_TRUE(Start());
    Window().SetWindowRect(
        Rect{0, 0, 200 + HeadlessPlatform::kFrame.width, 50 + HeadlessPlatform::kFrame.height});
    Window().Deliver(Drag(45));
    EXPECT_EQ(App().InputHeight(), 24);
}

TEST_F(AppWindow, ButtonCapturesTheMouseUntilReleased) {
    ASSERT_TRUE(Start());
    Window().Deliver(WindowMessage::Of(WindowMessageType::LeftButtonDown));
    EXPECT_TRUE(Window().Captured());
    Window().Deliver(WindowMessage::Of(WindowMessageType::LeftButtonUp));
    EXPECT_FALSE(Window().Captured());
}

TEST_F(AppWindow, CloseWithAUserDownloadAsksAndNoKeepsEverything) {
    ASSERT_TRUE(Start());
    auto request = std::make_unique<DownloadRequest>();
    request->url = "http://127.0.0.1/file";
    App().Downloads().push_back(std::move(request));
    m_platform.m_answer = MessageBoxAnswer::No;
    Window().RequestClose();
    ASSERT_EQ(m_platform.m_messageBoxes.size(), 1u);
    EXPECT_EQ(m_platform.m_messageBoxes[0].text, "You have downloads in progress. Exit anyway?");
    EXPECT_EQ(m_platform.m_messageBoxes[0].caption, "Downloads in progress");
    EXPECT_EQ(m_platform.m_messageBoxes[0].kind, MessageBoxKind::QuestionYesNoDefaultNo);
    EXPECT_TRUE(Window().Exists());
    EXPECT_FALSE(App().IsQuitting());
    EXPECT_EQ(App().Downloads().size(), 1u);

    m_platform.m_answer = MessageBoxAnswer::Yes;
    Window().RequestClose();
    EXPECT_FALSE(Window().Exists());
    EXPECT_TRUE(App().IsQuitting());
    // The request's worker never ran; it is the shutdown's to clean up.
    App().Downloads().front()->ended = true;
}

TEST_F(AppWindow, CloseWithOnlyAnUpdateCheckDoesNotAsk) {
    ASSERT_TRUE(Start());
    auto request = std::make_unique<DownloadRequest>();
    request->kind = DownloadRequest::kUpdateCheck;
    request->ended = true;
    App().Downloads().push_back(std::move(request));
    Window().RequestClose();
    EXPECT_TRUE(m_platform.m_messageBoxes.empty());
    EXPECT_FALSE(Window().Exists());
}

TEST_F(AppWindow, ActivationGivesTheInputLineTheFocus) {
    ASSERT_TRUE(Start());
    App().OutputPane().OnFocusChanged(true);
    App().InputLine().OnFocusChanged(false);
    WindowMessage activate = WindowMessage::Of(WindowMessageType::Activate);
    activate.flag = true;
    Window().Deliver(activate);
    EXPECT_TRUE(App().IsActive());
}

TEST_F(AppWindow, EventLoopTicksAfterEveryMessageAndEndsWhenTheWindowIsDestroyed) {
    ASSERT_TRUE(Start());
    int calls = 0;
    m_platform.m_onProcessEvents = [&](bool) {
        if (++calls == 3) m_platform.QueueClose();
    };
    App().Run();
    EXPECT_EQ(calls, 3);
    EXPECT_EQ(m_platform.m_waits, 3);
    EXPECT_EQ(m_platform.m_polls, 0);
    EXPECT_FALSE(Window().Exists());
}

TEST_F(AppWindow, HighPerformanceModePollsUntilTheCountReturnsToZero) {
    ASSERT_TRUE(Start());
    App().EnterHighPerfMode();
    App().EnterHighPerfMode();
    int calls = 0;
    std::vector<bool> waited;
    m_platform.m_onProcessEvents = [&](bool wait) {
        waited.push_back(wait);
        ++calls;
        if (calls == 5 || calls == 8) App().ExitHighPerfMode();
        if (calls == 10) m_platform.QueueClose();
    };
    App().Run();
    // Polling with no events at all keeps the loop (and the tick) going.
    EXPECT_EQ(waited, (std::vector<bool>{false, false, false, false, false, false, false, false,
                                         true, true}));
    App().ExitHighPerfMode();
    EXPECT_FALSE(App().IsHighPerfMode());
}

TEST_F(AppWindow, TimerMessageTicks) {
    ASSERT_TRUE(Start());
    App().SetConfigValue("x", "1");
    WindowMessage timer = WindowMessage::Of(WindowMessageType::Timer);
    timer.id = 1;
    Window().Deliver(timer);
    EXPECT_FALSE(App().SettingsDirty());
}

TEST_F(AppWindow, TimerMessageLeavesTheTickToThePollingLoop) {
    ASSERT_TRUE(Start());
    WindowMessage timer = WindowMessage::Of(WindowMessageType::Timer);
    timer.id = 1;
    App().EnterHighPerfMode();
    App().SetConfigValue("x", "1");
    Window().Deliver(timer);
    EXPECT_TRUE(App().SettingsDirty());
    App().ExitHighPerfMode();
    Window().Deliver(timer);
    EXPECT_FALSE(App().SettingsDirty());
}

TEST_F(AppWindow, PmlTagsAreTakenOffTheQueueWithoutAScriptHost) {
    ASSERT_TRUE(Start());
    App().OutputPane().Append("\x19tag\x19");
    ASSERT_TRUE(App().OutputPane().HasPmlTags());
    App().OnTick();
    EXPECT_FALSE(App().OutputPane().HasPmlTags());
}

TEST_F(AppWindow, CharacterTypedInTheOutputPaneLandsInTheInputLine) {
    ASSERT_TRUE(Start());
    PaneNotify typed;
    typed.sender = &App().OutputPane();
    typed.code = PaneNotifyCode::CharTyped;
    // Tab is typed like a printable character; other control characters stay out.
    const unsigned characters[] = {'k', '\t', 0x1B, 0x08, 0x01, 'x'};
    for (unsigned character : characters) {
        typed.characterCode = character;
        App().OnNotify(typed);
    }
    EXPECT_EQ(App().InputLine().GetText(), "k\tx");
}

TEST_F(AppWindow, LineEnteredTakesAndClearsTheSendersText) {
    ASSERT_TRUE(Start());
    App().InputLine().Control()->ReplaceSelection("look", true);
    App().OutputPane().SetHoldByUser(true);
    PaneNotify entered;
    entered.sender = &App().InputLine();
    entered.code = PaneNotifyCode::LineEntered;
    App().OnNotify(entered);
    EXPECT_EQ(App().InputLine().GetText(), "");
    EXPECT_FALSE(App().OutputPane().IsHeldByUser());
    // Offline the line is shown in the output pane.
    EXPECT_NE(Output().find("look\n"), std::string::npos);
}

}  // namespace
