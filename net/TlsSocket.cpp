#include "net/TlsSocket.h"

#include <arpa/inet.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <sys/socket.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <utility>

#include "base/AsciiText.h"
#include "net/WinSockErrors.h"

namespace {

// Writes with MSG_NOSIGNAL: the plain socket BIO writes with write(), and a peer that has gone
// would raise SIGPIPE and end the whole program.
int WriteNoSignal(BIO* bio, const char* data, int length) {
    BIO_clear_retry_flags(bio);
    int fd = -1;
    BIO_get_fd(bio, &fd);
    const ssize_t sent = send(fd, data, static_cast<std::size_t>(length), MSG_NOSIGNAL);
    if (sent < 0 && (errno == EWOULDBLOCK || errno == EAGAIN || errno == EINTR)) {
        BIO_set_retry_write(bio);
    }
    return static_cast<int>(sent);
}

int PutsNoSignal(BIO* bio, const char* text) {
    return WriteNoSignal(bio, text, static_cast<int>(std::strlen(text)));
}

// The socket BIO with its write replaced; made once, kept for the program's life.
const BIO_METHOD* SocketMethod() {
    static BIO_METHOD* method = [] {
        const BIO_METHOD* plain = BIO_s_socket();
        BIO_METHOD* made =
            BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK | BIO_TYPE_DESCRIPTOR,
                         "socket without SIGPIPE");
        BIO_meth_set_write(made, WriteNoSignal);
        BIO_meth_set_puts(made, PutsNoSignal);
        BIO_meth_set_read(made, BIO_meth_get_read(plain));
        BIO_meth_set_ctrl(made, BIO_meth_get_ctrl(plain));
        BIO_meth_set_create(made, BIO_meth_get_create(plain));
        BIO_meth_set_destroy(made, BIO_meth_get_destroy(plain));
        return made;
    }();
    return method;
}

// The newest reason on OpenSSL's error queue (which is emptied); fallback when it is empty.
std::string TakeSslError(const char* fallback) {
    unsigned long code = 0;
    for (unsigned long next; (next = ERR_get_error()) != 0;) code = next;
    if (code == 0) return fallback;
    const char* reason = ERR_reason_error_string(code);
    return reason ? reason : fallback;
}

std::string Sha256Fingerprint(X509* certificate) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (!X509_digest(certificate, EVP_sha256(), digest, &length)) return {};
    static const char kHex[] = "0123456789ABCDEF";
    std::string text;
    for (unsigned int i = 0; i < length; ++i) {
        if (i) text += ':';
        text += kHex[digest[i] >> 4];
        text += kHex[digest[i] & 15];
    }
    return text;
}

bool IsNumericAddress(const std::string& host) {
    unsigned char address[16];
    return inet_pton(AF_INET, host.c_str(), address) == 1 ||
           inet_pton(AF_INET6, host.c_str(), address) == 1;
}

}  // namespace

CTlsSocket::CTlsSocket(std::string caFile, HostResolver resolver)
    : m_tcp(std::move(resolver)), m_caFile(std::move(caFile)) {}

CTlsSocket::~CTlsSocket() {
    Close();
    if (m_context) SSL_CTX_free(m_context);
}

void CTlsSocket::Release() { delete this; }

bool CTlsSocket::Connect(const char* host, std::uint16_t port) {
    Close();
    if (!m_context) {
        m_context = SSL_CTX_new(TLS_client_method());
        if (!m_context) {
            m_lastError = "TLS is not available: " + TakeSslError("no context");
            return false;
        }
        SSL_CTX_set_min_proto_version(m_context, TLS1_2_VERSION);
        // Many servers end the connection without a close notice; that is their hang-up.
        SSL_CTX_set_options(m_context, SSL_OP_IGNORE_UNEXPECTED_EOF);
        const int loaded =
            m_caFile.empty() ? SSL_CTX_set_default_verify_paths(m_context)
                             : SSL_CTX_load_verify_locations(m_context, m_caFile.c_str(), nullptr);
        if (loaded != 1) {
            m_lastError =
                "Could not load the trusted certificates: " + TakeSslError("unknown error");
            SSL_CTX_free(m_context);
            m_context = nullptr;
            return false;
        }
    }
    m_host = host;
    m_fingerprint.clear();
    m_trust = CertificateTrust::None;
    if (!m_tcp.Connect(host, port)) return false;
    m_phase = Phase::Tcp;
    return true;
}

bool CTlsSocket::StartHandshake() {
    ERR_clear_error();
    m_ssl = SSL_new(m_context);
    if (!m_ssl) return false;
    // Verification is checked by hand after the handshake, so that a refused certificate can
    // still be shown with its fingerprint.
    SSL_set_verify(m_ssl, SSL_VERIFY_NONE, nullptr);
    SSL_set_mode(m_ssl, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    X509_VERIFY_PARAM* param = SSL_get0_param(m_ssl);
    if (IsNumericAddress(m_host)) {
        if (X509_VERIFY_PARAM_set1_ip_asc(param, m_host.c_str()) != 1) return false;
    } else {
        X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
        if (SSL_set1_host(m_ssl, m_host.c_str()) != 1) return false;
        SSL_set_tlsext_host_name(m_ssl, m_host.c_str());
    }
    BIO* bio = BIO_new(SocketMethod());
    if (!bio) return false;
    BIO_set_fd(bio, m_tcp.GetDescriptor(), BIO_NOCLOSE);
    SSL_set_bio(m_ssl, bio, bio);
    SSL_set_connect_state(m_ssl);
    return true;
}

std::uint32_t CTlsSocket::CheckConnect() {
    if (m_phase == Phase::Tcp) {
        const std::uint32_t state = m_tcp.CheckConnect();
        if (state == kSocketConnecting) return kSocketConnecting;
        if (state != kSocketConnected) {
            m_phase = Phase::Failed;
            return kSocketFailed;
        }
        if (!StartHandshake()) {
            return FailConnect("TLS handshake failed: " + TakeSslError("no session"));
        }
        m_phase = Phase::Handshake;
    }
    if (m_phase == Phase::Handshake) return ContinueHandshake();
    if (m_phase == Phase::Connected) return kSocketConnected;
    if (m_phase == Phase::Failed) return kSocketFailed;
    return kSocketIdle;
}

std::uint32_t CTlsSocket::ContinueHandshake() {
    ERR_clear_error();
    errno = 0;
    const int result = SSL_do_handshake(m_ssl);
    if (result != 1) {
        const int error = SSL_get_error(m_ssl, result);
        if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) {
            return kSocketConnecting;
        }
        if (error == SSL_ERROR_SYSCALL) {
            const int code = errno;
            return FailConnect(code ? "TLS handshake failed: " + GetErrnoSocketText(code)
                                    : "TLS handshake failed: the server closed the connection");
        }
        return FailConnect("TLS handshake failed: " + TakeSslError("protocol error"));
    }
    if (X509* certificate = SSL_get0_peer_certificate(m_ssl)) {
        m_fingerprint = Sha256Fingerprint(certificate);
    }
    std::string refusal = CheckCertificate();
    if (!refusal.empty()) return FailConnect(std::move(refusal));
    m_phase = Phase::Connected;
    return kSocketConnected;
}

std::string CTlsSocket::CheckCertificate() {
    m_trust = CertificateTrust::None;
    if (m_fingerprint.empty()) return "The server sent no certificate.";
    const long result = SSL_get_verify_result(m_ssl);
    if (result == X509_V_OK) {
        m_trust = CertificateTrust::Verified;
        return {};
    }
    if (!m_trustedFingerprint.empty()) {
        // Compared without regard to case: the settings file may have been edited by hand.
        if (LowerAsciiCopy(m_fingerprint) == LowerAsciiCopy(m_trustedFingerprint)) {
            m_trust = CertificateTrust::Pinned;
            return {};
        }
        m_trust = CertificateTrust::Changed;
        return "The server's certificate has changed, so the connection was refused: it was "
               "trusted with SHA-256 fingerprint " +
               m_trustedFingerprint + " and now shows " + m_fingerprint + ".";
    }
    m_trust = CertificateTrust::Unverified;
    std::string text;
    if (result == X509_V_ERR_HOSTNAME_MISMATCH || result == X509_V_ERR_IP_ADDRESS_MISMATCH) {
        text = "The server's certificate does not match the host name " + m_host + ".";
    } else {
        text = std::string("The server's certificate is not trusted (") +
               X509_verify_cert_error_string(result) + ").";
    }
    return text + " SHA-256 fingerprint " + m_fingerprint;
}

std::uint32_t CTlsSocket::FailConnect(std::string text) {
    m_lastError = std::move(text);
    EndSession(Phase::Failed);
    return kSocketFailed;
}

void CTlsSocket::EndSession(Phase next) {
    if (m_ssl) SSL_free(m_ssl);
    m_ssl = nullptr;
    m_tcp.Close();
    m_phase = next;
}

void CTlsSocket::Close() {
    // The close notice is sent if the connection takes it now; nothing waits for the reply.
    if (m_ssl && m_phase == Phase::Connected && m_status == kReceiveOk) SSL_shutdown(m_ssl);
    EndSession(Phase::Idle);
    m_status = kReceiveOk;
    m_lastError.clear();
    m_buffer.Clear();
    m_sendQueue.Clear();
    ERR_clear_error();
}

void CTlsSocket::ClearError() {
    m_tcp.ClearError();
    m_lastError.clear();
    if (m_phase == Phase::Failed) m_phase = Phase::Idle;
    m_status = kReceiveOk;
}

std::uint32_t CTlsSocket::FailReceive(std::string text) {
    m_lastError = std::move(text);
    EndSession(Phase::Idle);
    m_status = kReceiveError;
    return m_status;
}

std::uint32_t CTlsSocket::Receive() {
    if (m_status != kReceiveOk) return m_status;
    if (m_phase != Phase::Connected) return kReceiveClosed;
    for (std::size_t total = 0; total < kMaxReceivePerCall;) {
        char* chunk = m_buffer.Reserve(kReadChunk);
        ERR_clear_error();
        errno = 0;
        const int count = SSL_read(m_ssl, chunk, static_cast<int>(kReadChunk));
        if (count > 0) {
            m_buffer.Commit(static_cast<std::size_t>(count));
            total += static_cast<std::size_t>(count);
            continue;
        }
        const int error = SSL_get_error(m_ssl, count);
        if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) return m_status;
        // A close notice and a plain end of the stream are both the server hanging up; many
        // servers never send the notice.
        if (error == SSL_ERROR_ZERO_RETURN || (error == SSL_ERROR_SYSCALL && errno == 0)) {
            EndSession(Phase::Idle);
            m_status = kReceiveClosed;
            return m_status;
        }
        if (error == SSL_ERROR_SYSCALL)
            return FailReceive("recv() Failed! " + GetErrnoSocketText(errno));
        return FailReceive("TLS error: " + TakeSslError("protocol error"));
    }
    return m_status;
}

const char* CTlsSocket::GetLine() { return m_buffer.TakeLine(m_line) ? m_line.c_str() : ""; }

std::size_t CTlsSocket::GetBufferSize() { return m_buffer.Size(); }

const char* CTlsSocket::GetBuffer() { return m_buffer.Data(); }

void CTlsSocket::ClearBuffer() { m_buffer.Clear(); }

long CTlsSocket::WriteSome(const char* data, std::size_t length) {
    ERR_clear_error();
    const int count = SSL_write(m_ssl, data, static_cast<int>(length > INT_MAX ? INT_MAX : length));
    if (count > 0) return count;
    const int error = SSL_get_error(m_ssl, count);
    return error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE ? 0 : -1;
}

bool CTlsSocket::Send(const char* data, std::size_t length) {
    if (!m_ssl || m_phase != Phase::Connected || m_status != kReceiveOk) return false;
    // What waits goes first; a write that had to wait is repeated with the same bytes in front.
    const auto result = m_sendQueue.Send(data, length, WriteTo());
    if (result == CSendQueue::Result::Overflow) {
        m_lastError = CSendQueue::OverflowText();
        m_status = kReceiveError;
        shutdown(m_tcp.GetDescriptor(), SHUT_RDWR);
    }
    return result == CSendQueue::Result::Taken;
}

void CTlsSocket::FlushSend() {
    if (m_ssl && m_status == kReceiveOk) m_sendQueue.Flush(WriteTo());
}

const char* CTlsSocket::GetLastErrorText() {
    return m_lastError.empty() ? m_tcp.GetLastErrorText() : m_lastError.c_str();
}

bool CTlsSocket::IsConnected() { return m_phase == Phase::Connected; }

bool CTlsSocket::HasData() {
    return !m_buffer.Empty() || (m_ssl && m_phase == Phase::Connected && SSL_pending(m_ssl) > 0);
}

const char* CTlsSocket::GetEncryption() const {
    return m_ssl && m_phase == Phase::Connected ? SSL_get_version(m_ssl) : "";
}
