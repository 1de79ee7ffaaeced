// pelivor-send's socket side on POSIX.
#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "tools/sender.h"

struct Sender {
    int socket;
    sockaddr_storage address;
    socklen_t address_length;
};

Sender* open_sender(const std::string& host, uint16_t port, std::string* error) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    const int failure = getaddrinfo(host.c_str(), service.c_str(), &hints, &found);
    if (failure != 0 || found == nullptr) {
        *error = "unknown host '" + host + "': " + gai_strerror(failure);
        return nullptr;
    }
    Sender* sender = new Sender{};
    std::memcpy(&sender->address, found->ai_addr, found->ai_addrlen);
    sender->address_length = found->ai_addrlen;
    freeaddrinfo(found);
    sender->socket = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (sender->socket < 0) {
        *error = std::string("cannot open a UDP socket: ") + std::strerror(errno);
        delete sender;
        return nullptr;
    }
    // One till may drive every board on its network through a broadcast address; without this
    // the system refuses to send there.
    const int allowed = 1;
    setsockopt(sender->socket, SOL_SOCKET, SO_BROADCAST, &allowed, sizeof allowed);
    return sender;
}

bool send_number(Sender* sender, const std::string& number) {
    const ssize_t sent =
        sendto(sender->socket, number.data(), number.size(), 0,
               reinterpret_cast<const sockaddr*>(&sender->address), sender->address_length);
    return sent == static_cast<ssize_t>(number.size());
}

void close_sender(Sender* sender) {
    close(sender->socket);
    delete sender;
}
