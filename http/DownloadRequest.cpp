#include "http/DownloadRequest.h"

DownloadRequest::~DownloadRequest() {
    // Only the worker itself can get here with its thread still joinable and running (it
    // deletes a request it was left with); it has closed the file already.
    if (thread.joinable()) thread.detach();
    if (file) std::fclose(file);
}

void DownloadRequestRelease::operator()(DownloadRequest* request) const {
    if (!request) return;
    if (!request->thread.joinable()) {
        delete request;
        return;
    }
    if (request->HasEnded()) {
        request->thread.join();
        delete request;
        return;
    }
    request->thread.detach();
    if (request->handedOver.exchange(true, std::memory_order_acq_rel)) delete request;
}
