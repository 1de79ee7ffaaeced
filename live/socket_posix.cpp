// The receiver's socket steps on POSIX sockets: poll() watches the socket and a wake pipe, which
// stands in for the Windows event that a stop signals.
#include "live/socket_ops.h"

#include <cerrno>
#include <new>

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

namespace {

struct WakePipe {
    int read_end;
    int write_end;
};

int fd_of(NetSocket socket) {
    return static_cast<int>(socket);
}

bool add_flags(int fd, int get, int set, int flags) {
    const int old = fcntl(fd, get);
    return old >= 0 && fcntl(fd, set, old | flags) == 0;
}

// Nothing to start or release: the sockets are the kernel's.
bool posix_startup() {
    return true;
}

void posix_cleanup() {}

NetSocket posix_open_socket() {
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0) {
        return kNoSocket;
    }
    add_flags(fd, F_GETFD, F_SETFD, FD_CLOEXEC);
    // Linux caps it at net.core.rmem_max without an error.
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &kReceiveQueueBytes, sizeof kReceiveQueueBytes);
    return fd;
}

bool posix_bind_port(NetSocket socket, uint16_t port) {
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    local.sin_port = htons(port);
    return bind(fd_of(socket), reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0;
}

void posix_close_socket(NetSocket socket) {
    close(fd_of(socket));
}

void* posix_create_event() {
    int ends[2];
    if (pipe(ends) != 0) {
        return nullptr;
    }
    WakePipe* const wake = new (std::nothrow) WakePipe{ends[0], ends[1]};
    // The write end must never block the thread that stops the receiver, even on a full pipe.
    if (wake == nullptr || !add_flags(ends[1], F_GETFL, F_SETFL, O_NONBLOCK)) {
        delete wake;
        close(ends[0]);
        close(ends[1]);
        return nullptr;
    }
    add_flags(ends[0], F_GETFD, F_SETFD, FD_CLOEXEC);
    add_flags(ends[1], F_GETFD, F_SETFD, FD_CLOEXEC);
    return wake;
}

void posix_close_event(void* event) {
    WakePipe* const wake = static_cast<WakePipe*>(event);
    close(wake->read_end);
    close(wake->write_end);
    delete wake;
}

// As an event selection does on Windows, this makes reads non-blocking: a read after a wake-up
// with nothing queued then reports "would block" instead of hanging the loop.
bool posix_select_read(NetSocket socket, void*) {
    return add_flags(fd_of(socket), F_GETFL, F_SETFL, O_NONBLOCK);
}

bool posix_wait(NetSocket socket, void* event, int timeout_ms) {
    const WakePipe* const wake = static_cast<const WakePipe*>(event);
    pollfd watched[2] = {{fd_of(socket), POLLIN, 0}, {wake->read_end, POLLIN, 0}};
    return poll(watched, 2, timeout_ms) != 0;
}

// Readiness is level-triggered, and the wake pipe is never drained: once woken, the receiver is
// on its way out.
void posix_reset(void*) {}

Received posix_receive(NetSocket socket, char* buffer, size_t capacity) {
    iovec part{buffer, capacity};
    msghdr message{};
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    const ssize_t got = recvmsg(fd_of(socket), &message, 0);
    if (got < 0) {
        return Received{classify_receive_error(errno), 0};
    }
    // The kernel cuts an oversized datagram to the buffer without an error; only this flag tells.
    if ((message.msg_flags & MSG_TRUNC) != 0) {
        return Received{ReceiveStatus::kOversized, 0};
    }
    return Received{ReceiveStatus::kReceived, static_cast<size_t>(got)};
}

void posix_wake(void* event) {
    const char byte = 1;
    // A failed write means the pipe is full, which wakes the wait just as well.
    const ssize_t written = write(static_cast<WakePipe*>(event)->write_end, &byte, 1);
    (void)written;
}

}  // namespace

const SocketOps& platform_socket_ops() {
    static const SocketOps ops = {
        posix_startup,      posix_cleanup,      posix_open_socket, posix_bind_port,
        posix_close_socket, posix_create_event, posix_close_event, posix_select_read,
        posix_wait,         posix_reset,        posix_receive,     posix_wake,
    };
    return ops;
}

ReceiveStatus classify_receive_error(int code) {
    // The sender's port being closed, a signal, or a read that found nothing after all.
    if (code == EAGAIN || code == EWOULDBLOCK || code == EINTR || code == ECONNREFUSED) {
        return ReceiveStatus::kTolerated;
    }
    return ReceiveStatus::kFatal;
}
