#include "net/WinSockErrors.h"

#include <cerrno>

namespace {

const char* SentenceFor(int code) {
    switch (code) {
        case 6:
            return "Specified event object handle is invalid.";
        case 8:
            return "Insufficient memory available.";
        case 87:
            return "One or more parameters are invalid.";
        case 995:
            return "Overlapped operation aborted.";
        case 996:
            return "Overlapped I/O event object not in signaled state.";
        case 997:
            return "Overlapped operations will complete later.";
        case 10004:
            return "Interrupted function call.";
        case 10013:
            return "Access denied.";
        case 10014:
            return "Internal software error.";
        case 10022:
            return "Invalid value.";
        case 10024:
            return "Too many open sockets.";
        case 10035:
            return "Internal error: Resource temporarily unavailable.";
        case 10036:
            return "Operation now in progress.";
        case 10037:
            return "Operation already in progress.";
        case 10038:
            return "Internal error: A function was called on a socket handle that was invalid.";
        case 10039:
            return "Destination address required.";
        case 10040:
            return "Message too long.";
        case 10041:
            return "Internal error: protocol wrong type for socket.";
        case 10042:
            return "Internal error: bad protocol option.";
        case 10043:
            return "Protocol not supported.";
        case 10044:
            return "Socket type not supported.";
        case 10045:
            return "Operation not supported.";
        case 10046:
            return "Protocol family not supported.";
        case 10047:
            return "Address family not supported.";
        case 10048:
            return "Address already in use.";
        case 10049:
            return "Address not availiable.";
        case 10050:
            return "Network is down. An operation encountered a dead network. This could indicate "
                   "a serious failure of the internal network system, the network interface, or "
                   "the local network itself.";
        case 10051:
            return "Network is unreachable. An operation was attempted to an unreachable network. "
                   "This usually means the local software knows no route to reach the remote "
                   "host.";
        case 10052:
            return "Network dropped connection on reset. The connection has been broken due to "
                   "\"keep-alive\" activity detecting a failure while the operation was in "
                   "progress.";
        case 10053:
            return "Software caused connection abort.";
        case 10054:
            return "Connection reset by peer. Remote server forcibly closed connection. Likely "
                   "cause is computer reboot, or software crash on the server.";
        case 10055:
            return "No buffer space availiable.";
        case 10056:
            return "Already connected.";
        case 10057:
            return "Failed to send or receive data because the socket is not connected.";
        case 10058:
            return "Data send was attempted after socket has been shutdown.";
        case 10059:
            return "Too many references.";
        case 10060:
            return "Connection timed out.";
        case 10061:
            return "Connection refused by remote machine. Remote server is most likely offline.";
        case 10062:
            return "WSAELOOP";
        case 10063:
            return "Name too long.";
        case 10064:
            return "Host is down.";
        case 10065:
            return "Host unreachable. An operation attempted to an unreachable host.";
        case 10066:
            return "WSAENOTEMPTY";
        case 10067:
            return "Too many processes accessing the WinSock library.";
        case 10068:
            return "WSAEUSERS";
        case 10069:
            return "WSAEDQUOT";
        case 10070:
            return "WSAESTALE";
        case 10071:
            return "WSAEREMOTE";
        case 10091:
            return "Network subsystem is unavailable.";
        case 10092:
            return "Version not supported. Your WinSock version is inadequate for this "
                   "application.";
        case 10093:
            return "Internal error: Socket library not initialised.";
        case 10101:
            return "Graceful shutdown in progress.";
        case 10102:
            return "WSAENOMORE";
        case 10103:
            return "WSAECANCELLED";
        case 10104:
            return "Invalid procedure table from service provider.";
        case 10105:
            return "Invalid service provider version number.";
        case 10106:
            return "Unable to initialize a service provider.";
        case 10107:
            return "System call failure.";
        case 10108:
            return "WSASERVICE_NOT_FOUND";
        case 10109:
            return "Class type not found.";
        case 10110:
            return "WSA_E_NO_MORE";
        case 10111:
            return "WSA_E_CANCELLED";
        case 10112:
            return "WSAEREFUSED";
        case 11001:
            return "Host not found.";
        case 11002:
            return "Non-authoritative host not found.";
        case 11003:
            return "This is a non-recoverable error.";
        case 11004:
            return "Valid name, no data record of requested type.";
        default:
            return "Unknown error.";
    }
}

}  // namespace

std::string GetWinSockErrorText(int code) {
    return "WinSock Error Code " + std::to_string(code) + ": " + SentenceFor(code);
}

int WinSockCodeFromErrno(int errnoValue) {
    // EAGAIN and EWOULDBLOCK (and EOPNOTSUPP/ENOTSUP) share a value on Linux, so they are
    // tested outside the switch.
    if (errnoValue == EAGAIN || errnoValue == EWOULDBLOCK) return 10035;
    if (errnoValue == EOPNOTSUPP || errnoValue == ENOTSUP) return 10045;
    switch (errnoValue) {
        case ENOMEM:
            return 8;
        case EINTR:
            return 10004;
        case EACCES:
        case EPERM:
            return 10013;
        case EFAULT:
            return 10014;
        case EINVAL:
            return 10022;
        case EMFILE:
        case ENFILE:
            return 10024;
        case EINPROGRESS:
            return 10036;
        case EALREADY:
            return 10037;
        case EBADF:
        case ENOTSOCK:
            return 10038;
        case EDESTADDRREQ:
            return 10039;
        case EMSGSIZE:
            return 10040;
        case EPROTOTYPE:
            return 10041;
        case ENOPROTOOPT:
            return 10042;
        case EPROTONOSUPPORT:
            return 10043;
        case ESOCKTNOSUPPORT:
            return 10044;
        case EPFNOSUPPORT:
            return 10046;
        case EAFNOSUPPORT:
            return 10047;
        case EADDRINUSE:
            return 10048;
        case EADDRNOTAVAIL:
            return 10049;
        case ENETDOWN:
            return 10050;
        case ENETUNREACH:
            return 10051;
        case ENETRESET:
            return 10052;
        case ECONNABORTED:
            return 10053;
        case ECONNRESET:
            return 10054;
        case ENOBUFS:
            return 10055;
        case EISCONN:
            return 10056;
        case ENOTCONN:
            return 10057;
        case ESHUTDOWN:
        case EPIPE:
            return 10058;
        case ETOOMANYREFS:
            return 10059;
        case ETIMEDOUT:
            return 10060;
        case ECONNREFUSED:
            return 10061;
        case ELOOP:
            return 10062;
        case ENAMETOOLONG:
            return 10063;
        case EHOSTDOWN:
            return 10064;
        case EHOSTUNREACH:
            return 10065;
        case ENOTEMPTY:
            return 10066;
        case EUSERS:
            return 10068;
        case EDQUOT:
            return 10069;
        case ESTALE:
            return 10070;
        case EREMOTE:
            return 10071;
        default:
            return 10107;
    }
}

std::string GetErrnoSocketText(int errnoValue) {
    return GetWinSockErrorText(WinSockCodeFromErrno(errnoValue));
}
