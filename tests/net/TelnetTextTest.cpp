// What of the server's bytes is text: escaped 255s, two-byte commands, subnegotiations, CR NUL
// and the prompt marks GA and EOR; and the escaping of what the client sends.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/net/EngineHarness.h"

TEST(TelnetText, EscapedIacIsOneDataByteWhereverTheReadsEnd) {
    EngineHarness h;
    ASSERT_TRUE(h.Connect());
    // IAC IAC IAC WILL 1: a data 255, then a command; four IACs are two data bytes.
    h.server.SendSplit({"a" + Bytes({255}), Bytes({255, 255, 251, 1}) + "b" + Bytes({255, 255}),
                        Bytes({255, 255}) + "c\r\n"});
    ASSERT_TRUE(h.PumpUntilShown("c\r\n"));
    EXPECT_EQ(h.host.lines, std::vector<std::string>{"a\xFF"
                                                     "b\xFF\xFF"
                                                     "c\r\n"});
    EXPECT_EQ(h.engine.GetTelnetOption(1), 251);
}

TEST(TelnetText, TwoByteCommandsNeverReachThePane) {
    EngineHarness h;
    ASSERT_TRUE(h.Connect());
    // SE outside a subnegotiation, NOP, DM, BRK, IP, AO, AYT, EC, EL, and codes telnet does not
    // name; GA and EOR (which also end a prompt) are covered below.
    std::string stream = "x";
    for (int command : {240, 241, 242, 243, 244, 245, 246, 247, 248, 0, 1, 10, 13, 128, 238}) {
        stream += Bytes({255, command}) + "y";
    }
    stream += Bytes({255});  // the last command's second byte comes in the next read
    h.server.SendSplit({stream, Bytes({241}) + "z\r\n"});
    ASSERT_TRUE(h.PumpUntilShown("z\r\n"));
    EXPECT_EQ(h.host.lines, std::vector<std::string>{"x" + std::string(15, 'y') + "z\r\n"});
    h.Settle();
    EXPECT_EQ(h.server.Received(), "");  // none of them is answered
}

TEST(TelnetText, SubnegotiationEndsAtTheIacSeThatIsNotAnEscapedIac) {
    EngineHarness h;
    ASSERT_TRUE(h.Connect());
    // The body 255 240 is an escaped 255 and a data byte 240, not the end.
    h.server.SendSplit(
        {"a" + Bytes({255, 250, 24, 0, 255}), Bytes({255, 240, 7, 255, 255, 255, 240}) + "b\r\n"});
    ASSERT_TRUE(h.PumpUntilShown("b\r\n"));
    EXPECT_EQ(h.host.shown, "ab\r\n");
}

TEST(TelnetText, OverlongSubnegotiationKeepsEscapedIacsInItsBody) {
    EngineHarness h;
    ASSERT_TRUE(h.Connect());
    std::string junk(CTelnetEngine::kMaxSubnegotiation + 10, 'j');
    junk.back() = static_cast<char>(255);
    // The read ends on the first IAC of an escaped pair: the SE after the pair is body.
    h.server.SendSplit({Bytes({255, 250, 24}) + junk,
                        Bytes({255, 240}) + "still junk" + Bytes({255, 240}) + "text\r\n"});
    ASSERT_TRUE(h.PumpUntilShown("text\r\n"));
    EXPECT_EQ(h.host.shown, "text\r\n");
}

TEST(TelnetText, CrNulIsACarriageReturnAndOtherNulsStay) {
    EngineHarness h;
    ASSERT_TRUE(h.Connect());
    // The pair split across reads, one inside a read, and NULs that do not follow a CR.
    h.server.SendSplit(
        {"a\r", std::string("\0b\r\0c\0\0", 7) + "\r\n",
         std::string("\r\n\0d\r", 5) + Bytes({255, 241}) + std::string("\0\r\n", 3)});
    ASSERT_TRUE(h.PumpUntil([&] { return h.host.lines.size() == 3; }));
    const std::vector<std::string> expected = {"a\rb\rc" + std::string(2, '\0') + "\r\n", "\r\n",
                                               std::string("\0d\r\0\r\n", 6)};
    EXPECT_EQ(h.host.lines, expected);
}

TEST(TelnetPrompts, GaAndEorEndALineWithoutALineEnd) {
    EngineHarness h;
    ASSERT_TRUE(h.Connect());
    h.server.Send("Welcome\r\nEnter name: " + Bytes({255, 249}));
    ASSERT_TRUE(h.PumpUntilShown("Enter name: "));
    EXPECT_EQ(h.host.lines, (std::vector<std::string>{"Welcome\r\n", "Enter name: "}));
    // A prompt split across reads, its mark split too; a mark right after a line end or after
    // another mark adds no empty line.
    h.server.SendSplit({"HP:10", "0> " + Bytes({255}), Bytes({239, 255, 249}) + "north\r\n",
                        Bytes({255, 239}) + "Pass: " + Bytes({255, 249})});
    ASSERT_TRUE(h.PumpUntilShown("Pass: "));
    const std::vector<std::string> expected = {"Welcome\r\n", "Enter name: ", "HP:100> ",
                                               "north\r\n", "Pass: "};
    EXPECT_EQ(h.host.lines, expected);
    EXPECT_EQ(h.host.shown, "Welcome\r\nEnter name: HP:100> north\r\nPass: ");
}

TEST(TelnetPrompts, PromptsPassTheReceiveFilterLikeLines) {
    EngineHarness h;
    h.host.filter = [](std::string& line) {
        if (line == "spam> ") line.clear();
        if (line == "HP> ") line = "[HP] ";
    };
    ASSERT_TRUE(h.Connect());
    h.server.Send("spam> " + Bytes({255, 249}) + "HP> " + Bytes({255, 239}) + "a\r\n");
    ASSERT_TRUE(h.PumpUntilShown("a\r\n"));
    EXPECT_EQ(h.host.shown, "[HP] a\r\n");

    // Without scripts the prompt goes to the pane on its own as well.
    EngineHarness plain;
    plain.host.hasFilter = false;
    ASSERT_TRUE(plain.Connect());
    plain.server.Send("login: " + Bytes({255, 249}));
    ASSERT_TRUE(plain.PumpUntilShown("login: "));
    EXPECT_EQ(plain.host.EventsStartingWith("show:"), std::vector<std::string>{"show:login: "});
}

// Without scripts, lines that pass the decoder unchanged go to the pane many at a time, never
// past a prompt mark or into text that must be decoded, and nothing is lost or reordered.
TEST(TelnetPrompts, WithoutAFilterLinesGoOutTogetherUpToAPromptOrColour) {
    EngineHarness h;
    h.host.hasFilter = false;
    ASSERT_TRUE(h.Connect());
    std::string lines;
    for (int i = 0; i < 200; ++i) lines += "line " + std::to_string(i) + "\r\n";
    h.server.Send(lines + "HP> " + Bytes({255, 249}) + lines + "\x1b[31mred\x1b[0m\r\n" + lines);
    const std::string before = lines + "HP> " + lines;
    ASSERT_TRUE(h.PumpUntil([&] {
        return h.host.shown.size() > before.size() + lines.size() && h.host.shown.ends_with(lines);
    }));
    EXPECT_TRUE(h.host.shown.starts_with(before));
    EXPECT_NE(h.host.shown.find("red", before.size()), std::string::npos);
    const std::vector<std::string> shows = h.host.EventsStartingWith("show:");
    EXPECT_LT(shows.size(), 20u);
    EXPECT_NE(std::find(shows.begin(), shows.end(), "show:HP> "), shows.end());
}

TEST(TelnetPrompts, PromptInsideACompressedStreamShowsAtOnce) {
    EngineHarness h;
    ASSERT_TRUE(h.Connect());
    h.server.SendUncompressed("plain " + Bytes({255, 249}));
    h.server.StartCompression(2);
    h.server.Send("zipped> " + Bytes({255, 239}));
    ASSERT_TRUE(h.PumpUntilShown("zipped> "));
    EXPECT_EQ(h.host.lines, (std::vector<std::string>{"plain ", "zipped> "}));
}

TEST(TelnetSending, IacInDataIsDoubledButTheEnginesCommandsAreNot) {
    EngineHarness h;
    ASSERT_TRUE(h.Connect());
    h.engine.SendToServer("say \xFF!\r\n", 8);
    h.server.Send(Bytes({255, 253, 86}));  // compression on: escaping comes before deflating
    ASSERT_TRUE(h.PumpUntil([&] { return h.engine.IsCompressOut(); }));
    h.engine.SendToServer("\xFF\xFF\r\n", 4);
    const std::string expected = "say \xFF\xFF!\r\n" + kOffers + Bytes({255, 250, 86, 255, 240}) +
                                 Bytes({255, 255, 255, 255}) + "\r\n";
    ASSERT_TRUE(h.PumpUntilReceived(expected));
    EXPECT_EQ(h.server.Received(), expected);
}
