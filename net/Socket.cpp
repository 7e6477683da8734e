#include "net/Socket.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <utility>

#include "net/WinSockErrors.h"

namespace {

// The pending error of a socket (SO_ERROR); false when it cannot be read.
bool ReadPendingError(int socket, int& error) {
    socklen_t length = sizeof(error);
    error = 0;
    return getsockopt(socket, SOL_SOCKET, SO_ERROR, &error, &length) == 0;
}

// poll with a zero time-out, retried when a signal interrupts it.
int PollNow(int socket, short events, short& revents) {
    pollfd entry{socket, events, 0};
    int result;
    do {
        result = poll(&entry, 1, 0);
    } while (result < 0 && errno == EINTR);
    revents = entry.revents;
    return result;
}

}  // namespace

CSocket::CSocket(HostResolver resolver)
    : m_resolver(resolver ? std::move(resolver) : HostResolver(ResolveHostName)) {}

CSocket::~CSocket() { Close(); }

void CSocket::Release() { delete this; }

bool CSocket::Connect(const char* host, std::uint16_t port) {
    Close();
    m_host = host;
    m_port = port;
    if (!ParseNumericAddress(m_host, m_addresses)) {
        // A name server may take many seconds; CheckConnect goes on once it has answered.
        m_lookup = std::make_unique<CHostLookup>(m_host, m_resolver);
        m_state = kSocketConnecting;
        return true;
    }
    if (ConnectNextAddress()) return true;
    m_state = kSocketIdle;
    return false;
}

bool CSocket::ConnectNextAddress() {
    while (m_nextAddress < m_addresses.size()) {
        SocketAddress address = m_addresses[m_nextAddress++];
        address.SetPort(m_port);
        m_socket = socket(address.Family(), SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (m_socket < 0) {
            m_lastError = "socket() Failed! " + GetErrnoSocketText(errno);
            m_socket = -1;
            continue;
        }
        const int flags = fcntl(m_socket, F_GETFL, 0);
        fcntl(m_socket, F_SETFL, (flags < 0 ? 0 : flags) | O_NONBLOCK);
        // Typed lines and negotiation replies are small writes; they must leave at once rather
        // than wait for the previous one's acknowledgement.
        const int noDelay = 1;
        setsockopt(m_socket, IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof(noDelay));

        int result;
        do {
            result = connect(m_socket, reinterpret_cast<const sockaddr*>(&address.storage),
                             address.length);
        } while (result < 0 && errno == EINTR);
        if (result == 0) {
            m_lastError.clear();
            m_state = kSocketConnected;
            return true;
        }
        // A connect that goes on in the background is the pending path.
        if (errno == EINPROGRESS || errno == EWOULDBLOCK || errno == EAGAIN) {
            m_lastError.clear();
            m_state = kSocketConnecting;
            return true;
        }
        m_lastError = "connect() Failed! " + GetErrnoSocketText(errno);
        CloseHandle();
    }
    return false;
}

std::uint32_t CSocket::CheckLookup() {
    const CHostLookup::Status status = m_lookup->Poll(m_addresses);
    if (status == CHostLookup::Status::Pending) return kSocketConnecting;
    m_lookup.reset();
    if (status == CHostLookup::Status::Failed) {
        m_lastError = "Could not look up IP address for host " + m_host;
        m_state = kSocketFailed;
    } else if (!ConnectNextAddress()) {
        m_state = kSocketFailed;
    }
    return m_state;
}

std::uint32_t CSocket::FailAttempt(std::string text) {
    m_lastError = std::move(text);
    CloseHandle();
    if (!ConnectNextAddress()) m_state = kSocketFailed;
    return m_state;
}

std::uint32_t CSocket::CheckConnect() {
    if (m_state != kSocketConnecting) return m_state;
    if (m_lookup) return CheckLookup();
    short revents = 0;
    const int ready = PollNow(m_socket, POLLOUT, revents);
    if (ready == 0) return kSocketConnecting;
    if (ready < 0) return FailAttempt("select() Failed! " + GetErrnoSocketText(errno));
    // Here a failed attempt reports the socket writable as well, so its pending error decides.
    int error = 0;
    if (!ReadPendingError(m_socket, error)) error = errno;
    if (error == 0 && (revents & POLLOUT)) {
        m_state = kSocketConnected;
        return m_state;
    }
    if (error == 0) error = ECONNREFUSED;
    return FailAttempt("connect() Failed! " + GetErrnoSocketText(error));
}

void CSocket::CloseHandle() {
    if (m_socket >= 0) {
        shutdown(m_socket, SHUT_RDWR);
        close(m_socket);
    }
    m_socket = -1;
}

void CSocket::Close() {
    CloseHandle();
    m_lastError.clear();
    m_state = kSocketIdle;
    m_status = kReceiveOk;
    m_buffer.Clear();
    m_sendQueue.Clear();
    // A look-up still under way is abandoned; its worker finishes on its own.
    m_lookup.reset();
    m_addresses.clear();
    m_nextAddress = 0;
}

void CSocket::ClearError() {
    m_lastError.clear();
    if (m_state == kSocketFailed) m_state = kSocketIdle;
    m_status = kReceiveOk;
}

std::uint32_t CSocket::FailReceive(std::string text) {
    m_lastError = std::move(text);
    CloseHandle();
    m_state = kSocketIdle;
    m_status = kReceiveError;
    return m_status;
}

std::uint32_t CSocket::Receive() { return ReceiveOnto(m_buffer, kMaxReceivePerCall); }

std::uint32_t CSocket::ReceiveInto(CByteBuffer& into, std::size_t limit) {
    if (!m_buffer.Empty()) {
        limit -= std::min(limit, m_buffer.Size());
        into.Append(m_buffer.Data(), m_buffer.Size());
        m_buffer.Clear();
    }
    return ReceiveOnto(into, limit);
}

std::uint32_t CSocket::ReceiveOnto(CByteBuffer& target, std::size_t limit) {
    // A closed or failed connection keeps reporting what ended it until ClearError or Close,
    // even though the socket is no longer connected.
    if (m_status != kReceiveOk) return m_status;
    if (m_state != kSocketConnected) return kReceiveClosed;

    short revents = 0;
    const int ready = PollNow(m_socket, POLLIN, revents);
    if (ready < 0) return FailReceive("select() Failed! " + GetErrnoSocketText(errno));
    if (ready == 0) {
        int error = 0;
        if (!ReadPendingError(m_socket, error)) {
            return FailReceive("getsockopt() Failed! " + GetErrnoSocketText(errno));
        }
        if (error != 0) {
            return FailReceive("getsockopt() reported an error, though select() did not! " +
                               GetErrnoSocketText(error));
        }
        return kReceiveOk;
    }
    if (revents & POLLNVAL) return FailReceive("select() Failed! " + GetErrnoSocketText(EBADF));
    // A reset or close also makes the socket readable; recv then tells what happened, as it
    // does elsewhere. Only an error without anything to read is the "error is set" case.
    if ((revents & POLLERR) && !(revents & (POLLIN | POLLHUP))) {
        int error = 0;
        if (!ReadPendingError(m_socket, error)) error = errno;
        return FailReceive("select() error is set: " + GetErrnoSocketText(error));
    }

    limit = std::min(limit, kMaxReceivePerCall);
    for (std::size_t total = 0; total < limit;) {
        const std::size_t wanted = std::min(kReadChunk, limit - total);
        char* chunk = target.Reserve(wanted);
        const ssize_t count = recv(m_socket, chunk, wanted, 0);
        if (count < 0) {
            if (errno == EINTR) continue;
            if (errno == EWOULDBLOCK || errno == EAGAIN) return m_status;
            return FailReceive("recv() Failed! " + GetErrnoSocketText(errno));
        }
        if (count == 0) {
            CloseHandle();
            m_state = kSocketIdle;
            m_status = kReceiveClosed;
            return m_status;
        }
        target.Commit(static_cast<std::size_t>(count));
        total += static_cast<std::size_t>(count);
        if (static_cast<std::size_t>(count) != wanted) break;
    }
    return m_status;
}

const char* CSocket::GetLine() { return m_buffer.TakeLine(m_line) ? m_line.c_str() : ""; }

std::size_t CSocket::GetBufferSize() { return m_buffer.Size(); }

const char* CSocket::GetBuffer() { return m_buffer.Data(); }

void CSocket::ClearBuffer() { m_buffer.Clear(); }

long CSocket::SendSome(const char* data, std::size_t length) {
    // A 32-bit count as on every platform; MSG_NOSIGNAL keeps a closed peer from raising
    // SIGPIPE.
    const std::size_t count = length > INT_MAX ? INT_MAX : length;
    ssize_t sent;
    do {
        sent = send(m_socket, data, count, MSG_NOSIGNAL);
    } while (sent < 0 && errno == EINTR);
    if (sent >= 0) return static_cast<long>(sent);
    return errno == EWOULDBLOCK || errno == EAGAIN ? 0 : -1;
}

bool CSocket::Send(const char* data, std::size_t length) {
    if (m_socket < 0 || m_state != kSocketConnected || m_status != kReceiveOk) return false;
    // What waits goes first: a compressed stream or a command cut in two must stay in order.
    // A broken connection is left for the next Receive to report.
    const auto result = m_sendQueue.Send(data, length, WriteTo());
    if (result == CSendQueue::Result::Overflow) FailSend();
    return result == CSendQueue::Result::Taken;
}

void CSocket::FlushSend() {
    if (m_socket >= 0 && m_status == kReceiveOk) m_sendQueue.Flush(WriteTo());
}

void CSocket::FailSend() {
    m_lastError = CSendQueue::OverflowText();
    m_state = kSocketIdle;
    m_status = kReceiveError;
    // The handle stays open until the owner closes it, so an event loop watching it never
    // watches a number the system may hand out again; the shutdown wakes that loop, and the
    // next Receive reports the error.
    shutdown(m_socket, SHUT_RDWR);
}

const char* CSocket::GetLastErrorText() { return m_lastError.c_str(); }

bool CSocket::IsConnected() { return m_state == kSocketConnected; }

bool CSocket::HasData() { return !m_buffer.Empty(); }
