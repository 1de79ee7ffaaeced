// A bare Winsock reader, the floor the real board is set against under Wine: its socket is opened
// and bound as the receiver's own (same buffer), then it just blocks in recvfrom.
//   bench-bare-receive <port> <quiet-ms> [log]
// Ends once nothing came for quiet-ms after the first datagram (or for 30 s before any) and prints
// how many it read. With a log, appends "<time> <count> <text>" per datagram, as the board's
// paint log does: the time in 100 ns units since 1601.
#include <winsock2.h>

#include <cstdio>
#include <cstdlib>

#include "live/socket_ops.h"

namespace {

unsigned long long filetime_now() {
    FILETIME now;
    GetSystemTimePreciseAsFileTime(&now);
    return (static_cast<unsigned long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: bench-bare-receive <port> <quiet-ms> [log]\n");
        return 2;
    }
    const uint16_t port = static_cast<uint16_t>(std::atoi(argv[1]));
    const DWORD quiet_ms = static_cast<DWORD>(std::atoi(argv[2]));
    FILE* const log = argc > 3 ? std::fopen(argv[3], "ab") : nullptr;
    const SocketOps& ops = platform_socket_ops();
    if (!ops.startup()) {
        return 1;
    }
    const NetSocket opened = ops.open_socket();
    if (opened == kNoSocket || !ops.bind_port(opened, port)) {
        return 1;
    }
    const SOCKET socket = static_cast<SOCKET>(opened);
    DWORD timeout_ms = 30000;
    setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout_ms),
               sizeof timeout_ms);
    char buffer[1025];
    unsigned long count = 0;
    for (;;) {
        sockaddr_in sender{};
        int sender_length = sizeof sender;
        const int got = recvfrom(socket, buffer, 1024,
                                 0,  // flags
                                 reinterpret_cast<sockaddr*>(&sender), &sender_length);
        if (got == SOCKET_ERROR) {
            if (WSAGetLastError() == WSAETIMEDOUT) {
                break;
            }
            continue;
        }
        if (++count == 1) {
            setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&quiet_ms),
                       sizeof quiet_ms);
        }
        if (log != nullptr) {
            buffer[got] = '\0';
            std::fprintf(log, "%llu %lu %s\n", filetime_now(), count, buffer);
            std::fflush(log);
        }
    }
    std::printf("%lu\n", count);
    ops.close_socket(opened);
    ops.cleanup();
    return 0;
}
