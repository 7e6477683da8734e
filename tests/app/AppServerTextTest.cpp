// A modern game server as the player meets it: ANSI colours in the palette the settings give,
// UTF-8 text both ways, and GMCP in and out through a Lua script.
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "tests/app/AppFixture.h"
#include "tests/support/RecordingPaneControl.h"
#include "ui/PaneNotify.h"

namespace {

std::string Gmcp(const std::string& body) {
    return std::string("\xFF\xFA\xC9") + body + "\xFF\xF0";
}

class AppServerText : public AppFixture {
  protected:
    void EnterLine(const std::u16string& typed) {
        IPaneControl* input = App().InputLine().Control();
        for (char16_t c : typed) input->ReplaceSelectionUtf16(c, true);
        PaneNotify entered;
        entered.sender = &App().InputLine();
        entered.code = PaneNotifyCode::LineEntered;
        App().OnNotify(entered);
    }

    std::u16string OutputUtf16() {
        return static_cast<RecordingPaneControl&>(*App().OutputPane().Control()).TextUtf16();
    }
};

TEST_F(AppServerText, ColoursFromThePaletteSettingAndUtf8TextBothWays) {
    WriteProgramConfig("ServerEncoding = utf-8\nAnsiColour1 = 112233\nAnsiColour9 = 0x445566\n");
    ScriptedTelnetServer server;
    ASSERT_TRUE(Start());
    ASSERT_TRUE(Connect(server));
    server.Send("\x1b[31mcaf\xC3\xA9 \x1b[1mbold\x1b[0m plain \xE2\x9C\x93\r\n");
    ASSERT_TRUE(TickUntil([&] { return Output().find("plain") != std::string::npos; }));
    EXPECT_EQ(FormatOf("caf").textColour, 0x332211u);
    EXPECT_EQ(FormatOf("bold").textColour, 0x665544u);
    EXPECT_NE(OutputUtf16().find(u"caf\u00e9 bold plain \u2713"), std::u16string::npos);

    EnterLine(u"say caf\u00e9 \u041f\u0440\u0438\u0432\u0435\u0442");
    EXPECT_TRUE(server.WaitForReceived(
        "say caf\xC3\xA9 \xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82\r\n"));
}

TEST_F(AppServerText, NativeDefaultsLeaveTheClientsOwnCodesAndTypedBytesAlone) {
    ScriptedTelnetServer server;
    ASSERT_TRUE(Start());
    ASSERT_TRUE(Connect(server));
    server.Send(
        "\xE0"
        "bold\xBE \xC4"
        "00ff00green\r\n");
    ASSERT_TRUE(TickUntil([&] { return Output().find("green") != std::string::npos; }));
    EXPECT_TRUE(FormatOf("bold").effects & CharFormat::kBold);
    EXPECT_EQ(FormatOf("green").textColour, 0x00ff00u);
    EnterLine(u"caf\u00e9");
    EXPECT_TRUE(server.WaitForReceived("caf\xE9\r\n"));
}

TEST_F(AppServerText, LuaScriptGetsGmcpAndSendsIt) {
    const std::string library = m_dir.File("LuaScripting.so");
    std::filesystem::copy_file(OSTRAK_RUN_DIR "/LuaScripting.so", library);
    ASSERT_EQ(chmod(library.c_str(), 0755), 0);
    std::filesystem::create_directory(m_dir.File("scripts"));
    ScriptedTelnetServer server;
    ASSERT_TRUE(Start());
    ASSERT_TRUE(Connect(server));
    App().SubmitText(
        "/: function onGmcp(package, json) println('GMCP ' .. package .. ' ' .. json) "
        "sendGMCP('Core.Supports.Set', '[\"Char 1\"]') end "
        "register_event('onGMCP', 'onGmcp')\r\n");
    server.Send(std::string("\xFF\xFB\xC9") + Gmcp("Char.Vitals {\"hp\":42,\"maxhp\":50}"));
    const std::string hello = Gmcp("Core.Hello {\"client\":\"OstrakClient\",\"version\":\"2.11\"}");
    ASSERT_TRUE(TickUntil([&] {
        return server.Received().find(hello + Gmcp("Core.Supports.Set [\"Char 1\"]")) !=
               std::string::npos;
    }));
    EXPECT_NE(Output().find("GMCP Char.Vitals {\"hp\":42,\"maxhp\":50}\n"), std::string::npos)
        << Output();

    App().SubmitText("/: println('sent ' .. sendGMCP('Core.Ping'))\r\n");
    EXPECT_NE(Output().find("sent 1\n"), std::string::npos);
    EXPECT_TRUE(server.WaitForReceived(Gmcp("Core.Ping")));
    App().SubmitText("/dump\r\n");
    EXPECT_NE(Output().find("Registered onGMCP callbacks:\n   onGmcp (lua script)"),
              std::string::npos)
        << Output();
    App().SubmitText("/: sendGMCP(1)\r\n");
    EXPECT_NE(Output().find("sendGMCP expects a string as the first parameter"), std::string::npos);
}

}  // namespace
