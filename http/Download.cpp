// The download worker: one GET over a polled socket, paced by the stop event, reporting only
// through its request.
#include "http/Download.h"

#include <cstdint>
#include <string_view>
#include <system_error>

#include "http/HttpUrl.h"
#include "http/ResponseReader.h"
#include "net/Socket.h"
#include "net/TlsSocket.h"

namespace {

constexpr std::chrono::milliseconds kPollInterval{50};

std::uint64_t NowMs() {
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                          std::chrono::steady_clock::now().time_since_epoch())
                                          .count());
}

// What the creator hands the worker; the worker copies it before it signals `started`.
struct StartArguments {
    DownloadRequest* request;
    std::shared_ptr<CThreadEvent> stopEvent;
    std::shared_ptr<CThreadEvent> started;
    DownloadOptions options;
};

class CDownloadWorker {
  public:
    CDownloadWorker(DownloadRequest& request, std::shared_ptr<CThreadEvent> stopEvent,
                    DownloadOptions options)
        : m_request(request), m_stopEvent(std::move(stopEvent)), m_options(options) {}

    void Run() {
        Fetch();
        if (m_socket) m_socket->Close();
        if (m_request.file) {
            if (std::fclose(m_request.file) != 0 && m_request.error.empty() && !m_stopped)
                m_request.error = "Failed to write file \"" + m_request.fileName + "\"";
            m_request.file = nullptr;
        }
    }

  private:
    // True once the stop event is signalled; otherwise the pass waited its pacing interval.
    bool WaitForStop() {
        if (m_stopEvent) {
            m_stopped = m_stopEvent->Wait(kPollInterval);
        } else {
            std::this_thread::sleep_for(kPollInterval);
        }
        return m_stopped;
    }

    std::string ConnectFailure(const std::string& reason) {
        return "Failed to connect to " + m_target.HostAndPort() + " for httpGet(). " + reason;
    }

    void Fetch() {
        m_target = SplitUrl(m_request.url);
        if (m_target.tls) {
            m_socket.reset(new CTlsSocket(m_options.caFile));
        } else {
            m_socket.reset(new CSocket);
        }
        if (!m_socket->Connect(m_target.host.c_str(), m_target.port)) {
            m_request.error = ConnectFailure(m_socket->GetLastErrorText());
            return;
        }
        // A server can take the TCP connect and never answer the handshake; nothing else
        // would end that wait.
        const std::uint64_t deadline =
            NowMs() + static_cast<std::uint64_t>(m_options.inactivity.count());
        std::uint32_t state = kSocketConnecting;
        while (state == kSocketConnecting) {
            if (WaitForStop()) return;
            state = m_socket->CheckConnect();
            if (state == kSocketConnecting && m_target.tls && NowMs() >= deadline) {
                m_request.error =
                    ConnectFailure("TLS handshake failed: the server did not answer in time");
                return;
            }
        }
        if (state != kSocketConnected) {
            m_request.error = ConnectFailure(m_socket->GetLastErrorText());
            return;
        }
        const std::string request = BuildGetRequest(m_target);
        if (!m_socket->Send(request.data(), request.size())) m_socket->Close();
        m_socket->ClearError();
        Receive();
    }

    void Receive() {
        std::uint64_t lastActivity = NowMs();
        std::uint64_t total = 0;
        CResponseReader reader(m_request, lastActivity);
        const auto inactivity = static_cast<std::uint64_t>(m_options.inactivity.count());
        for (;;) {
            if (WaitForStop()) return;
            m_socket->FlushSend();
            const std::uint32_t status = m_socket->Receive();
            const std::size_t size = m_socket->GetBufferSize();
            const std::uint64_t now = NowMs();
            if (size > 0 || status != kReceiveOk) {
                total += size;
                const std::string_view bytes(m_socket->GetBuffer(), size);
                const CResponseReader::Result result =
                    reader.Take(bytes, status != kReceiveOk, now);
                m_socket->ClearBuffer();
                if (result == CResponseReader::Result::BodyFull) {
                    m_socket->Close();
                    break;
                }
                if (result == CResponseReader::Result::HeadersTooLong) {
                    m_request.error = "Failed to read data from " + m_target.HostAndPort() +
                                      " for httpGet(). Response headers longer than " +
                                      std::to_string(CResponseReader::kMaxHeaderBlock) + " bytes";
                    return;
                }
                if (result == CResponseReader::Result::WriteFailed) {
                    m_request.error = "Failed to write file \"" + m_request.fileName + "\"";
                    return;
                }
                lastActivity = now;
                if (status != kReceiveOk) break;
            } else if (now - lastActivity >= inactivity) {
                break;
            }
        }
        if (total == 0) {
            const std::string text = m_socket->GetLastErrorText();
            m_request.error = "Failed to read data from " + m_target.HostAndPort() +
                              " for httpGet(). " +
                              (text.empty() ? "Disconnected from server with no data read" : text);
        } else {
            m_request.error.clear();
        }
    }

    DownloadRequest& m_request;
    std::shared_ptr<CThreadEvent> m_stopEvent;
    DownloadOptions m_options;
    HttpTarget m_target;
    SocketPtr m_socket;
    bool m_stopped = false;
};

void DownloadWorker(StartArguments* arguments) {
    DownloadRequest* request = arguments->request;
    std::shared_ptr<CThreadEvent> stopEvent = arguments->stopEvent;
    const DownloadOptions options = arguments->options;
    std::shared_ptr<CThreadEvent> started = arguments->started;
    started->Signal();
    {
        CDownloadWorker worker(*request, std::move(stopEvent), options);
        worker.Run();
    }
    request->ended.store(true, std::memory_order_release);
    // The owner gave up waiting and left the request to this thread.
    if (request->handedOver.exchange(true, std::memory_order_acq_rel)) delete request;
}

}  // namespace

DownloadRequestPtr StartDownload(const std::string& url, const std::string& fileName,
                                 std::shared_ptr<CThreadEvent> stopEvent, std::string& error,
                                 DownloadOptions options) {
    std::FILE* file = nullptr;
    if (!fileName.empty()) {
        file = std::fopen(fileName.c_str(), "wb");
        if (!file) {
            error = "Failed to open file \"" + fileName + "\" for writing";
            return nullptr;
        }
    }
    DownloadRequestPtr request(new DownloadRequest);
    request->url = url;
    request->fileName = fileName;
    request->file = file;

    StartArguments arguments{request.get(), std::move(stopEvent),
                             std::make_shared<CThreadEvent>(false), options};
    try {
        request->thread = std::thread(DownloadWorker, &arguments);
    } catch (const std::system_error&) {
        // The request's destructor closes the file.
        error = "Failed to spawn worker thread for httpGet()";
        return nullptr;
    }
    while (!arguments.started->Wait(std::chrono::hours(1))) {
    }
    return request;
}
