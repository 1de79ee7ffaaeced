// The receiver's socket steps on Windows Sockets 2: an event selected for reads, waited on in
// steps, and signalled by a stop to end the wait at once.
#include "live/socket_ops.h"

#include <winsock2.h>

namespace {

// Set by a wait, cleared by the reset that follows it. The receiver resets before every read;
// only the first reset of a round goes to the event (under Wine each is a wineserver round
// trip), since Winsock signals the event again for a datagram arriving during the reads.
thread_local bool g_event_signal_unreset = false;

SOCKET socket_of(NetSocket socket) {
    return static_cast<SOCKET>(socket);
}

bool win32_startup() {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

void win32_cleanup() {
    WSACleanup();
}

NetSocket win32_open_socket() {
    const SOCKET opened = socket(AF_INET, SOCK_DGRAM, 0);
    if (opened == INVALID_SOCKET) {
        return kNoSocket;
    }
    setsockopt(opened, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&kReceiveQueueBytes),
               sizeof kReceiveQueueBytes);
    return static_cast<NetSocket>(opened);
}

bool win32_bind_port(NetSocket socket, uint16_t port) {
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    local.sin_port = htons(port);
    return bind(socket_of(socket), reinterpret_cast<const sockaddr*>(&local), sizeof local) !=
           SOCKET_ERROR;
}

void win32_close_socket(NetSocket socket) {
    closesocket(socket_of(socket));
}

void* win32_create_event() {
    const WSAEVENT event = WSACreateEvent();
    return event == WSA_INVALID_EVENT ? nullptr : event;
}

void win32_close_event(void* event) {
    WSACloseEvent(event);
}

// Also makes the socket non-blocking, so a read after a stale event gives WSAEWOULDBLOCK.
bool win32_select_read(NetSocket socket, void* event) {
    return WSAEventSelect(socket_of(socket), event, FD_READ) != SOCKET_ERROR;
}

bool win32_wait(NetSocket, void* event, int timeout_ms) {
    WSAEVENT events[1] = {event};
    const DWORD result = WSAWaitForMultipleEvents(1, events,
                                                  FALSE,  // any of them, not all
                                                  static_cast<DWORD>(timeout_ms),
                                                  FALSE);  // not alertable
    g_event_signal_unreset = true;
    // A failed wait goes on to the read like a signalled one, which then reports what is wrong.
    return result != WSA_WAIT_TIMEOUT;
}

void win32_reset(void* event) {
    if (g_event_signal_unreset) {
        g_event_signal_unreset = false;
        WSAResetEvent(event);
    }
}

Received win32_receive(NetSocket socket, char* buffer, size_t capacity) {
    sockaddr_in sender{};  // never looked at: there is no reply
    int sender_length = sizeof sender;
    const int got = recvfrom(socket_of(socket), buffer, static_cast<int>(capacity),
                             0,  // flags
                             reinterpret_cast<sockaddr*>(&sender), &sender_length);
    if (got == SOCKET_ERROR) {
        return Received{classify_receive_error(WSAGetLastError()), 0};
    }
    return Received{ReceiveStatus::kReceived, static_cast<size_t>(got)};
}

void win32_wake(void* event) {
    WSASetEvent(event);
}

}  // namespace

const SocketOps& platform_socket_ops() {
    static const SocketOps ops = {
        win32_startup,      win32_cleanup,      win32_open_socket, win32_bind_port,
        win32_close_socket, win32_create_event, win32_close_event, win32_select_read,
        win32_wait,         win32_reset,        win32_receive,     win32_wake,
    };
    return ops;
}

ReceiveStatus classify_receive_error(int code) {
    switch (code) {
        case WSAECONNRESET:   // an unreachable-port notice for an earlier datagram
        case WSAEWOULDBLOCK:  // the event fired once more after the queue was drained
            return ReceiveStatus::kTolerated;
        case WSAEMSGSIZE:  // longer than the buffer: the rest of the datagram is gone
            return ReceiveStatus::kOversized;
        default:
            return ReceiveStatus::kFatal;
    }
}
