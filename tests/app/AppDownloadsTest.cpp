// Downloads as the player and the scripts meet them: httpGet callbacks in the shipped Lua
// system, the update check, saving a link and /downloads, against web servers on 127.0.0.1.
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "http/ScriptRequests.h"
#include "tests/app/AppFixture.h"
#include "tests/support/HttpTestServer.h"
#include "tests/support/TlsTestServer.h"

namespace {

using Step = HttpTestServer::Step;
using Reply = HttpTestServer::Reply;

class AppDownloads : public AppFixture {
  protected:
    void SetUp() override {
        AppFixture::SetUp();
        const std::string library = m_dir.File("LuaScripting.so");
        std::filesystem::copy_file(OSTRAK_RUN_DIR "/LuaScripting.so", library);
        ASSERT_EQ(chmod(library.c_str(), 0755), 0);
        std::filesystem::create_directory(m_dir.File("scripts"));
    }

    // What the output pane gained since the last call.
    std::string NewOutput() {
        const std::string all = Output();
        std::string added = all.substr(std::min(m_seen, all.size()));
        m_seen = all.size();
        return added;
    }

    // Ticks until the new output holds needle, then takes the new output.
    std::string WaitForOutput(const std::string& needle) {
        TickUntil([&] { return Output().find(needle, m_seen) != std::string::npos; },
                  std::chrono::seconds(5));
        return NewOutput();
    }

    HttpTestServer m_server;
    std::size_t m_seen = 0;
};

TEST_F(AppDownloads, HttpGetDeliversEachResponseToTheLuaCallback) {
    m_server.RouteResponse("/page", "HTTP/1.1 200 OK", "hello");
    m_server.RouteResponse("/missing", "HTTP/1.1 404 Not Found", "gone away");
    m_server.Route("/silent", Reply{{Step{""}}});
    m_server.Route("/nul", Reply{{Step{std::string("HTTP/1.1 200 OK\r\n\r\na\0b", 22)}}});
    ASSERT_TRUE(Start());
    App().SubmitText(
        "/: function got(url, status, headers, body, err) "
        "print('got ' .. url .. ' ' .. status .. ' ' .. #headers .. ' [' .. body .. '] [' .. "
        "err .. ']\\r\\n') end\r\n");
    NewOutput();
    const std::string page = m_server.Url("/page");

    // The same address and callback twice while pending: one request.
    App().SubmitText("/: httpGet('" + page + "', 'got'); httpGet('" + page + "', 'got')\r\n");
    std::string output = WaitForOutput("got " + page);
    EXPECT_NE(output.find("got " + page + " 200 60 [hello] []"), std::string::npos) << output;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    App().OnTick();
    EXPECT_EQ(m_server.Requests().size(), 1u);
    EXPECT_EQ(NewOutput().find("got "), std::string::npos);

    // Once delivered, the same request may be made again, even from its own callback.
    App().SubmitText("/: function again(url) print('again\\r\\n') httpGet(url, 'got') end\r\n");
    App().SubmitText("/: httpGet('" + page + "', 'again')\r\n");
    output = WaitForOutput("got " + page);
    EXPECT_NE(output.find("again"), std::string::npos) << output;
    EXPECT_EQ(m_server.Requests().size(), 3u);

    const std::string missing = m_server.Url("/missing");
    App().SubmitText("/: httpGet('" + missing + "', 'got')\r\n");
    output = WaitForOutput("got " + missing);
    EXPECT_NE(output.find(" 404 "), std::string::npos) << output;
    EXPECT_NE(output.find("[gone away] []"), std::string::npos) << output;

    const std::string silent = m_server.Url("/silent");
    App().SubmitText("/: httpGet('" + silent + "', 'got')\r\n");
    output = WaitForOutput("got " + silent);
    EXPECT_NE(output.find(
                  " 0 0 [] [Failed to read data from 127.0.0.1:" + std::to_string(m_server.Port()) +
                  " for httpGet(). Disconnected from server with no data read]"),
              std::string::npos)
        << output;

    // In memory NUL bytes are dropped; with a file name the callback gets the name.
    const std::string nul = m_server.Url("/nul");
    App().SubmitText("/: httpGet('" + nul + "', 'got')\r\n");
    output = WaitForOutput("got " + nul);
    EXPECT_NE(output.find("[ab] []"), std::string::npos) << output;
    App().SubmitText("/: httpGet('" + nul + "', 'got', 'nul.bin')\r\n");
    output = WaitForOutput("got " + nul);
    EXPECT_NE(output.find("[nul.bin] []"), std::string::npos) << output;
    EXPECT_EQ(TempDir::Read(m_dir.File("nul.bin")), std::string("a\0b", 3));
}

TEST_F(AppDownloads, HttpGetRefusesBadCallsAndReportsMissingCallbacks) {
    m_server.RouteResponse("/page", "HTTP/1.1 200 OK", "hello");
    ASSERT_TRUE(Start());
    NewOutput();
    const struct {
        const char* call;
        const char* message;
    } cases[] = {
        {"httpGet('a')", "httpGet() expects two or three parameters"},
        {"httpGet('a', 'b', 'c', 'd')", "httpGet() expects two or three parameters"},
        {"httpGet(1, 'b')", "httpGet() expects a string as the first parameter"},
        {"httpGet('a', {})", "httpGet() expects a string as the second parameter"},
        {"httpGet('a', 'b', 3)", "httpGet() expects a string as the optional third parameter"},
        {"httpGet('a', 'b', 'no/such/folder/f')",
         "Failed to open file \"no/such/folder/f\" for writing"},
    };
    for (const auto& c : cases) {
        App().SubmitText(std::string("/: ") + c.call + "\r\n");
        const std::string output = NewOutput();
        EXPECT_NE(output.find(c.message), std::string::npos) << c.call << "\n" << output;
    }
    ASSERT_NE(g_httpRequests, nullptr);
    EXPECT_TRUE(g_httpRequests->requests.empty());

    // A callback that does not exist is reported once, in red, and the request is gone.
    App().SubmitText("/: httpGet('" + m_server.Url("/page") + "', 'nosuch')\r\n");
    const std::string output = WaitForOutput("nosuch");
    EXPECT_NE(output.find("Failed to call callback function \"nosuch\" for httpGet(): "),
              std::string::npos)
        << output;
    EXPECT_EQ(FormatOf("Failed to call callback").textColour, 0x0000ffu);
    EXPECT_TRUE(g_httpRequests->requests.empty());
}

TEST_F(AppDownloads, UpdateCheckReportsEachKindOfAnswer) {
    m_server.Route("/slow", Reply{{Step{"", 400}, Step{HttpTestServer::Response(
                                                      "HTTP/1.1 200 OK", "2.11\nx\nwhere")}}});
    m_server.Route("/silent", Reply{{Step{""}}});
    const struct {
        const char* body;
        const char* message;
    } answers[] = {
        {"2.11\nanything\nhttp://get/it", "No new updates available.\n"},
        {"2.12\r\nany line\r\nhttp://get/it\r\n",
         "A new version of OstrakClient (Version 2.12) is now available to download from "
         "http://get/it\n"},
        {"3.0\n",
         "Error checking for updates: Remote server responsed with incorrectly formatted "
         "response file\n"},
        {"1.20\nx\ny", "No new updates available.\n"},
        {"211\nx\ny",
         "Error checking for updates: Remote server responsed with incorrectly formatted "
         "response file\n"},
    };
    for (std::size_t i = 0; i < std::size(answers); ++i)
        m_server.RouteResponse("/v" + std::to_string(i), "HTTP/1.1 200 OK", answers[i].body);
    ASSERT_TRUE(Start());
    NewOutput();

    App().SubmitText("/checkupdates\r\n");
    EXPECT_NE(NewOutput().find("Failed to check for updates: Invalid \"UpdateCheckURL\" in "
                               "config file."),
              std::string::npos);

    for (std::size_t i = 0; i < std::size(answers); ++i) {
        App().Config().Set("UpdateCheckURL", "http://" + m_server.Url("/v" + std::to_string(i)));
        App().SubmitText("/checkupdates\r\n");
        const std::string output = WaitForOutput(answers[i].message);
        EXPECT_NE(output.find(answers[i].message), std::string::npos) << i << "\n" << output;
    }

    App().Config().Set("UpdateCheckURL", m_server.Url("/nothing"));
    App().SubmitText("/checkupdates\r\n");
    std::string output = WaitForOutput("responsed with:");
    EXPECT_NE(output.find("Error checking for updates: Remote server responsed with:\n"
                          "HTTP/1.1 404 Not Found\n"),
              std::string::npos)
        << output;
    EXPECT_EQ(FormatOf("Error checking for updates: Remote").textColour, 0x0000ffu);
    EXPECT_EQ(FormatOf("HTTP/1.1 404 Not Found").textColour, 0x00ffffu);

    App().Config().Set("UpdateCheckURL", m_server.Url("/silent"));
    App().SubmitText("/checkupdates\r\n");
    output = WaitForOutput("Error checking");
    EXPECT_NE(output.find("Error checking for updates: Failed to read data from"),
              std::string::npos)
        << output;

    // One check at a time; it is no download the player is shown.
    App().Config().Set("UpdateCheckURL", m_server.Url("/slow"));
    App().SubmitText("/checkupdates\r\n/checkupdates\r\n/downloads\r\n");
    output = NewOutput();
    EXPECT_NE(output.find("Update check already in progress.\n"), std::string::npos) << output;
    EXPECT_NE(output.find("Active downloads:\n+ No downloads in progress.\n"), std::string::npos)
        << output;
    WaitForOutput("No new updates");
    EXPECT_EQ(m_server.Requests().size(), std::size(answers) + 3);
}

TEST_F(AppDownloads, UpdateCheckAtStartUpOnlyWhenTheProgramConfigurationAsks) {
    m_server.RouteResponse("/v", "HTTP/1.1 200 OK", "2.11\nx\ny");
    WriteSettings("DoUpdateCheck = yes\nUpdateCheckURL = " + m_server.Url("/v") + "\n");
    ASSERT_TRUE(Start());
    EXPECT_TRUE(App().Downloads().empty());
    Shutdown();

    WriteProgramConfig("DoUpdateCheck = YES\nUpdateCheckURL = " + m_server.Url("/v") + "\n");
    ASSERT_TRUE(Start());
    ASSERT_EQ(App().Downloads().size(), 1u);
    EXPECT_NE(WaitForOutput("No new updates").find("No new updates available."), std::string::npos);
}

TEST_F(AppDownloads, HttpsUpdateCheckAndSavedLinkVerifyTheServer) {
    TempDir www;
    TempDir::Write(www.File("version.txt"), "2.12\nany line\nhttps://get/it\n");
    const std::string content(5000, 'e');
    TempDir::Write(www.File("data.bin"), content);
    TlsTestServer server({"-WWW"}, www.Path());
    if (!server.Ready()) GTEST_SKIP() << "openssl could not start a TLS server";
    const std::string base = "https://127.0.0.1:" + std::to_string(server.Port());
    ASSERT_TRUE(Start());
    NewOutput();

    // The system's trust, which does not know the test's CA: the player is told why.
    App().Config().Set("UpdateCheckURL", base + "/version.txt");
    App().SubmitText("/checkupdates\r\n");
    std::string output = WaitForOutput("Error checking");
    EXPECT_NE(output.find("Error checking for updates: Failed to connect to 127.0.0.1:" +
                          std::to_string(server.Port()) +
                          " for httpGet(). The server's certificate is not trusted ("),
              std::string::npos)
        << output;

    // The system's trust is looked up where the environment says, for this test the test's CA.
    struct TrustFromEnvironment {
        explicit TrustFromEnvironment(const std::string& file) {
            setenv("SSL_CERT_FILE", file.c_str(), 1);
        }
        ~TrustFromEnvironment() { unsetenv("SSL_CERT_FILE"); }
    } trust(server.CaFile());
    App().SubmitText("/checkupdates\r\n");
    output = WaitForOutput("is now available");
    EXPECT_NE(output.find("A new version of OstrakClient (Version 2.12) is now available to "
                          "download from https://get/it\n"),
              std::string::npos)
        << output;

    m_platform.m_fileTypes[".bin"] = "Binary data";
    m_platform.m_savePath = m_dir.File("saved.bin");
    PaneNotify notify;
    notify.sender = &App().OutputPane();
    notify.code = PaneNotifyCode::SaveUrl;
    notify.text = base + "/data.bin";
    App().OnNotify(notify);
    output = WaitForOutput("downloaded successfully");
    EXPECT_NE(output.find("\"" + notify.text + "\" downloaded successfully\n"), std::string::npos)
        << output;
    ASSERT_FALSE(m_platform.m_saveDialogs.empty());
    EXPECT_EQ(m_platform.m_saveDialogs.back().filters[0].pattern, "*.bin");
    EXPECT_EQ(TempDir::Read(m_dir.File("saved.bin")), content);
}

TEST_F(AppDownloads, SavedLinkDownloadsToTheChosenFileWithProgress) {
    const std::string content(8 * 1024, 'd');
    Reply slow{{Step{"HTTP/1.1 200 OK\r\nContent-Length: 8192\r\n\r\n"}}};
    for (std::size_t i = 0; i < content.size(); i += 1024)
        slow.steps.push_back(Step{content.substr(i, 1024), 120});
    m_server.Route("/files/data.bin", slow);
    ASSERT_TRUE(Start());
    m_platform.m_fileTypes[".bin"] = "Binary data";
    NewOutput();
    auto saveLink = [&](const std::string& link) {
        PaneNotify notify;
        notify.sender = &App().OutputPane();
        notify.code = PaneNotifyCode::SaveUrl;
        notify.text = link;
        App().OnNotify(notify);
    };
    const std::string link = "http://" + m_server.Url("/files/data.bin");

    // Cancelled: nothing starts.
    saveLink(link);
    ASSERT_EQ(m_platform.m_saveDialogs.size(), 1u);
    const RecordedSaveDialog& dialog = m_platform.m_saveDialogs[0];
    ASSERT_EQ(dialog.filters.size(), 2u);
    EXPECT_EQ(dialog.filters[0].description, "Binary data (*.bin)");
    EXPECT_EQ(dialog.filters[0].pattern, "*.bin");
    EXPECT_EQ(dialog.filters[1].description, "All Files");
    EXPECT_EQ(dialog.filters[1].pattern, "*.*");
    EXPECT_EQ(dialog.defaultExtension, "bin");
    EXPECT_TRUE(App().Downloads().empty());
    EXPECT_EQ(NewOutput(), "");

    m_platform.m_savePath = m_dir.File("missing-folder/data.bin");
    saveLink(link);
    EXPECT_NE(NewOutput().find("Failed to save URL: Failed to open file \"" +
                               m_platform.m_savePath + "\" for writing"),
              std::string::npos);

    m_platform.m_savePath = m_dir.File("data.bin");
    saveLink(link);
    EXPECT_NE(NewOutput().find("Download in progress. Type /downloads to view current downloads."),
              std::string::npos);
    std::string progress;
    TickUntil(
        [&] {
            App().SubmitText("/downloads\r\n");
            progress = NewOutput();
            return progress.find("KB (") != std::string::npos &&
                   progress.find("KB (0%)") == std::string::npos;
        },
        std::chrono::seconds(3));
    EXPECT_NE(progress.find("Active downloads:\n+ " + link + ": "), std::string::npos) << progress;
    EXPECT_NE(progress.find("%) at "), std::string::npos) << progress;
    const std::string done = WaitForOutput("downloaded successfully");
    EXPECT_NE(done.find("\"" + link + "\" downloaded successfully\n"), std::string::npos) << done;
    EXPECT_EQ(TempDir::Read(m_dir.File("data.bin")), content);
    EXPECT_TRUE(App().Downloads().empty());

    // A link without an extension offers all files only; a missing page is reported with the
    // server's headers.
    m_platform.m_savePath = m_dir.File("page");
    saveLink(m_server.Url("/no/page"));
    EXPECT_EQ(m_platform.m_saveDialogs.back().filters.size(), 1u);
    EXPECT_EQ(m_platform.m_saveDialogs.back().defaultExtension, "");
    const std::string report = WaitForOutput("responsed with:");
    EXPECT_NE(report.find("Error downloading \"" + m_server.Url("/no/page") +
                          "\": Remote server responsed with:\nHTTP/1.1 404 Not Found\n"),
              std::string::npos)
        << report;
}

}  // namespace
