// Text the output pane shows for now, and client messages around prompts.
#include "tests/ui/PaneTestSupport.h"

namespace {

class Provisional : public PaneFixture {
  protected:
    void SetUp() override { Make(true); }
};

const std::string kUnderline(1, static_cast<char>(FormatCode::kUnderlineOn));

TEST_F(Provisional, TakeBackRemovesTheTextAndTheFormatItLeft) {
    pane.AppendReceived("ok\r\n");
    // An underline and a link that never end, and a colour code cut short, in what is shown
    // for now.
    pane.ShowProvisional(kUnderline +
                         "HP> \xC1"
                         "link");
    pane.ShowProvisional(
        " more\xC4"
        "ff");
    EXPECT_EQ(control->Text(), "ok\r\nHP> link more");
    EXPECT_FALSE(pane.Pending().empty());
    EXPECT_TRUE(pane.HasProvisional());
    pane.TakeBackProvisional();
    EXPECT_EQ(control->Text(), "ok\r\n");
    EXPECT_TRUE(pane.Pending().empty());
    EXPECT_FALSE(pane.HasProvisional());
    pane.AppendReceived("HP> north\r\n");
    EXPECT_EQ(Runs(), "[]ok\\r\\nHP> north\\r\\n");
}

TEST_F(Provisional, ClientMessagesNeverContinueAPromptAndStayAboveAProvisionalOne) {
    pane.AppendReceived("Enter name: ");  // ended by GA: a line without a line end
    pane.Append("Invalid port: 9x\r\n");
    pane.Append("second\r\n");
    EXPECT_EQ(control->Text(), "Enter name: \r\nInvalid port: 9x\r\nsecond\r\n");

    pane.ShowProvisional("HP> ");
    pane.Append("Exec OK\r\n");
    EXPECT_EQ(control->Text(), "Enter name: \r\nInvalid port: 9x\r\nsecond\r\nExec OK\r\nHP> ");
    pane.TakeBackProvisional();
    pane.AppendReceived("HP> \r\n");
    EXPECT_EQ(control->Text(), "Enter name: \r\nInvalid port: 9x\r\nsecond\r\nExec OK\r\nHP> \r\n");

    // Settled, it is ordinary text, and the message after it starts a line.
    pane.ShowProvisional("bye> ");
    pane.SettleProvisional();
    pane.Append("Disconnected\r\n");
    EXPECT_TRUE(control->Text().ends_with("HP> \r\nbye> \r\nDisconnected\r\n"));
}

TEST_F(Provisional, NothingShowsForNowWithTagsEscapesHeldOrWaitingText) {
    // A PML tag or an escape in any part stops the showing until the line is taken back.
    pane.ShowProvisional("Name: ");
    pane.ShowProvisional("\x19tag\x19");
    pane.ShowProvisional("more");
    EXPECT_EQ(control->Text(), "");
    pane.TakeBackProvisional();
    EXPECT_TRUE(pane.PmlQueue().empty());
    pane.ShowProvisional("after> ");
    EXPECT_EQ(control->Text(), "after> ");
    pane.TakeBackProvisional();

    pane.SetHoldByUser(true);
    pane.ShowProvisional("held> ");
    pane.SetHoldByUser(false);
    pane.ShowProvisional("rest");  // the start was not shown, so neither is the rest
    EXPECT_EQ(control->Text(), "");
    EXPECT_TRUE(pane.Pending().empty());
    pane.TakeBackProvisional();

    pane.AppendReceived("open \x19tag");  // waits for its closing delimiter
    pane.ShowProvisional("prompt> ");
    pane.TakeBackProvisional();
    pane.AppendReceived("\x19!\r\n");
    EXPECT_EQ(control->Text(), "open !\r\n");
}

}  // namespace
