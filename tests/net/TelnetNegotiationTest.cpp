// Telnet command parsing and option negotiation against the scripted server.
#include <gtest/gtest.h>

#include "net/TelnetCodes.h"
#include "tests/net/EngineHarness.h"

TEST(TelnetParsing, CommandSplitAcrossReadsIsHandledWhenItsLastByteArrives) {
    EngineHarness h;
    ASSERT_TRUE(h.Connect());
    h.server.Send("hello\r\nwor" + Bytes({255, 251}));
    ASSERT_TRUE(h.PumpUntilShown("hello\r\n"));
    h.Settle();
    EXPECT_EQ(h.host.shown, "hello\r\n");
    EXPECT_EQ(h.server.Received(), "");  // nothing negotiated yet
    h.server.Send(Bytes({31}) + "ld\r\n");
    ASSERT_TRUE(h.PumpUntilShown("world\r\n"));
    EXPECT_EQ(h.host.shown, "hello\r\nworld\r\n");
    EXPECT_EQ(h.engine.GetTelnetOption(31), 251);
    EXPECT_TRUE(h.engine.IsNawsAgreed());
    // Opening offers, the reply, then the size: 800/8 columns and 400/16 rows.
    const std::string expected =
        kOffers + Bytes({255, 253, 31}) + Bytes({255, 250, 31, 0, 100, 0, 25, 255, 240});
    ASSERT_TRUE(h.PumpUntilReceived(expected));
    EXPECT_EQ(h.server.Received(), expected);
}

TEST(TelnetParsing, EveryByteInItsOwnReadGivesTheSameResult) {
    EngineHarness h;
    ASSERT_TRUE(h.Connect());
    const std::string stream =
        "a" + Bytes({255, 253, 1}) + "b" + Bytes({255, 250, 24, 1, 255, 255, 255, 240}) + "c" +
        Bytes({255, 255}) + "d\r" + Bytes({0, 255, 241}) + "e" + Bytes({255, 249}) + "f\r\n";
    std::vector<std::string> pieces;
    for (char byte : stream) pieces.emplace_back(1, byte);
    h.server.SendSplit(pieces, 5);
    ASSERT_TRUE(h.PumpUntilShown("f\r\n", 5000));
    EXPECT_EQ(h.host.lines, (std::vector<std::string>{"abc\xFF"
                                                      "d\re",
                                                      "f\r\n"}));
    EXPECT_EQ(h.engine.GetTelnetOption(1), 253);
    EXPECT_EQ(h.server.Received(), kOffers + Bytes({255, 252, 1}));
}

TEST(TelnetParsing, SubnegotiationIsRemovedWholeAndHoldsLinesUntilItEnds) {
    EngineHarness h;
    ASSERT_TRUE(h.Connect());
    h.server.Send("line1\r\nx" + Bytes({255, 250, 24}) + "abc");
    h.Settle();
    EXPECT_EQ(h.host.shown, "");
    h.server.Send(Bytes({255, 240}) + "y\r\n");
    ASSERT_TRUE(h.PumpUntilShown("xy\r\n"));
    EXPECT_EQ(h.host.lines, (std::vector<std::string>{"line1\r\n", "xy\r\n"}));
    EXPECT_EQ(h.server.Received(), "");  // a subnegotiation is not negotiation
}

TEST(TelnetNegotiation, Compress2AgreedRefusesCompress) {
    EngineHarness h;
    ASSERT_TRUE(h.Connect());
    h.server.Send(Bytes({255, 251, 86, 255, 251, 85}));
    const std::string expected = kOffers + Bytes({255, 253, 86}) + Bytes({255, 254, 85});
    ASSERT_TRUE(h.PumpUntilReceived(expected));
    h.Settle();
    EXPECT_EQ(h.server.Received(), expected);
    EXPECT_EQ(h.engine.GetTelnetOption(86), 251);
    EXPECT_EQ(h.engine.GetTelnetOption(85), 252);
}

TEST(TelnetNegotiation, OptionsTheClientDoesNotTakeAreRefusedOnceAndEorIsTaken) {
    EngineHarness h;
    ASSERT_TRUE(h.Connect());
    // DO ECHO, WILL TTYPE, WILL EOR, DO EOR (the client sends no EOR), then the same again.
    const std::string asks = Bytes({255, 253, 1, 255, 251, 24, 255, 251, 25, 255, 253, 25});
    h.server.Send(asks + asks + "ok\r\n");
    ASSERT_TRUE(h.PumpUntilShown("ok\r\n"));
    h.Settle();
    EXPECT_EQ(h.server.Received(),
              kOffers + Bytes({255, 252, 1, 255, 254, 24, 255, 253, 25, 255, 252, 25}));
    EXPECT_EQ(h.engine.GetTelnetOption(1), 253);
    EXPECT_EQ(h.engine.GetTelnetOption(24), 251);
    EXPECT_EQ(h.engine.GetTelnetOption(25), 253);  // the server's last verb
    EXPECT_TRUE(h.engine.IsNegotiationStarted());
}

TEST(TelnetNegotiation, AnswersAreNeverAnswered) {
    EngineHarness h;
    ASSERT_TRUE(h.Connect());
    // DONT NAWS and DONT COMPRESS answer the offers; DO COMPRESS2 accepts one; WONT and DONT
    // of options never asked for are answers to nothing. None of them gets a reply.
    h.server.Send(
        Bytes({255, 254, 31, 255, 254, 85, 255, 253, 86, 255, 253, 86, 255, 252, 24, 255, 254, 1}) +
        "end\r\n");
    ASSERT_TRUE(h.PumpUntilShown("end\r\n"));
    h.Settle();
    EXPECT_EQ(h.server.Received(), kOffers + Bytes({255, 250, 86, 255, 240}));
    EXPECT_TRUE(h.engine.IsCompressOut());
    EXPECT_FALSE(h.engine.IsNawsAgreed());
    EXPECT_EQ(h.engine.GetTelnetOption(31), 254);
    EXPECT_EQ(h.engine.GetTelnetOption(24), 252);
}

TEST(TelnetNegotiation, DoAfterTheOfferWasRefusedIsAcceptedWithWill) {
    EngineHarness h;
    ASSERT_TRUE(h.Connect());
    h.server.Send(Bytes({255, 254, 31}));
    h.server.Pause(30);
    h.server.Send(Bytes({255, 253, 31}) + "end\r\n");
    ASSERT_TRUE(h.PumpUntilShown("end\r\n"));
    const std::string expected =
        kOffers + Bytes({255, 251, 31}) + Bytes({255, 250, 31, 0, 100, 0, 25, 255, 240});
    ASSERT_TRUE(h.PumpUntilReceived(expected));
    h.Settle();
    EXPECT_EQ(h.server.Received(), expected);
    EXPECT_TRUE(h.engine.IsNawsAgreed());
}

// One state per direction: the server's WILL COMPRESS2 (its stream) does not hide its DO
// COMPRESS2 (the client's stream), and each side is switched off on its own.
TEST(TelnetNegotiation, ServerAndClientSidesAreSeparate) {
    EngineHarness h;
    ASSERT_TRUE(h.Connect());
    h.server.Send(Bytes({255, 251, 86, 255, 253, 86}));
    ASSERT_TRUE(h.PumpUntil([&] { return h.engine.IsCompressOut(); }));
    h.engine.SendToServer("look\r\n", 6);
    std::string expected =
        kOffers + Bytes({255, 253, 86}) + Bytes({255, 250, 86, 255, 240}) + "look\r\n";
    ASSERT_TRUE(h.PumpUntilReceived(expected));
    EXPECT_TRUE(h.server.ClientCompresses());
    EXPECT_EQ(h.engine.GetTelnetOption(86), 253);

    // WONT turns the server's side off (answered once with DONT); the client's stays.
    h.server.Send(Bytes({255, 252, 86, 255, 252, 86, 255, 253, 86}) + "x\r\n");
    ASSERT_TRUE(h.PumpUntilShown("x\r\n"));
    expected += Bytes({255, 254, 86});
    ASSERT_TRUE(h.PumpUntilReceived(expected));
    h.Settle();
    EXPECT_EQ(h.server.Received(), expected);
    EXPECT_TRUE(h.engine.IsCompressOut());
}

TEST(TelnetNegotiation, NawsOfferAcceptedAfterTheServersWillReportsTheSizeOnce) {
    EngineHarness h;
    ASSERT_TRUE(h.Connect());
    h.server.Send(Bytes({255, 251, 31, 255, 253, 31}));
    std::string expected =
        kOffers + Bytes({255, 253, 31}) + Bytes({255, 250, 31, 0, 100, 0, 25, 255, 240});
    ASSERT_TRUE(h.PumpUntilReceived(expected));
    h.Settle();
    EXPECT_EQ(h.server.Received(), expected);
    EXPECT_TRUE(h.engine.IsNawsAgreed());
    // Both sides off: no more reports.
    h.server.Send(Bytes({255, 252, 31, 255, 254, 31}));
    expected += Bytes({255, 254, 31, 255, 252, 31});
    ASSERT_TRUE(h.PumpUntilReceived(expected));
    EXPECT_FALSE(h.engine.IsNawsAgreed());
}

TEST(WindowSize, SizeBytesEqualToIacAreDoubled) {
    EngineHarness h;
    h.host.metrics = {2 + 255 * 8, 2 + 511 * 16, 8, 16};  // 255 columns, 511 rows
    ASSERT_TRUE(h.Connect());
    h.server.Send(Bytes({255, 253, 31}));
    // DO NAWS accepts the offer: no further WILL, only the size.
    const std::string expected =
        kOffers + Bytes({255, 250, 31, 0, 255, 255, 1, 255, 255, 255, 240});
    ASSERT_TRUE(h.PumpUntilReceived(expected));
    EXPECT_EQ(h.server.Received(), expected);
}

TEST(WindowSize, TinyOrUnmeasurablePaneSendsNothing) {
    EngineHarness h;
    h.host.metrics = {2, 400, 8, 16};
    ASSERT_TRUE(h.Connect());
    h.server.Send(Bytes({255, 253, 31}));
    ASSERT_TRUE(h.PumpUntil([&] { return h.engine.IsNawsAgreed(); }));
    h.host.metrics = {802, 402, 0, 16};
    h.engine.SendWindowSize(true);
    h.host.metrics = {9, 402, 8, 16};  // 7 pixels: less than one column
    h.engine.SendWindowSize(true);
    h.host.metrics = {1, 402, 1, 16};  // below the border: no negative column count
    h.engine.SendWindowSize(true);
    h.Settle();
    EXPECT_EQ(h.server.Received(), kOffers);
}

TEST(WindowSize, ReportsAtMostOncePerSecondUnlessForced) {
    EngineHarness h;
    ASSERT_TRUE(h.Connect());
    h.server.Send(Bytes({255, 253, 31}));
    const std::string first = kOffers + Bytes({255, 250, 31, 0, 100, 0, 25, 255, 240});
    ASSERT_TRUE(h.PumpUntilReceived(first));
    EXPECT_FALSE(h.engine.IsSizeChanged());

    h.host.metrics = {8 * 50 + 2, 402, 8, 16};
    h.engine.SendWindowSize(false);  // same second: waits
    EXPECT_TRUE(h.engine.IsSizeChanged());
    h.Settle(30);
    EXPECT_EQ(h.server.Received(), first);

    h.host.now += 1;
    h.engine.SendWindowSize(false);
    EXPECT_FALSE(h.engine.IsSizeChanged());
    const std::string second = first + Bytes({255, 250, 31, 0, 50, 0, 25, 255, 240});
    ASSERT_TRUE(h.PumpUntilReceived(second));

    h.engine.SendWindowSize(false);  // unchanged: nothing
    h.engine.SendWindowSize(true);   // forced: the same size again
    const std::string third = second + Bytes({255, 250, 31, 0, 50, 0, 25, 255, 240});
    ASSERT_TRUE(h.PumpUntilReceived(third));
    h.Settle(30);
    EXPECT_EQ(h.server.Received(), third);
}

TEST(TelnetReport, ListsOptionsInTheirColours) {
    EngineHarness h;
    ASSERT_TRUE(h.Connect());
    h.server.Send(Bytes({255, 253, 31, 255, 251, 86, 255, 251, 85, 255, 253, 1}));
    ASSERT_TRUE(h.PumpUntilReceived(Bytes({255, 254, 85, 255, 252, 1})));
    h.Settle();
    h.engine.ShowTelnetReport();
    const std::string report = h.host.events.back();
    const std::string expected =
        "block:[plain]Negotiated options:\r\n"
        "[notice]   DO Echo (1)\r\n"
        "[success]   DO NAWS (31)\r\n"
        "[error]   WON'T Compress (85)\r\n"
        "[notice]   WILL Compress2 (86)\r\n"
        "[success]Server is aware of current window size.\r\n";
    EXPECT_EQ(report, expected);
}
