#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>

// Opens a URL with the desktop's handler. Runs on the link worker's thread, so it must not touch
// user-interface objects, and it must stay usable after the pane is gone (a worker that did not
// stop in time is left running).
using UrlOpener = std::function<void(const std::string& url)>;

// A pane's own thread that opens URLs, so a slow browser start never blocks the window. A URL
// handed over before the worker took the previous one replaces it: only the last is opened.
class CLinkWorker {
  public:
    static constexpr std::chrono::milliseconds kStopWait{5000};

    explicit CLinkWorker(std::chrono::milliseconds stopWait = kStopWait) : m_stopWait(stopWait) {}
    ~CLinkWorker() { Stop(); }
    CLinkWorker(const CLinkWorker&) = delete;
    CLinkWorker& operator=(const CLinkWorker&) = delete;

    // Starts the thread; a running worker is stopped first. False when no thread could start.
    bool Start(UrlOpener opener);
    // Waits for the thread up to the stop wait; a thread still busy then is left to end by
    // itself (threads are never killed). True when it ended in time or none was running.
    bool Stop();
    // Sets the URL to open next and wakes the worker; false when no worker runs.
    bool Open(const std::string& url);
    bool Running() const { return m_shared != nullptr; }

  private:
    struct Shared;
    static void Run(std::shared_ptr<Shared> shared);

    std::chrono::milliseconds m_stopWait;
    std::shared_ptr<Shared> m_shared;
    std::thread m_thread;
};
