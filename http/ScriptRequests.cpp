#include "http/ScriptRequests.h"

#include <new>
#include <string>
#include <thread>

#include "http/Download.h"
#include "script/ScriptCallHelpers.h"
#include "script/ScriptHost.h"

std::unique_ptr<HttpRequests> g_httpRequests;

namespace {

bool IsPending(const std::string& url, const std::string& callback) {
    for (const DownloadRequestPtr& request : g_httpRequests->requests) {
        if (request->url == url && request->callback == callback) return true;
    }
    return false;
}

// Calls the request's callback; false with the host's m_message set when that failed.
bool DeliverToCallback(CScriptHost& host, DownloadRequest& request) {
    const bool wroteFile = !request.fileName.empty();
    ScriptValue arguments[5] = {
        MakeTextValue(request.url.c_str()),
        MakeIntValue(request.status),
        MakeTextValue(request.headers.c_str()),
        MakeTextValue(wroteFile ? request.fileName.c_str() : request.body.c_str()),
        MakeTextValue(request.error.c_str()),
    };
    bool called = false;
    std::string failure;
    if (ScriptSystem* system = host.FindSystem(request.extension)) {
        const ScriptValue* results = nullptr;
        std::uint64_t resultCount = 0;
        called =
            system->CallFunction(request.callback.c_str(), 5, arguments, &results, &resultCount);
        if (!called) {
            const char* text = system->GetErrorText();
            failure = text ? text : "";
        }
    } else {
        failure = host.m_message;
    }
    for (ScriptValue& argument : arguments) DestroyScriptValue(&argument);
    if (!called) {
        host.m_message = "Failed to call callback function \"" + request.callback +
                         "\" for httpGet(): " + failure;
    }
    return called;
}

}  // namespace

bool HttpGet(ScriptCallContext* context, void*) {
    const std::uint64_t count = context->GetParameterCount();
    if (count < 2 || count > 3) {
        context->SetError("httpGet() expects two or three parameters");
        return false;
    }
    std::string url;
    std::string callback;
    std::string fileName;
    if (!FetchText(context, 0, url)) {
        context->SetError("httpGet() expects a string as the first parameter");
        return false;
    }
    if (!FetchText(context, 1, callback)) {
        context->SetError("httpGet() expects a string as the second parameter");
        return false;
    }
    if (count == 3 && !FetchText(context, 2, fileName)) {
        context->SetError("httpGet() expects a string as the optional third parameter");
        return false;
    }
    if (!g_httpRequests) {
        context->SetError("httpGet() is not available while the client shuts down");
        return false;
    }
    if (IsPending(url, callback)) return true;
    std::string error;
    DownloadRequestPtr request = StartDownload(url, fileName, g_httpRequests->stopEvent, error);
    if (!request) {
        context->SetError(error.c_str());
        return false;
    }
    const char* extension = context->GetExtension();
    request->extension = extension ? extension : "";
    request->callback = callback;
    g_httpRequests->requests.push_back(std::move(request));
    return true;
}

bool StartScriptRequests() {
    g_httpRequests.reset();
    auto requests = std::unique_ptr<HttpRequests>(new (std::nothrow) HttpRequests);
    if (!requests) return false;
    requests->stopEvent = std::make_shared<CThreadEvent>(true);
    g_httpRequests = std::move(requests);
    return true;
}

void StopScriptRequests(std::chrono::milliseconds wait) {
    if (!g_httpRequests) return;
    std::vector<DownloadRequestPtr>& requests = g_httpRequests->requests;
    if (!requests.empty()) {
        g_httpRequests->stopEvent->Signal();
        const auto deadline = std::chrono::steady_clock::now() + wait;
        auto allEnded = [&] {
            for (const DownloadRequestPtr& request : requests) {
                if (!request->HasEnded()) return false;
            }
            return true;
        };
        while (!allEnded() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    // A request whose worker still runs is left to that worker (see DownloadRequestRelease).
    requests.clear();
    g_httpRequests.reset();
}

void DispatchScriptRequests(CScriptHost& host) {
    if (!g_httpRequests) return;
    std::vector<DownloadRequestPtr>& requests = g_httpRequests->requests;
    for (std::size_t i = 0; i < requests.size();) {
        if (!requests[i]->HasEnded()) {
            ++i;
            continue;
        }
        // Taken out of the list before the call, so a callback that calls httpGet again (even
        // for the same address) starts a new request instead of finding this one.
        DownloadRequestPtr request = std::move(requests[i]);
        requests.erase(requests.begin() + static_cast<std::ptrdiff_t>(i));
        if (!DeliverToCallback(host, *request)) return;
    }
}
