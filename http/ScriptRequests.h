#pragma once

#include <chrono>
#include <memory>
#include <vector>

#include "base/ThreadEvent.h"
#include "http/DownloadRequest.h"
#include "script/ScriptInterface.h"

class CScriptHost;

// The scripts' HTTP requests in start order, and the event that stops their workers.
struct HttpRequests {
    std::vector<DownloadRequestPtr> requests;
    std::shared_ptr<CThreadEvent> stopEvent;
};

// Exists from StartScriptRequests to StopScriptRequests.
extern std::unique_ptr<HttpRequests> g_httpRequests;

// The native function "httpGet" (url, callback name[, file name]); user is unused.
bool HttpGet(ScriptCallContext* context, void* user);

// Creates g_httpRequests afresh (discarding an old one); false when it cannot be had.
bool StartScriptRequests();

// Stops the workers, waits for them up to wait, and discards every request without calling
// its callback. A worker that has not ended by then is left to end on its own.
void StopScriptRequests(std::chrono::milliseconds wait);

// Hands each finished request to its script callback, on the main thread. A failed callback
// leaves its text in the host's m_message and ends this round.
void DispatchScriptRequests(CScriptHost& host);
