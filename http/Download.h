#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "base/ThreadEvent.h"
#include "http/DownloadRequest.h"

struct DownloadOptions {
    // A response from which nothing arrives for this long completes with what it has; a TLS
    // connect that has not finished its handshake by then fails.
    std::chrono::milliseconds inactivity{15000};
    // Certificates trusted for "https://" in place of the system's; for tests.
    std::string caFile;
};

// Starts a GET of url on a worker thread of its own. With a file name the body is written to
// that file (created or truncated), otherwise it is kept in the request. The worker watches
// stopEvent (may be null) and ends soon after it is signalled; it keeps the event alive as
// long as it needs it. Null with error set when the file cannot be opened or no thread can be
// started.
DownloadRequestPtr StartDownload(const std::string& url, const std::string& fileName,
                                 std::shared_ptr<CThreadEvent> stopEvent, std::string& error,
                                 DownloadOptions options = {});
