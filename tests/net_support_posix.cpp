// The receiver tests' own sockets on POSIX.
#include "tests/net_support.h"

#include <cerrno>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

sockaddr_in address_of(uint32_t host, uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(host);
    address.sin_port = htons(port);
    return address;
}

}  // namespace

NetSocket open_sender() {
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    return fd < 0 ? kNoSocket : fd;
}

void close_sender(NetSocket sender) {
    close(static_cast<int>(sender));
}

bool send_datagram_to(NetSocket sender, uint32_t host, uint16_t port, const std::string& bytes) {
    const sockaddr_in to = address_of(host, port);
    const ssize_t sent = sendto(static_cast<int>(sender), bytes.data(), bytes.size(), 0,
                                reinterpret_cast<const sockaddr*>(&to), sizeof to);
    return sent == static_cast<ssize_t>(bytes.size());
}

bool send_datagram(NetSocket sender, uint16_t port, const std::string& bytes) {
    return send_datagram_to(sender, INADDR_LOOPBACK, port, bytes);
}

uint16_t pick_free_port() {
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in local = address_of(INADDR_ANY, 0);
    socklen_t length = sizeof local;
    uint16_t port = 0;
    if (fd >= 0 && bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) == 0) {
        port = ntohs(local.sin_port);
    }
    if (fd >= 0) {
        close(fd);
    }
    return port;
}

bool port_is_free(uint16_t port) {
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    const sockaddr_in local = address_of(INADDR_ANY, port);
    const bool bound =
        fd >= 0 && bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0;
    if (fd >= 0) {
        close(fd);
    }
    return bound;
}

std::vector<ErrorCase> platform_error_cases() {
    return {
        {EAGAIN, "EAGAIN", ReceiveStatus::kTolerated},
        {EWOULDBLOCK, "EWOULDBLOCK", ReceiveStatus::kTolerated},
        {EINTR, "EINTR", ReceiveStatus::kTolerated},
        {ECONNREFUSED, "ECONNREFUSED", ReceiveStatus::kTolerated},
        {EBADF, "EBADF", ReceiveStatus::kFatal},
        {ENOTSOCK, "ENOTSOCK", ReceiveStatus::kFatal},
        {EFAULT, "EFAULT", ReceiveStatus::kFatal},
        {ENOMEM, "ENOMEM", ReceiveStatus::kFatal},
        {EMSGSIZE, "EMSGSIZE", ReceiveStatus::kFatal},
    };
}
