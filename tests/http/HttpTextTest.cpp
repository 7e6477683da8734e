// The pure text work of downloads: splitting addresses, reading header blocks, the update
// server's file, a saved link's extension and the /downloads arithmetic.
#include <gtest/gtest.h>

#include <string>

#include "http/HttpUrl.h"
#include "http/LinkSave.h"
#include "http/ResponseReader.h"
#include "http/UpdateFile.h"

namespace {

TEST(HttpUrl, AddressesSplitIntoHostPortAndPath) {
    struct Case {
        const char* url;
        const char* host;
        std::uint16_t port;
        const char* path;
        bool tls = false;
    };
    const Case cases[] = {
        {"example/index.html", "example", 80, "/index.html"},
        {"example:8080", "example", 8080, "/"},
        {"http://example:8080", "example", 8080, "/"},
        {"HtTp://example:8080", "example", 8080, "/"},
        {"example:abc/x", "example", 80, "/x"},
        {"example:70000/x", "example", 80, "/x"},
        {"example:-1/x", "example", 80, "/x"},
        {"example:81:82/a:b/c", "example", 81, "/a:b/c"},
        {"http://host/a?q=1#f", "host", 80, "/a?q=1#f"},
        // The TLS scheme in any case, with its own default port.
        {"https://host/x", "host", 443, "/x", true},
        {"HTTPS://host:8443", "host", 8443, "/", true},
        {"https://host:abc/x", "host", 443, "/x", true},
        // No other scheme is known: it is read as a host part.
        {"ftp://host/x", "ftp", 80, "//host/x"},
        {"httpss://host/x", "httpss", 80, "//host/x"},
    };
    for (const Case& c : cases) {
        const HttpTarget target = SplitUrl(c.url);
        EXPECT_EQ(target.host, c.host) << c.url;
        EXPECT_EQ(target.port, c.port) << c.url;
        EXPECT_EQ(target.path, c.path) << c.url;
        EXPECT_EQ(target.tls, c.tls) << c.url;
    }
    EXPECT_EQ(BuildGetRequest(SplitUrl("example:8080/a b")),
              "GET /a b HTTP/1.1\r\nHost: example\r\nUser-Agent: OstrakClientv2 HTTP "
              "GET\r\nConnection: Close\r\n\r\n");
}

TEST(HttpHeaders, StatusAndContentLengthAreReadFromTheBlock) {
    struct Case {
        const char* headers;
        std::int32_t status;
        std::int32_t contentLength;
    };
    const Case cases[] = {
        {"HTTP/1.1 200 OK\r\nContent-Length: 42", 200, 42},
        {"http/1.0 404 Not Found\r\ncontent-length:7\r\nX: y", 404, 7},
        {"HTTP/1.1 301 Moved\r\nCONTENT-LENGTH:    12 \r\n", 301, 12},
        // No space after the code anywhere: no status.
        {"HTTP/1.1 200", 0, 0},
        {"HTTP/2 200 OK\r\nContent-Length: 5", 0, 5},
        {"HTTP/1.1 abc OK\r\nContent-Length: many", 0, 0},
        {"HTTP/1.1 200 OK\r\nContent-Length: 99999999999", 200, 0},
        {"", 0, 0},
    };
    for (const Case& c : cases) {
        DownloadRequest request;
        request.headers = c.headers;
        ParseResponseHeaders(request);
        EXPECT_EQ(request.status, c.status) << c.headers;
        EXPECT_EQ(request.contentLength, c.contentLength) << c.headers;
    }
}

TEST(UpdateFile, VersionLineDecidesAndTheRestSaysWhere) {
    struct Case {
        const char* body;
        UpdateFileVerdict::Kind kind;
        const char* version;
        const char* location;
    };
    const Case cases[] = {
        {"2.11\nanything\nhttp://get/it", UpdateFileVerdict::NoUpdate, "", ""},
        {"2.12\r\nany line\r\nhttp://get/it\r\n", UpdateFileVerdict::NewVersion, "2.12",
         "http://get/it"},
        {"3.0\n", UpdateFileVerdict::Malformed, "", ""},
        {"1.20\nx\ny", UpdateFileVerdict::NoUpdate, "", ""},
        {"2.10\nx\ny", UpdateFileVerdict::NoUpdate, "", ""},
        {"3.1\n\nwhere", UpdateFileVerdict::NewVersion, "3.1", "where"},
        {" 2 . 12 \t\nx\n a b\xe9 c \n", UpdateFileVerdict::NewVersion, "2.12", "abc"},
        {"211\nx\ny", UpdateFileVerdict::Malformed, "", ""},
        {"2.12", UpdateFileVerdict::Malformed, "", ""},
        {"", UpdateFileVerdict::Malformed, "", ""},
        // A minor without digits counts as 0; a major without digits too.
        {"3.x\na\nb", UpdateFileVerdict::NewVersion, "3.x", "b"},
        {"x.99\na\nb", UpdateFileVerdict::NoUpdate, "", ""},
    };
    for (const Case& c : cases) {
        const UpdateFileVerdict verdict = ReadUpdateFile(c.body, 2, 11);
        EXPECT_EQ(verdict.kind, c.kind) << c.body;
        EXPECT_EQ(verdict.version, c.version) << c.body;
        EXPECT_EQ(verdict.location, c.location) << c.body;
    }
}

TEST(LinkSave, ExtensionComesFromTheLastPathSegment) {
    EXPECT_EQ(LinkExtension("http://host/files/setup.exe"), ".exe");
    EXPECT_EQ(LinkExtension("http://host/files/pack.tar.gz"), ".tar.gz");
    EXPECT_EQ(LinkExtension("http://host.example/readme"), "");
    EXPECT_EQ(LinkExtension("http://host.example"), "");
    EXPECT_EQ(LinkExtension("https://host.example"), "");
    EXPECT_EQ(LinkExtension("https://host/files/pack.tar.gz"), ".tar.gz");
    // The scheme is matched with its case: an upper-case one keeps its slashes.
    EXPECT_EQ(LinkExtension("HTTP://host.example"), ".example");
    EXPECT_EQ(LinkExtension("www.host.org/dir.d/file"), "");
}

TEST(DownloadListing, ProgressLinesShowKilobytesShareAndRate) {
    DownloadRequest request;
    request.url = "h/f";
    EXPECT_EQ(DownloadProgressLine(request), "+ h/f: Connecting...\r\n");
    request.headersDone = true;
    request.received = 5 * 1024 + 1000;
    request.rate = 3 * 1024 + 1023;
    EXPECT_EQ(DownloadProgressLine(request), "+ h/f: 5KB (Unknown size) at 3KB/s\r\n");
    request.contentLength = 20 * 1024 + 500;
    EXPECT_EQ(DownloadProgressLine(request), "+ h/f: 5KB (25%) at 3KB/s\r\n");
    request.contentLength = -4096;
    EXPECT_EQ(DownloadProgressLine(request), "+ h/f: 5KB (Unknown size) at 3KB/s\r\n");

    // Under one KiB the share comes from the bytes, never a division by zero.
    EXPECT_EQ(DownloadPercent(0, 1000), 0);
    EXPECT_EQ(DownloadPercent(500, 1000), 50);
    EXPECT_EQ(DownloadPercent(1000, 1000), 100);
    EXPECT_EQ(DownloadPercent(1, 1), 100);
    // From one KiB on, whole kilobytes as the list always counted them.
    EXPECT_EQ(DownloadPercent(1023, 2048), 0);
    EXPECT_EQ(DownloadPercent(1024, 2048), 50);
    // Large counts do not wrap.
    EXPECT_EQ(DownloadPercent(std::uint64_t{50} << 30, 0x7fffffff), 2500);
}

}  // namespace
