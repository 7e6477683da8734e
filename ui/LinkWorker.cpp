#include "ui/LinkWorker.h"

#include <atomic>
#include <mutex>
#include <system_error>

#include "base/ThreadEvent.h"

// Everything the thread uses, owned jointly so a thread left running never reaches freed memory.
struct CLinkWorker::Shared {
    UrlOpener opener;
    CThreadEvent wake{false};
    CThreadEvent ended{true};
    std::mutex lock;
    std::string pending;
    std::atomic<bool> stop{false};
};

bool CLinkWorker::Start(UrlOpener opener) {
    Stop();
    auto shared = std::make_shared<Shared>();
    shared->opener = std::move(opener);
    try {
        m_thread = std::thread(&CLinkWorker::Run, shared);
    } catch (const std::system_error&) {
        return false;
    }
    m_shared = std::move(shared);
    return true;
}

void CLinkWorker::Run(std::shared_ptr<Shared> shared) {
    while (!shared->stop) {
        // A very long time-out instead of none: the clock arithmetic of "forever" overflows.
        if (!shared->wake.Wait(std::chrono::hours(1))) continue;
        std::string url;
        {
            std::lock_guard guard(shared->lock);
            url.swap(shared->pending);
        }
        if (!url.empty() && !shared->stop && shared->opener) shared->opener(url);
    }
    shared->ended.Signal();
}

bool CLinkWorker::Open(const std::string& url) {
    if (!m_shared) return false;
    {
        std::lock_guard guard(m_shared->lock);
        m_shared->pending = url;
    }
    m_shared->wake.Signal();
    return true;
}

bool CLinkWorker::Stop() {
    if (!m_shared) return true;
    m_shared->stop = true;
    m_shared->wake.Signal();
    const bool ended = m_shared->ended.Wait(m_stopWait);
    if (ended) {
        m_thread.join();
    } else {
        m_thread.detach();
    }
    m_shared.reset();
    return ended;
}
