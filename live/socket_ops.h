// The socket steps the receiver takes, as a table of functions: socket_win32.cpp and
// socket_posix.cpp fill it with real calls, tests with fakes that fail where they are told to.
#pragma once

#include <cstddef>
#include <cstdint>

// A socket as the platform numbers it; kNoSocket when none was opened.
using NetSocket = intptr_t;
constexpr NetSocket kNoSocket = -1;

// The receive queue asked of the system for the board's socket. A rush of numbers waits there
// while the receiver is busy or not scheduled, and the default (about 200 KiB on Linux, where a
// short datagram takes some 800 bytes of it, and 64 KiB on Windows) holds only a few hundred.
// The system may grant less; a refusal leaves its default.
constexpr int kReceiveQueueBytes = 1 << 20;

// What one read from the socket came to.
enum class ReceiveStatus {
    kReceived,   // `length` bytes are in the buffer (possibly none)
    kTolerated,  // a passing error (a stale read event, an unreachable-port notice): read again
    kOversized,  // the datagram did not fit the buffer: it is lost, read the next
    kFatal,      // anything else: the receiver ends
};

struct Received {
    ReceiveStatus status;
    size_t length;
};

struct SocketOps {
    bool (*startup)();  // the socket library; paired with exactly one cleanup when it succeeds
    void (*cleanup)();
    NetSocket (*open_socket)();                          // UDP over IPv4; kNoSocket on failure
    bool (*bind_port)(NetSocket socket, uint16_t port);  // every local address
    void (*close_socket)(NetSocket socket);
    // The event a wait watches: the socket's readiness, and `wake` from another thread.
    void* (*create_event)();  // nullptr on failure
    void (*close_event)(void* event);
    bool (*select_read)(NetSocket socket, void* event);  // ties the socket's reads to the event
    bool (*wait)(NetSocket socket, void* event, int timeout_ms);  // false on time-out
    void (*reset)(void* event);  // before each read; only the first after a wait need act
    // Reads one datagram of at most `capacity` bytes.
    Received (*receive)(NetSocket socket, char* buffer, size_t capacity);
    void (*wake)(void* event);  // safe from any thread while the event is open
};

// The real calls of the platform this program was built for.
const SocketOps& platform_socket_ops();

// What a platform error code from a failed read means for the receiver.
ReceiveStatus classify_receive_error(int code);
