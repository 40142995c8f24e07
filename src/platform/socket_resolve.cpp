// The name look-up under TcpSocket::Connect, the same on every system: the
// BSD socket calls it makes are spelt alike by Winsock.
#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#endif

#include "platform/codepage.h"
#include "platform/socket.h"

namespace klv::platform {

bool ResolveIpv4(const std::string& host, std::uint32_t& address, SocketFailure& failure) {
    if (AnsiSameText(host, "localhost")) {
        address = htonl(INADDR_LOOPBACK);
        return true;
    }
    in_addr literal{};
    if (inet_pton(AF_INET, host.c_str(), &literal) == 1) {
        address = literal.s_addr;
        return true;
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (host.empty() || getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || !found) {
        if (found) freeaddrinfo(found);
        failure = MakeSocketFailure(kSocketHostNotFound);
        return false;
    }
    address = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
    freeaddrinfo(found);
    return true;
}

}  // namespace klv::platform
