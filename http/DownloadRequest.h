#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

// The record through which a download worker reports to the main thread. The worker writes
// only its own request and sets `ended` last; the main thread takes the request over only
// after it has seen `ended`.
struct DownloadRequest {
    enum Kind : std::int32_t { kUserDownload = 0, kUpdateCheck = 1 };

    DownloadRequest() = default;
    DownloadRequest(const DownloadRequest&) = delete;
    DownloadRequest& operator=(const DownloadRequest&) = delete;
    // Deleting a request closes its thread: it waits for a worker that has ended, and lets go
    // of one that has not.
    ~DownloadRequest() {
        if (thread.joinable()) {
            if (ended.load()) {
                thread.join();
            } else {
                thread.detach();
            }
        }
    }

    bool HasEnded() const { return ended.load(std::memory_order_acquire); }

    std::string url;
    std::string file;
    std::int32_t kind = kUserDownload;
    std::string error;
    std::int32_t status = 0;
    std::string headers;
    std::string body;
    std::thread thread;
    std::atomic<bool> ended{false};
};
