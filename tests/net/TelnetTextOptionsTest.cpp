// What modern game servers negotiate and send: ANSI colour and UTF-8 text through the engine,
// CHARSET, the terminal type cycle and GMCP.
#include <gtest/gtest.h>

#include "net/TelnetCodes.h"
#include "tests/net/EngineHarness.h"

namespace {

std::string Subnegotiation(int option, const std::string& body) {
    return Bytes({255, 250, option}) + body + Bytes({255, 240});
}

ServerTextSettings WithEncoding(ServerEncoding encoding) {
    ServerTextSettings settings;
    settings.encoding = encoding;
    return settings;
}

ServerTextSettings Utf8Settings() { return WithEncoding(ServerEncoding::Utf8); }

}  // namespace

TEST(TelnetServerText, ColourAndUtf8SplitAcrossReadsReachTheFilterDecoded) {
    EngineHarness h;
    h.engine.SetServerTextSettings(Utf8Settings());
    ASSERT_TRUE(h.Connect());
    h.server.SendSplit({"\x1b[1;3", "1mcaf\xC3", "\xA9\x1b[0m\r\n"});
    ASSERT_TRUE(h.PumpUntil([&] { return !h.host.lines.empty(); }));
    EXPECT_EQ(h.host.lines[0],
              "\xE0\xC4"
              "ff0000caf\x1A"
              "e9\x1A\xBE\r\n");

    // Typed text goes out as UTF-8: a Latin-1 byte and an escape of the input line.
    const std::string typed =
        "caf\xE9 \x1A"
        "41f\x1A\r\n";
    h.engine.SendToServer(typed.data(), typed.size());
    ASSERT_TRUE(h.PumpUntilReceived("caf\xC3\xA9 \xD0\x9F\r\n"));
}

TEST(TelnetServerText, CharsetRequestIsAcceptedForUtf8AndEndsWithTheConnection) {
    EngineHarness h;
    ASSERT_TRUE(h.Connect());
    EXPECT_EQ(h.engine.GetServerEncoding(), ServerEncoding::Native);
    h.server.Send(Bytes({255, 251, 42}) + Subnegotiation(42, "\x01;ISO-8859-1;utf-8") +
                  "\xC3\xBC\r\n");
    const std::string answer = kOffers + Bytes({255, 253, 42}) + Subnegotiation(42, "\x02utf-8");
    ASSERT_TRUE(h.PumpUntilReceived(answer));
    EXPECT_EQ(h.server.Received(), answer);
    ASSERT_TRUE(
        h.PumpUntilShown("\x1A"
                         "fc\x1A\r\n"));
    EXPECT_EQ(h.engine.GetServerEncoding(), ServerEncoding::Utf8);
    h.engine.ShowTelnetReport();
    const std::string report = h.host.events.back();
    EXPECT_NE(report.find("[success]   WILL CHARSET (42)"), std::string::npos) << report;
    EXPECT_NE(report.find("[success]Text encoding: utf-8"), std::string::npos) << report;

    h.engine.CmdDisconnect("");
    EXPECT_EQ(h.engine.GetServerEncoding(), ServerEncoding::Native);
}

TEST(TelnetServerText, CharsetOfferWithoutUtf8IsRejected) {
    EngineHarness h;
    ASSERT_TRUE(h.Connect());
    h.server.Send(Bytes({255, 253, 42}) + Subnegotiation(42, "\x01[TTABLE]\x01 KOI8-R US-ASCII"));
    const std::string answer = kOffers + Bytes({255, 251, 42}) + Subnegotiation(42, "\x03");
    ASSERT_TRUE(h.PumpUntilReceived(answer));
    h.Settle();
    EXPECT_EQ(h.server.Received(), answer);
    EXPECT_EQ(h.engine.GetServerEncoding(), ServerEncoding::Native);
}

TEST(TelnetServerText, TerminalTypeCycleEndsRepeatingTheMttsBits) {
    EngineHarness h;
    h.engine.SetServerTextSettings(Utf8Settings());
    ASSERT_TRUE(h.Connect());
    const std::string send = Subnegotiation(24, "\x01");
    h.server.Send(Bytes({255, 253, 24}) + send + send + send + send);
    // ANSI 1 + UTF-8 4 + 256 colours 8 + true colour 256 + TLS 2048.
    const std::string answer = kOffers + Bytes({255, 251, 24}) +
                               Subnegotiation(24, std::string(1, '\0') + "OSTRAKCLIENT") +
                               Subnegotiation(24, std::string(1, '\0') + "ANSI-TRUECOLOR") +
                               Subnegotiation(24, std::string(1, '\0') + "MTTS 2317") +
                               Subnegotiation(24, std::string(1, '\0') + "MTTS 2317");
    ASSERT_TRUE(h.PumpUntilReceived(answer));
    h.Settle();
    EXPECT_EQ(h.server.Received(), answer);

    // Turned off and asked again, the cycle starts over.
    h.server.Send(Bytes({255, 254, 24, 255, 253, 24}) + send);
    ASSERT_TRUE(h.PumpUntilReceived(Bytes({255, 252, 24, 255, 251, 24}) +
                                    Subnegotiation(24, std::string(1, '\0') + "OSTRAKCLIENT")));
}

TEST(TelnetServerText, GmcpIsTakenOnlyWithScriptsAndCarriesMessagesBothWays) {
    {
        EngineHarness h;
        ASSERT_TRUE(h.Connect());
        h.server.Send(Bytes({255, 251, 201}));
        ASSERT_TRUE(h.PumpUntilReceived(kOffers + Bytes({255, 254, 201})));
        EXPECT_FALSE(h.engine.SendGmcp("Core.Ping", ""));
    }
    EngineHarness h;
    h.host.takesGmcp = true;
    ASSERT_TRUE(h.Connect());
    h.server.Send(Bytes({255, 251, 201}) +
                  Subnegotiation(201, "Char.Vitals {\"hp\":50,\"note\":\"\xFF\xFF\"}") +
                  Subnegotiation(201, "Core.Goodbye") + "after\r\n");
    const std::string hello =
        kOffers + Bytes({255, 253, 201}) +
        Subnegotiation(201, "Core.Hello {\"client\":\"OstrakClient\",\"version\":\"2.11\"}");
    ASSERT_TRUE(h.PumpUntilReceived(hello));
    ASSERT_TRUE(h.PumpUntilShown("after\r\n"));
    EXPECT_EQ(h.host.EventsStartingWith("gmcp:"),
              (std::vector<std::string>{"gmcp:Char.Vitals|{\"hp\":50,\"note\":\"\xFF\"}",
                                        "gmcp:Core.Goodbye|"}));
    EXPECT_EQ(h.host.shown, "after\r\n");

    EXPECT_TRUE(h.engine.SendGmcp("Core.Supports.Set", "[\"Char 1\"]"));
    ASSERT_TRUE(h.PumpUntilReceived(hello + Subnegotiation(201, "Core.Supports.Set [\"Char 1\"]")));
    h.engine.ShowTelnetReport();
    EXPECT_NE(h.host.events.back().find("[success]   WILL GMCP (201)"), std::string::npos);
}

TEST(TelnetServerText, SettingsChangedByAFilterApplyFromTheNextLineOfTheSameRead) {
    EngineHarness h;
    // The filter switches to Latin-1 at the second line: the lines after it in the same read
    // are looked at afresh, not passed on what was found under the old settings.
    h.host.filter = [&](std::string& line) {
        if (line.starts_with("latin")) {
            h.engine.SetServerTextSettings(WithEncoding(ServerEncoding::Latin1));
        }
    };
    ASSERT_TRUE(h.Connect());
    h.server.Send("caf\xE0\r\nlatin\r\ncaf\xE9\r\n\x1b[1mbold\r\n");
    ASSERT_TRUE(h.PumpUntil([&] { return h.host.lines.size() == 4; }));
    EXPECT_EQ(h.host.lines[0], "caf\xE0\r\n");
    EXPECT_EQ(h.host.lines[2],
              "caf\x1A"
              "e9\x1A\r\n");
    EXPECT_EQ(h.host.lines[3],
              "\xE0"
              "bold\r\n");
}
