#include "platform/socket.h"

namespace klv::platform {

std::string SocketErrorText(int code) {
    // Texts follow the Berkeley wording of each Windows-socket error number;
    // callers show them only in diagnostics.
    switch (code) {
        case 10004:
            return "Interrupted system call.";
        case 10013:
            return "Permission denied.";
        case 10014:
            return "Bad address.";
        case 10022:
            return "Invalid argument.";
        case 10024:
            return "Too many open files.";
        case 10035:
            return "Resource temporarily unavailable.";
        case 10038:
            return "Socket operation on non-socket.";
        case 10047:
            return "Address family not supported by protocol family.";
        case 10048:
            return "Address already in use.";
        case 10049:
            return "Cannot assign requested address.";
        case 10050:
            return "Network is down.";
        case 10051:
            return "Network is unreachable.";
        case 10052:
            return "Net dropped connection or reset.";
        case 10053:
            return "Software caused connection abort.";
        case 10054:
            return "Connection reset by peer.";
        case 10055:
            return "No buffer space available.";
        case 10057:
            return "Socket is not connected.";
        case 10058:
            return "Cannot send or receive after socket is closed.";
        case 10060:
            return "Connection timed out.";
        case 10061:
            return "Connection refused.";
        case 10064:
            return "Host is down.";
        case 10065:
            return "No route to host.";
        case 10091:
            return "Network subsystem is unavailable.";
        case 10092:
            return "WINSOCK DLL Version out of range.";
        case 10093:
            return "Winsock not loaded yet.";
        case 11001:
            return "Host not found.";
        case 11002:
            return "Non-authoritative response (try again or check DNS setup).";
        case 11003:
            return "Non-recoverable errors: FORMERR, REFUSED, NOTIMP.";
        case 11004:
            return "Valid name, no data record (check DNS setup).";
        default:
            return "Unknown socket error.";
    }
}

SocketFailure MakeSocketFailure(int code) {
    return SocketFailure{code, SocketErrorText(code)};
}

}  // namespace klv::platform
