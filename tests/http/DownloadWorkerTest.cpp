// Download workers against real web servers on 127.0.0.1: a scripted one that misbehaves on
// purpose, and busybox httpd serving real files.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "http/Download.h"
#include "http/ScriptRequests.h"
#include "tests/support/HttpTestServer.h"
#include "tests/support/SpawnedProcess.h"
#include "tests/support/TempDir.h"

namespace {

using namespace std::chrono_literals;
using Step = HttpTestServer::Step;
using Reply = HttpTestServer::Reply;

bool WaitForEnd(const DownloadRequest& request, std::chrono::milliseconds timeout = 5s) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!request.HasEnded() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(5ms);
    return request.HasEnded();
}

// Runs one download to its end (or fails the test).
DownloadRequestPtr Fetch(const std::string& url, const std::string& file = {},
                         DownloadOptions options = {}) {
    std::string error;
    DownloadRequestPtr request = StartDownload(url, file, nullptr, error, options);
    EXPECT_TRUE(request) << error;
    if (request) {
        EXPECT_TRUE(WaitForEnd(*request)) << url;
    }
    return request;
}

// A port on 127.0.0.1 that nothing listens on (bound, then let go).
std::uint16_t UnusedPort() {
    const int probe = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    bind(probe, reinterpret_cast<sockaddr*>(&address), length);
    getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length);
    close(probe);
    return ntohs(address.sin_port);
}

TEST(DownloadWorker, SendsOneGetAndKeepsStatusHeadersAndBody) {
    HttpTestServer server;
    server.RouteResponse("/", "HTTP/1.1 200 OK", "hello");
    server.RouteResponse("/missing", "HTTP/1.1 404 Not Found", "not here");
    const std::string address = "127.0.0.1:" + std::to_string(server.Port());

    // The scheme in any case, no path: "/" is asked for, on the given port.
    DownloadRequestPtr page = Fetch("HTTP://" + address);
    ASSERT_TRUE(page);
    EXPECT_EQ(page->error, "");
    EXPECT_EQ(page->status, 200);
    EXPECT_EQ(page->headers, "HTTP/1.1 200 OK\r\nContent-Length: 5\r\nContent-Type: text/plain");
    EXPECT_EQ(page->body, "hello");
    EXPECT_EQ(page->contentLength, 5);
    EXPECT_EQ(page->received, 5u);
    ASSERT_TRUE(server.WaitForRequests(1, 1s));
    EXPECT_EQ(server.Requests()[0],
              "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nUser-Agent: OstrakClientv2 HTTP "
              "GET\r\nConnection: Close\r\n\r\n");

    // Another status is no error: the caller sees it with the headers and the body.
    DownloadRequestPtr missing = Fetch(server.Url("/missing"));
    ASSERT_TRUE(missing);
    EXPECT_EQ(missing->error, "");
    EXPECT_EQ(missing->status, 404);
    EXPECT_EQ(missing->body, "not here");
}

TEST(DownloadWorker, MisbehavingServersEndWithWhatTheySent) {
    HttpTestServer server;
    // The header block ends with the connection: all of it is headers, the body is empty.
    server.Route("/open-headers", Reply{{Step{"HTTP/1.1 200 OK\r\nX-A: 1\r\nX-B"}}});
    // Accepted and closed without a byte.
    server.Route("/silent", Reply{{Step{""}}});
    // NUL bytes in the headers and the body, in pieces.
    server.Route("/nul", Reply{{Step{"HTTP/1.1 200 OK\r\nX-N: a", 30},
                                Step{std::string("\0b\r\n\r\nx\0y", 9), 30},
                                Step{std::string("\0\0z", 3)}}});
    // The blank line split across two arrivals.
    server.Route("/split", Reply{{Step{"HTTP/1.1 200 OK\r\n\r", 40}, Step{"\nbody"}}});
    // Headers that never end: refused once past the cap, long before the idle time.
    server.Route("/endless", Reply{{Step{"HTTP/1.1 200 OK\r\n"},
                                    Step{"X-Filler: " + std::string(1000, 'a') + "\r\n", 1, 200}},
                                   true});

    DownloadRequestPtr open = Fetch(server.Url("/open-headers"));
    EXPECT_EQ(open->error, "");
    EXPECT_EQ(open->headers, "HTTP/1.1 200 OK\r\nX-A: 1\r\nX-B");
    EXPECT_EQ(open->status, 200);
    EXPECT_EQ(open->body, "");

    DownloadRequestPtr silent = Fetch(server.Url("/silent"));
    EXPECT_EQ(silent->error, "Failed to read data from 127.0.0.1:" + std::to_string(server.Port()) +
                                 " for httpGet(). Disconnected from server with no data read");
    EXPECT_EQ(silent->status, 0);

    DownloadRequestPtr nul = Fetch(server.Url("/nul"));
    EXPECT_EQ(nul->headers, "HTTP/1.1 200 OK\r\nX-N: ab");
    EXPECT_EQ(nul->body, "xyz");
    EXPECT_EQ(nul->received, 6u);

    TempDir dir;
    DownloadRequestPtr toFile = Fetch(server.Url("/nul"), dir.File("nul.bin"));
    EXPECT_EQ(toFile->error, "");
    EXPECT_EQ(toFile->body, "");
    EXPECT_EQ(TempDir::Read(dir.File("nul.bin")), std::string("x\0y\0\0z", 6));

    DownloadRequestPtr split = Fetch(server.Url("/split"));
    EXPECT_EQ(split->headers, "HTTP/1.1 200 OK");
    EXPECT_EQ(split->body, "body");

    const auto started = std::chrono::steady_clock::now();
    DownloadRequestPtr endless = Fetch(server.Url("/endless"));
    EXPECT_LT(std::chrono::steady_clock::now() - started, 5s);
    EXPECT_EQ(endless->error,
              "Failed to read data from 127.0.0.1:" + std::to_string(server.Port()) +
                  " for httpGet(). Response headers longer than 65536 bytes");
    EXPECT_FALSE(endless->headersDone);
    EXPECT_EQ(endless->headers, "");
}

TEST(DownloadWorker, LimitsEndBodiesInMemoryButNotInFiles) {
    HttpTestServer server;
    const std::string chunk(256 * 1024, 'm');
    server.Route("/big", Reply{{Step{"HTTP/1.1 200 OK\r\n\r\n"}, Step{chunk, 0, 12}}});
    // Part of a body, then nothing more while the connection stays open.
    server.Route("/stalls",
                 Reply{{Step{HttpTestServer::Response("HTTP/1.1 200 OK", std::string(100, 's'))
                                 .substr(0, 90)}},
                       true});

    DownloadRequestPtr memory = Fetch(server.Url("/big"));
    EXPECT_EQ(memory->error, "");
    EXPECT_GE(memory->body.size(), 1024u * 1024u);
    EXPECT_LT(memory->body.size(), 3u * 1024u * 1024u);
    EXPECT_EQ(memory->received, memory->body.size());

    TempDir dir;
    DownloadRequestPtr file = Fetch(server.Url("/big"), dir.File("big.bin"));
    EXPECT_EQ(file->error, "");
    EXPECT_EQ(file->received, 12 * chunk.size());
    struct stat info {};
    ASSERT_EQ(stat(dir.File("big.bin").c_str(), &info), 0);
    EXPECT_EQ(static_cast<std::uint64_t>(info.st_size), 12 * chunk.size());

    DownloadOptions quick;
    quick.inactivity = 300ms;
    DownloadRequestPtr stalled = Fetch(server.Url("/stalls"), {}, quick);
    EXPECT_EQ(stalled->error, "");
    EXPECT_EQ(stalled->status, 200);
    EXPECT_EQ(stalled->contentLength, 100);
    EXPECT_GT(stalled->received, 0u);
    EXPECT_LT(stalled->received, 100u);
}

TEST(DownloadWorker, ConnectAndFileFailuresAreReported) {
    const std::uint16_t port = UnusedPort();
    DownloadRequestPtr refused = Fetch("127.0.0.1:" + std::to_string(port) + "/x");
    const std::string prefix =
        "Failed to connect to 127.0.0.1:" + std::to_string(port) + " for httpGet(). ";
    EXPECT_EQ(refused->error.substr(0, prefix.size()), prefix);
    EXPECT_NE(refused->error.find("WinSock Error Code 10061"), std::string::npos) << refused->error;

    std::string error;
    TempDir dir;
    const std::string folder = dir.File("no-such-folder/file");
    EXPECT_FALSE(StartDownload("127.0.0.1:1/", folder, nullptr, error));
    EXPECT_EQ(error, "Failed to open file \"" + folder + "\" for writing");
}

TEST(DownloadWorker, StopEventEndsAWorkerAtOnceWithoutAnError) {
    HttpTestServer server;
    server.Route("/slow", Reply{{Step{"HTTP/1.1 200 OK\r\n\r\n"}, Step{"x", 50, 200}}});
    auto stop = std::make_shared<CThreadEvent>(true);
    std::string error;
    DownloadRequestPtr request = StartDownload(server.Url("/slow"), {}, stop, error);
    ASSERT_TRUE(request);
    ASSERT_TRUE(server.WaitForRequests(1, 2s));
    std::this_thread::sleep_for(200ms);
    EXPECT_FALSE(request->HasEnded());
    stop->Signal();
    EXPECT_TRUE(WaitForEnd(*request, 1s));
    EXPECT_EQ(request->error, "");
    EXPECT_TRUE(request->headersDone);
}

// A worker that cannot end within the wait is left to itself: it deletes its own request
// later, and nothing frees what it still uses (the sanitizer build watches that).
TEST(DownloadWorker, WorkerThatOutlivesShutdownKeepsItsRequest) {
    HttpTestServer server;
    server.Route("/flood", Reply{{Step{"HTTP/1.1 200 OK\r\n\r\n"},
                                  Step{std::string(64 * 1024, 'f'), 0, 64}}});
    TempDir dir;
    const std::string fifo = dir.File("pipe");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    // A reader that reads nothing yet: the worker's writes block once the pipe is full.
    const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);

    ASSERT_TRUE(StartScriptRequests());
    std::string error;
    g_httpRequests->requests.push_back(
        StartDownload(server.Url("/flood"), fifo, g_httpRequests->stopEvent, error));
    ASSERT_TRUE(g_httpRequests->requests.back()) << error;
    std::this_thread::sleep_for(300ms);
    const auto started = std::chrono::steady_clock::now();
    StopScriptRequests(200ms);
    EXPECT_LT(std::chrono::steady_clock::now() - started, 2s);
    EXPECT_EQ(g_httpRequests, nullptr);

    // Draining the pipe lets the worker see the stop and end; the writer's end closes.
    char buffer[65536];
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    bool closed = false;
    while (!closed && std::chrono::steady_clock::now() < deadline) {
        const ssize_t count = read(reader, buffer, sizeof buffer);
        if (count == 0) closed = true;
        if (count < 0) std::this_thread::sleep_for(5ms);
    }
    close(reader);
    EXPECT_TRUE(closed);
    std::this_thread::sleep_for(100ms);
}

TEST(DownloadWorker, RealWebServerServesFilesAndMissingPages) {
    const std::string busybox = SpawnedProcess::FindProgram("busybox");
    if (busybox.empty()) GTEST_SKIP() << "busybox is not installed";
    TempDir root;
    std::string binary;
    for (int i = 0; i < 70000; ++i) binary += static_cast<char>(i * 7 % 256);
    TempDir::Write(root.File("data.bin"), binary);
    TempDir::Write(root.File("index.html"), "<p>home</p>\n");

    SpawnedProcess httpd;
    std::uint16_t port = 0;
    DownloadRequestPtr home;
    // The port is chosen free, then taken by the server; another program may win it between.
    for (int attempt = 0; attempt < 5 && !home; ++attempt) {
        port = UnusedPort();
        ASSERT_TRUE(httpd.Start({busybox, "httpd", "-f", "-p", "127.0.0.1:" + std::to_string(port),
                                 "-h", root.Path()}));
        for (int wait = 0; wait < 40 && !home; ++wait) {
            std::this_thread::sleep_for(25ms);
            DownloadRequestPtr probe = Fetch("http://127.0.0.1:" + std::to_string(port) + "/");
            if (probe && probe->error.empty()) home = std::move(probe);
        }
        if (!home) httpd.Stop();
    }
    ASSERT_TRUE(home);
    const std::string base = "127.0.0.1:" + std::to_string(port);
    EXPECT_EQ(home->status, 200);
    EXPECT_EQ(home->body, "<p>home</p>\n");

    TempDir out;
    DownloadRequestPtr data = Fetch(base + "/data.bin", out.File("copy.bin"));
    EXPECT_EQ(data->error, "");
    EXPECT_EQ(data->status, 200);
    EXPECT_EQ(data->contentLength, 70000);
    EXPECT_EQ(TempDir::Read(out.File("copy.bin")), binary);

    DownloadRequestPtr missing = Fetch(base + "/nothing.txt");
    EXPECT_EQ(missing->error, "");
    EXPECT_EQ(missing->status, 404);
    EXPECT_FALSE(missing->body.empty());
    httpd.Stop();
}

}  // namespace
