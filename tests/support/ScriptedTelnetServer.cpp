#include "tests/support/ScriptedTelnetServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace {

using Clock = std::chrono::steady_clock;

constexpr char kClientStart2[] = "\xFF\xFA\x56\xFF\xF0";
constexpr char kClientStart1[] = "\xFF\xFA\x55\xFB\xF0";

std::size_t FindClientStart(const std::string& bytes, std::size_t from) {
    const std::size_t v2 = bytes.find(std::string_view(kClientStart2, 5), from);
    const std::size_t v1 = bytes.find(std::string_view(kClientStart1, 5), from);
    return v2 < v1 ? v2 : v1;
}

}  // namespace

ScriptedTelnetServer::ScriptedTelnetServer(ScriptedServerOptions options) : m_options(options) {
    m_listener = socket(m_options.ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_listener < 0) return;
    sockaddr_storage address{};
    socklen_t length = sizeof(sockaddr_in);
    if (m_options.ipv6) {
        auto& six = reinterpret_cast<sockaddr_in6&>(address);
        six.sin6_family = AF_INET6;
        six.sin6_addr = in6addr_loopback;
        length = sizeof(sockaddr_in6);
        const int only = 1;  // ::1 alone, so a client that reaches it spoke IPv6
        setsockopt(m_listener, IPPROTO_IPV6, IPV6_V6ONLY, &only, sizeof(only));
    } else {
        auto& four = reinterpret_cast<sockaddr_in&>(address);
        four.sin_family = AF_INET;
        four.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    }
    if (bind(m_listener, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        listen(m_listener, 4) != 0 ||
        getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        close(m_listener);
        m_listener = -1;
        return;
    }
    m_port = ntohs(m_options.ipv6 ? reinterpret_cast<sockaddr_in6&>(address).sin6_port
                                  : reinterpret_cast<sockaddr_in&>(address).sin_port);
    m_thread = std::thread([this] { Run(); });
}

ScriptedTelnetServer::~ScriptedTelnetServer() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    if (m_thread.joinable()) m_thread.join();
    if (m_client >= 0) close(m_client);
    if (m_listener >= 0) close(m_listener);
    if (m_compressing) deflateEnd(&m_deflate);
    if (m_clientCompresses) inflateEnd(&m_inflate);
}

std::string ScriptedTelnetServer::Address() const {
    return (m_options.ipv6 ? "[::1]:" : "127.0.0.1:") + std::to_string(m_port);
}

void ScriptedTelnetServer::Queue(Action action) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_actions.push_back(std::move(action));
    m_busy = true;
}

void ScriptedTelnetServer::Send(std::string bytes) {
    Queue({ActionKind::Send, std::move(bytes), 0});
}

void ScriptedTelnetServer::SendUncompressed(std::string bytes) {
    Queue({ActionKind::SendUncompressed, std::move(bytes), 0});
}

void ScriptedTelnetServer::SendSplit(const std::vector<std::string>& pieces, int pauseMs) {
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        if (i != 0) Pause(pauseMs);
        Send(pieces[i]);
    }
}

void ScriptedTelnetServer::Pause(int milliseconds) { Queue({ActionKind::Pause, {}, milliseconds}); }

void ScriptedTelnetServer::StartCompression(int version) {
    Queue({ActionKind::StartCompression, {}, version});
}

void ScriptedTelnetServer::EndCompression(std::string plainAfter) {
    Queue({ActionKind::EndCompression, std::move(plainAfter), 0});
}

void ScriptedTelnetServer::Close() { Queue({ActionKind::Close, {}, 0}); }

void ScriptedTelnetServer::SetReading(bool reading) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_readingAllowed = reading;
}

bool ScriptedTelnetServer::WaitForClient(int timeoutMs) {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                              [this] { return m_hasClient; });
}

bool ScriptedTelnetServer::WaitIdle(int timeoutMs) {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                              [this] { return !m_busy && m_actions.empty(); });
}

bool ScriptedTelnetServer::WaitForReceived(std::string_view needle, int timeoutMs) {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                              [&] { return m_received.find(needle) != std::string::npos; });
}

bool ScriptedTelnetServer::WaitForClientClose(int timeoutMs) {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                              [this] { return m_clientClosed; });
}

std::string ScriptedTelnetServer::Received() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_received;
}

bool ScriptedTelnetServer::ClientCompresses() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_clientCompresses;
}

void ScriptedTelnetServer::Record(const char* data, std::size_t length) {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::string compressed;
    if (!m_clientCompresses) {
        const std::size_t searchFrom = m_received.size() > 4 ? m_received.size() - 4 : 0;
        m_received.append(data, length);
        const std::size_t start = FindClientStart(m_received, searchFrom);
        if (start == std::string::npos) {
            m_changed.notify_all();
            return;
        }
        compressed = m_received.substr(start + 5);
        m_received.resize(start + 5);
        m_clientCompresses = true;
        m_inflate = z_stream{};
        inflateInit(&m_inflate);
    } else {
        compressed.assign(data, length);
    }
    unsigned char out[16384];
    m_inflate.next_in = reinterpret_cast<Bytef*>(compressed.data());
    m_inflate.avail_in = static_cast<uInt>(compressed.size());
    do {
        m_inflate.next_out = out;
        m_inflate.avail_out = sizeof(out);
        const int result = inflate(&m_inflate, Z_NO_FLUSH);
        m_received.append(reinterpret_cast<char*>(out), sizeof(out) - m_inflate.avail_out);
        if (result != Z_OK) {
            if (result != Z_BUF_ERROR) m_received += "<inflate error>";
            break;
        }
    } while (m_inflate.avail_out == 0 || m_inflate.avail_in != 0);
    m_changed.notify_all();
}

std::string ScriptedTelnetServer::Deflate(std::string_view data, int flush) {
    std::string result;
    unsigned char out[65536];
    m_deflate.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    m_deflate.avail_in = static_cast<uInt>(data.size());
    for (;;) {
        m_deflate.next_out = out;
        m_deflate.avail_out = sizeof(out);
        const int status = deflate(&m_deflate, flush);
        result.append(reinterpret_cast<char*>(out), sizeof(out) - m_deflate.avail_out);
        if (status == Z_STREAM_END || status < 0) break;
        if (m_deflate.avail_out != 0 && m_deflate.avail_in == 0) break;
    }
    return result;
}

void ScriptedTelnetServer::RunAction(Action& action, std::string& pending) {
    switch (action.kind) {
        case ActionKind::Send:
            pending = m_compressing ? Deflate(action.bytes, Z_SYNC_FLUSH) : action.bytes;
            break;
        case ActionKind::SendUncompressed:
            pending = action.bytes;
            break;
        case ActionKind::Pause:
            break;
        case ActionKind::StartCompression:
            pending =
                action.number == 1 ? std::string(kClientStart1, 5) : std::string(kClientStart2, 5);
            if (m_compressing) deflateEnd(&m_deflate);
            m_deflate = z_stream{};
            deflateInit(&m_deflate, Z_DEFAULT_COMPRESSION);
            m_compressing = true;
            break;
        case ActionKind::EndCompression:
            if (m_compressing) {
                pending = Deflate({}, Z_FINISH);
                deflateEnd(&m_deflate);
                m_compressing = false;
            }
            pending += action.bytes;
            break;
        case ActionKind::Close:
            // An orderly close (FIN); the descriptor stays open so that what the client still
            // sends is read rather than answered with a reset.
            if (m_client >= 0) shutdown(m_client, SHUT_WR);
            break;
    }
}

void ScriptedTelnetServer::Run() {
    auto stopping = [this] {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_stop;
    };
    while (!stopping()) {
        pollfd entry{m_listener, POLLIN, 0};
        if (poll(&entry, 1, 20) > 0) {
            m_client = accept4(m_listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (m_client >= 0) break;
        }
    }
    if (m_client < 0) return;
    if (m_options.receiveBuffer > 0) {
        setsockopt(m_client, SOL_SOCKET, SO_RCVBUF, &m_options.receiveBuffer,
                   sizeof(m_options.receiveBuffer));
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_hasClient = true;
        m_changed.notify_all();
    }

    std::string pending;
    std::size_t written = 0;
    Clock::time_point pauseUntil = Clock::now();
    bool reading = true;
    char chunk[65536];
    auto readingAllowed = [this] {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_readingAllowed;
    };
    while (!stopping()) {
        const bool readNow = reading && readingAllowed();
        if (written == pending.size() && Clock::now() >= pauseUntil) {
            pending.clear();
            written = 0;
            Action action{ActionKind::Pause, {}, 0};
            bool have = false;
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                if (!m_actions.empty()) {
                    action = std::move(m_actions.front());
                    m_actions.pop_front();
                    have = true;
                } else if (m_busy) {
                    m_busy = false;
                    m_changed.notify_all();
                }
            }
            if (have) {
                RunAction(action, pending);
                if (action.kind == ActionKind::Pause) {
                    pauseUntil = Clock::now() + std::chrono::milliseconds(action.number);
                }
            }
        }
        pollfd entry{
            m_client,
            static_cast<short>((readNow ? POLLIN : 0) | (written < pending.size() ? POLLOUT : 0)),
            0};
        const bool waitingForMore = written == pending.size() && Clock::now() < pauseUntil;
        if (entry.events == 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            continue;
        }
        if (poll(&entry, 1, waitingForMore || written < pending.size() ? 2 : 5) <= 0) continue;
        if (readNow && (entry.revents & (POLLIN | POLLHUP | POLLERR))) {
            const ssize_t count = recv(m_client, chunk, sizeof(chunk), 0);
            if (count > 0) {
                Record(chunk, static_cast<std::size_t>(count));
            } else if (count == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
                reading = false;
                std::lock_guard<std::mutex> lock(m_mutex);
                m_clientClosed = true;
                m_changed.notify_all();
            }
        }
        if ((entry.revents & POLLOUT) && written < pending.size()) {
            const ssize_t count =
                send(m_client, pending.data() + written, pending.size() - written, MSG_NOSIGNAL);
            if (count > 0) {
                written += static_cast<std::size_t>(count);
            } else if (count < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
                written = pending.size();  // the client is gone; the bytes cannot go anywhere
            }
        }
    }
}

std::string ScriptedTelnetServer::MakeZeroStream(std::uint32_t mebibytes) {
    return MakeRepeatedStream('\0', mebibytes);
}

std::string ScriptedTelnetServer::MakeRepeatedStream(char byte, std::uint32_t mebibytes) {
    if (mebibytes == 0) return Compress({});
    const std::string block(1024 * 1024, byte);
    z_stream stream{};
    deflateInit(&stream, 9);
    auto piece = [&] {
        std::string out;
        unsigned char buffer[65536];
        stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(block.data()));
        stream.avail_in = static_cast<uInt>(block.size());
        do {
            stream.next_out = buffer;
            stream.avail_out = sizeof(buffer);
            deflate(&stream, Z_FULL_FLUSH);
            out.append(reinterpret_cast<char*>(buffer), sizeof(buffer) - stream.avail_out);
        } while (stream.avail_out == 0);
        return out;
    };
    std::string result = piece();  // carries the two-byte header
    const std::string repeated = piece();
    deflateEnd(&stream);
    const uLong blockSum =
        adler32(adler32(0, nullptr, 0), reinterpret_cast<const Bytef*>(block.data()),
                static_cast<uInt>(block.size()));
    uLong sum = blockSum;
    result.reserve(result.size() + repeated.size() * (mebibytes - 1) + 6);
    for (std::uint32_t i = 1; i < mebibytes; ++i) {
        result += repeated;
        sum = adler32_combine(sum, blockSum, static_cast<z_off_t>(block.size()));
    }
    // An empty final block with fixed codes, then the checksum, high byte first.
    result += std::string("\x03\x00", 2);
    for (int shift = 24; shift >= 0; shift -= 8) result += static_cast<char>(sum >> shift);
    return result;
}

std::string ScriptedTelnetServer::Compress(std::string_view data) {
    uLongf length = compressBound(static_cast<uLong>(data.size()));
    std::string out(length, '\0');
    compress2(reinterpret_cast<Bytef*>(out.data()), &length,
              reinterpret_cast<const Bytef*>(data.data()), static_cast<uLong>(data.size()), 9);
    out.resize(length);
    return out;
}

std::string ScriptedTelnetServer::Inflate(std::string_view stream) {
    z_stream state{};
    inflateInit(&state);
    std::string out;
    unsigned char buffer[65536];
    state.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(stream.data()));
    state.avail_in = static_cast<uInt>(stream.size());
    int result;
    do {
        state.next_out = buffer;
        state.avail_out = sizeof(buffer);
        result = inflate(&state, Z_NO_FLUSH);
        out.append(reinterpret_cast<char*>(buffer), sizeof(buffer) - state.avail_out);
    } while (result == Z_OK);
    inflateEnd(&state);
    return out;
}
