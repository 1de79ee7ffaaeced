// pelivor-send's socket side on Windows.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <string>

#include "tools/sender.h"

struct Sender {
    SOCKET socket;
    sockaddr_in address;
};

Sender* open_sender(const std::string& host, uint16_t port, std::string* error) {
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) {
        *error = "cannot start Windows Sockets";
        return nullptr;
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    if (getaddrinfo(host.c_str(), service.c_str(), &hints, &found) != 0 || found == nullptr) {
        *error = "unknown host '" + host + "'";
        WSACleanup();
        return nullptr;
    }
    Sender* sender = new Sender{};
    sender->address = *reinterpret_cast<const sockaddr_in*>(found->ai_addr);
    freeaddrinfo(found);
    sender->socket = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (sender->socket == INVALID_SOCKET) {
        *error = "cannot open a UDP socket (error " + std::to_string(WSAGetLastError()) + ")";
        delete sender;
        WSACleanup();
        return nullptr;
    }
    // One till may drive every board on its network through a broadcast address; without this
    // the system refuses to send there.
    const BOOL allowed = TRUE;
    setsockopt(sender->socket, SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char*>(&allowed),
               sizeof allowed);
    return sender;
}

bool send_number(Sender* sender, const std::string& number) {
    const int sent =
        sendto(sender->socket, number.data(), static_cast<int>(number.size()), 0,
               reinterpret_cast<const sockaddr*>(&sender->address), sizeof sender->address);
    return sent == static_cast<int>(number.size());
}

void close_sender(Sender* sender) {
    closesocket(sender->socket);
    delete sender;
    WSACleanup();
}
