// The receiver tests' own sockets on Windows Sockets, with the test program's own start-up of
// the library: the receiver's start-ups and clean-ups must never release it under the tests.
#include "tests/net_support.h"

#include <winsock2.h>

namespace {

struct SocketLibrary {
    bool started;
    SocketLibrary() {
        WSADATA data;
        started = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }
    ~SocketLibrary() {
        if (started) {
            WSACleanup();
        }
    }
};

const SocketLibrary library;

sockaddr_in address_of(u_long host, uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(host);
    address.sin_port = htons(port);
    return address;
}

}  // namespace

NetSocket open_sender() {
    const SOCKET opened = socket(AF_INET, SOCK_DGRAM, 0);
    return opened == INVALID_SOCKET ? kNoSocket : static_cast<NetSocket>(opened);
}

void close_sender(NetSocket sender) {
    closesocket(static_cast<SOCKET>(sender));
}

bool send_datagram_to(NetSocket sender, uint32_t host, uint16_t port, const std::string& bytes) {
    const sockaddr_in to = address_of(host, port);
    const int sent =
        sendto(static_cast<SOCKET>(sender), bytes.data(), static_cast<int>(bytes.size()), 0,
               reinterpret_cast<const sockaddr*>(&to), sizeof to);
    return sent == static_cast<int>(bytes.size());
}

bool send_datagram(NetSocket sender, uint16_t port, const std::string& bytes) {
    return send_datagram_to(sender, INADDR_LOOPBACK, port, bytes);
}

uint16_t pick_free_port() {
    const SOCKET opened = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in local = address_of(INADDR_ANY, 0);
    int length = sizeof local;
    uint16_t port = 0;
    if (opened != INVALID_SOCKET &&
        bind(opened, reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0 &&
        getsockname(opened, reinterpret_cast<sockaddr*>(&local), &length) == 0) {
        port = ntohs(local.sin_port);
    }
    if (opened != INVALID_SOCKET) {
        closesocket(opened);
    }
    return port;
}

bool port_is_free(uint16_t port) {
    const SOCKET opened = socket(AF_INET, SOCK_DGRAM, 0);
    const sockaddr_in local = address_of(INADDR_ANY, port);
    const bool bound = opened != INVALID_SOCKET &&
                       bind(opened, reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0;
    if (opened != INVALID_SOCKET) {
        closesocket(opened);
    }
    return bound;
}

std::vector<ErrorCase> platform_error_cases() {
    return {
        {WSAECONNRESET, "WSAECONNRESET", ReceiveStatus::kTolerated},
        {WSAEWOULDBLOCK, "WSAEWOULDBLOCK", ReceiveStatus::kTolerated},
        {WSAEMSGSIZE, "WSAEMSGSIZE", ReceiveStatus::kOversized},
        {WSAENOTSOCK, "WSAENOTSOCK", ReceiveStatus::kFatal},
        {WSAENETDOWN, "WSAENETDOWN", ReceiveStatus::kFatal},
        {WSAEINTR, "WSAEINTR", ReceiveStatus::kFatal},
        {WSANOTINITIALISED, "WSANOTINITIALISED", ReceiveStatus::kFatal},
        {WSAECONNREFUSED, "WSAECONNREFUSED", ReceiveStatus::kFatal},
    };
}
