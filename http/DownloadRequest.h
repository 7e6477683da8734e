#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>

// The record through which a download worker reports to the main thread. The worker writes
// only its own request and sets `ended` last; the main thread reads the request only after it
// has seen `ended`, except for the progress counters, which /downloads reads while it runs and
// which are atomic for that reason.
struct DownloadRequest {
    enum Kind : std::int32_t { kUserDownload = 0, kUpdateCheck = 1 };

    DownloadRequest() = default;
    DownloadRequest(const DownloadRequest&) = delete;
    DownloadRequest& operator=(const DownloadRequest&) = delete;
    ~DownloadRequest();

    bool HasEnded() const { return ended.load(std::memory_order_acquire); }

    // Script requests only: which system asked, and which of its functions gets the result.
    std::string extension;
    std::string callback;
    std::string url;
    // The response header block without its blank line, and the body kept in memory; both
    // without NUL bytes.
    std::string headers;
    std::string body;
    // Where the body goes instead of `body`; the worker closes the file as it ends.
    std::string fileName;
    std::FILE* file = nullptr;
    std::string error;
    std::atomic<bool> headersDone{false};
    std::atomic<std::int32_t> status{0};
    std::atomic<std::int32_t> contentLength{0};
    std::atomic<std::uint64_t> received{0};
    // Recent transfer rate in bytes per second.
    std::atomic<std::int32_t> rate{0};
    std::int32_t kind = kUserDownload;
    std::thread thread;
    std::atomic<bool> ended{false};
    // Set by whichever of the worker and the owner lets go of the request first; the second
    // one deletes it. Only a request given up on while its worker runs ever gets here.
    std::atomic<bool> handedOver{false};
};

// Deletes a request the only safe way: a request whose worker has ended (or never ran) is
// deleted at once, after its thread is joined; one whose worker still runs is left to it, and
// the worker deletes it when it ends. Nothing ever kills a worker.
struct DownloadRequestRelease {
    DownloadRequestRelease() = default;
    // Requests made with make_unique may be handed to lists of DownloadRequestPtr.
    DownloadRequestRelease(std::default_delete<DownloadRequest>) {}
    void operator()(DownloadRequest* request) const;
};
using DownloadRequestPtr = std::unique_ptr<DownloadRequest, DownloadRequestRelease>;
