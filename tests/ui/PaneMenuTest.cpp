// Context menu states, clipboard commands, links under the mouse and the link worker.
#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <thread>

#include "PaneTestSupport.h"
#include "base/ThreadEvent.h"
#include "ui/LinkWorker.h"
#include "ui/PaneMenu.h"

namespace {

using namespace std::chrono_literals;

// A desktop that keeps the clipboard in memory and records beeps, cursors and opened URLs.
class RecordingDesktop : public IPaneDesktop {
  public:
    void Beep() override { ++beeps; }
    std::vector<FormattedChar> SelectionFragment(const IPaneControl& control) const override {
        const auto& recording = static_cast<const RecordingPaneControl&>(control);
        std::vector<FormattedChar> fragment;
        std::int32_t start = 0;
        std::int32_t end = 0;
        recording.GetSelection(start, end);
        for (std::int32_t i = start; i < end; ++i) {
            fragment.push_back({recording.TextUtf16()[static_cast<std::size_t>(i)],
                                recording.FormatAt(static_cast<std::size_t>(i))});
        }
        return fragment;
    }
    ClipboardFormats AvailableClipboardFormats() const override { return {hasRich, hasText}; }
    bool PutClipboard(const std::string& text, const std::vector<FormattedChar>* fragment,
                      Colour) override {
        ++puts;
        clipText = text;
        hasText = true;
        hasRich = fragment != nullptr;
        if (fragment) rich = *fragment;
        return true;
    }
    bool GetClipboardText(std::string& text) override {
        text = clipText;
        return hasText;
    }
    bool GetClipboardRich(std::vector<FormattedChar>& fragment, Colour) override {
        fragment = rich;
        return hasRich;
    }
    void SetCursor(IPaneControl&, PaneCursor shown) override { cursor = shown; }
    int ShowMenu(IPaneControl&, const std::vector<PaneMenuItem>& items, std::int32_t,
                 std::int32_t) override {
        shownMenu = items;
        return chosen;
    }
    UrlOpener Opener() override {
        return [this](const std::string& url) {
            std::lock_guard guard(lock);
            opened.push_back(url);
        };
    }

    int beeps = 0;
    int puts = 0;
    std::string clipText;
    std::vector<FormattedChar> rich;
    bool hasText = false;
    bool hasRich = false;
    PaneCursor cursor = PaneCursor::Arrow;
    std::vector<PaneMenuItem> shownMenu;
    int chosen = 0;
    std::mutex lock;
    std::vector<std::string> opened;
};

class PaneMenu : public PaneFixture {
  protected:
    void MakeWithDesktop(bool isOutput) {
        Make(isOutput);
        pane.SetPaneDesktop(&desktop);
    }
    // The state of each item of the pane's menu as "Copy+ Paste- Hold Output*".
    std::string MenuStates() {
        desktop.chosen = 0;
        pane.ShowContextMenu(0, 0);
        std::string states;
        for (const PaneMenuItem& item : desktop.shownMenu) {
            if (item.command == 0) continue;
            if (!states.empty()) states += ' ';
            states += item.text.substr(0, item.text.find('\t'));
            states += item.checked ? "*" : item.enabled ? "+" : "-";
        }
        return states;
    }
    void Hover(const std::string& text, std::int32_t at) {
        control->Clear();
        control->SetSelection(0, 0);
        control->ReplaceSelection(text, false);
        control->charFromPosResult = at;
        pane.OnMouseMove(10, 10);
    }

    RecordingDesktop desktop;
};

TEST_F(PaneMenu, OutputMenuItemsFollowSelectionLinkAndHold) {
    MakeWithDesktop(true);
    pane.SetUrlPrefixes({"http://", "https://", "www.", "ftp://"});
    EXPECT_EQ(MenuStates(),
              "Hold Output+ Google- Copy- Copy ZT4 Tagged- Copy URL- Save URL- Clear+ Select All+");

    pane.Append("see ftp://files.org now");
    control->SetSelection(0, 3);
    control->charFromPosResult = 6;
    pane.OnMouseMove(50, 5);
    EXPECT_EQ(pane.HoverUrl(), "ftp://files.org");
    EXPECT_EQ(desktop.cursor, PaneCursor::Hand);
    pane.MenuCommand(PaneCommand::kHoldOutput);
    // A download fetches only web links.
    EXPECT_EQ(MenuStates(),
              "Hold Output* Google+ Copy+ Copy ZT4 Tagged+ Copy URL+ Save URL- Clear+ Select All+");

    for (const char* url : {"http://a.org", "https://a.org", "www.a.org"}) {
        Hover(url, 2);
        PaneMenuContext context{false, {}, pane.IsOverUrl(), pane.HoverUrl(), false};
        EXPECT_TRUE(MenuItemState(PaneCommand::kSaveUrl, context).enabled) << url;
    }
    // The prefixes match in any case, but saving asks for the exact case.
    Hover("HTTP://A.ORG", 2);
    EXPECT_TRUE(pane.IsOverUrl());
    EXPECT_FALSE(
        MenuItemState(PaneCommand::kSaveUrl, {false, {}, pane.IsOverUrl(), pane.HoverUrl(), false})
            .enabled);

    // Choosing from the menu runs the command.
    desktop.chosen = PaneCommand::kSelectAll;
    pane.ShowContextMenu(0, 0);
    std::int32_t start = -1, end = -1;
    control->GetSelection(start, end);
    EXPECT_EQ(end - start, 12);
}

TEST_F(PaneMenu, InputMenuPasteFollowsTheClipboard) {
    MakeWithDesktop(false);
    EXPECT_EQ(MenuStates(),
              "Bold+ Italic+ Underline+ Strikeout+ Cut- Copy- Paste- Paste plain- Select All+");
    desktop.hasRich = true;
    EXPECT_EQ(MenuStates(),
              "Bold+ Italic+ Underline+ Strikeout+ Cut- Copy- Paste+ Paste plain- Select All+");
    desktop.hasText = true;
    EXPECT_EQ(MenuStates(),
              "Bold+ Italic+ Underline+ Strikeout+ Cut- Copy- Paste+ Paste plain+ Select All+");
}

TEST_F(PaneMenu, InputCutPasteAndPastePlain) {
    MakeWithDesktop(false);
    pane.MenuCommand(PaneCommand::kPaste);
    pane.MenuCommand(PaneCommand::kPastePlain);
    EXPECT_EQ(desktop.beeps, 2);

    control->ReplaceSelection("say hello", false);
    control->SetSelection(4, 9);
    pane.MenuCommand(PaneCommand::kCut);
    EXPECT_EQ(control->Text(), "say ");
    EXPECT_EQ(desktop.clipText, "hello");

    CharFormat red;
    red.mask = CharFormat::kColour | CharFormat::kEffects;
    red.textColour = 0x0000FF;
    red.effects = CharFormat::kBold;
    desktop.rich = {{u'h', red}, {u'i', red}};
    desktop.hasRich = true;
    desktop.clipText = "hi";
    pane.MenuCommand(PaneCommand::kPaste);
    EXPECT_EQ(control->Text(), "say <-b><-cff0000>hi");
    pane.MenuCommand(PaneCommand::kPastePlain);
    EXPECT_EQ(control->Text(), "say <-b><-cff0000>hihi");
    EXPECT_EQ(desktop.beeps, 2);
}

TEST_F(PaneMenu, HoverFindsPrefixedWordsAndKeepsTheirCase) {
    MakeWithDesktop(true);
    pane.SetUrlPrefixes({"www."});
    // Two characters are never a link, whatever the prefix.
    pane.SetUrlPrefixes({"w"});
    Hover("go ww now", 4);
    EXPECT_FALSE(pane.IsOverUrl());
    EXPECT_EQ(desktop.cursor, PaneCursor::IBeam);
    pane.SetUrlPrefixes({"www."});
    Hover("go WWW.Example.COM/x now", 10);
    EXPECT_TRUE(pane.IsOverUrl());
    EXPECT_EQ(desktop.cursor, PaneCursor::Hand);
    pane.MenuCommand(PaneCommand::kCopyUrl);
    EXPECT_EQ(desktop.clipText, "WWW.Example.COM/x");
    // Over the space after it: nothing.
    Hover("go WWW.Example.COM/x now", 20);
    EXPECT_FALSE(pane.IsOverUrl());
    EXPECT_EQ(pane.HoverUrl(), "");
    Hover("wwwx.org", 1);
    EXPECT_FALSE(pane.IsOverUrl());
    // Far into a long line only the reach around the mouse is read.
    Hover(std::string(2000, ' ') + "www.far.org", 2003);
    EXPECT_EQ(pane.HoverUrl(), "www.far.org");
}

TEST_F(PaneMenu, OutputCommandsCopySearchSaveHoldAndClear) {
    MakeWithDesktop(true);
    pane.SetUrlPrefixes({"http://"});
    pane.MenuCommand(PaneCommand::kGoogle);
    pane.MenuCommand(PaneCommand::kSaveUrl);
    EXPECT_TRUE(window.notes.empty());
    EXPECT_EQ(desktop.beeps, 0);
    // Copying nothing beeps.
    pane.MenuCommand(PaneCommand::kCopyUrl);
    pane.MenuCommand(PaneCommand::kCut);
    EXPECT_EQ(desktop.beeps, 2);
    EXPECT_EQ(desktop.puts, 0);

    Hover("get http://h.org/f.zip", 6);
    control->SetSelection(0, 3);
    pane.MenuCommand(PaneCommand::kGoogle);
    pane.MenuCommand(PaneCommand::kSaveUrl);
    // Cut in the output pane copies and leaves the text alone.
    pane.MenuCommand(PaneCommand::kCut);
    EXPECT_EQ(desktop.clipText, "get");
    EXPECT_TRUE(desktop.hasRich);
    EXPECT_EQ(control->Text(), "get http://h.org/f.zip");
    ASSERT_EQ(window.notes.size(), 2u);
    EXPECT_EQ(window.notes[0].code, PaneNotifyCode::SearchSelection);
    EXPECT_EQ(window.notes[0].text, "get");
    EXPECT_EQ(window.notes[1].code, PaneNotifyCode::SaveUrl);
    EXPECT_EQ(window.notes[1].text, "http://h.org/f.zip");

    pane.MenuCommand(PaneCommand::kHoldOutput);
    EXPECT_FALSE(pane.Append(" more"));
    pane.MenuCommand(PaneCommand::kHoldOutput);
    EXPECT_EQ(control->Text(), "get http://h.org/f.zip more");
    pane.MenuCommand(PaneCommand::kClear);
    EXPECT_EQ(control->Text(), "");
    EXPECT_FALSE(pane.IsOverUrl());
}

TEST(LinkWorker, OnlyTheLastPendingUrlOpensAndStopNeverWaitsLong) {
    CThreadEvent entered(true);
    CThreadEvent release(true);
    std::mutex lock;
    std::vector<std::string> opened;
    {
        CLinkWorker worker(100ms);
        ASSERT_TRUE(worker.Start([&](const std::string& url) {
            {
                std::lock_guard guard(lock);
                opened.push_back(url);
            }
            entered.Signal();
            release.Wait(10s);
        }));
        worker.Open("http://first");
        ASSERT_TRUE(entered.Wait(5s));
        worker.Open("http://second");
        worker.Open("http://third");
        entered.Reset();
        release.Signal();
        ASSERT_TRUE(entered.Wait(5s));
        {
            std::lock_guard guard(lock);
            EXPECT_EQ(opened, (std::vector<std::string>{"http://first", "http://third"}));
        }
        EXPECT_TRUE(worker.Stop());
    }

    // A worker stuck in the opener is left behind after the wait, not joined for ever.
    auto stuck = std::make_shared<CThreadEvent>(true);
    auto stuckEntered = std::make_shared<CThreadEvent>(true);
    CLinkWorker worker(100ms);
    worker.Start([stuck, stuckEntered](const std::string&) {
        stuckEntered->Signal();
        stuck->Wait(10s);
    });
    worker.Open("http://slow");
    ASSERT_TRUE(stuckEntered->Wait(5s));
    const auto before = std::chrono::steady_clock::now();
    EXPECT_FALSE(worker.Stop());
    EXPECT_LT(std::chrono::steady_clock::now() - before, 5s);
    EXPECT_FALSE(worker.Open("http://after"));
    stuck->Signal();
}

}  // namespace
