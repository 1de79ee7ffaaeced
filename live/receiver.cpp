// The receiver thread: set-up of the socket, the wait-and-read loop, and stopping it from outside.
// The socket calls themselves sit behind SocketOps, so this one loop serves both platforms.
#include "live/receiver.h"

#include <functional>
#include <system_error>

#include "live/live_board.h"

namespace {

void publish_event(Receiver& receiver, void* event) {
    std::lock_guard<std::mutex> hold(receiver.wake_lock);
    receiver.wake_event = event;
    receiver.wake_ready = true;
}

// After this no stop can reach the event, so the thread may close it.
void withdraw_event(Receiver& receiver) {
    std::lock_guard<std::mutex> hold(receiver.wake_lock);
    receiver.wake_event = nullptr;
    receiver.wake_ready = false;
}

void call_hook(const std::atomic<void (*)()>& slot) {
    void (*hook)() = slot.load();
    if (hook != nullptr) {
        hook();
    }
}

// Applies one read's datagram to the board and asks for a repaint when it was accepted.
void apply_datagram(Receiver& receiver, char* buffer, const Received& got) {
    // An oversized datagram is lost whole: a board that stopped for it would stop for good,
    // and a cut one would show a number nobody sent.
    if (got.status != ReceiveStatus::kReceived || got.length == 0 ||
        got.length > kReceiveCapacity) {
        return;
    }
    buffer[got.length] = '\0';
    const Outcome outcome = receive_datagram(*receiver.board, buffer, got.length);
    if (outcome.repaint) {
        call_hook(receiver.repaint_hook);
    }
    if (outcome.voice) {
        if (void (*hook)(const Outcome&) = receiver.voice_hook.load()) {
            hook(outcome);  // the speaker's turns are the controller's to decide
        }
    } else if (outcome.chime) {
        call_hook(receiver.chime_hook);
    }
}

// Returns when a stop was asked for or a read failed beyond repair.
void receive_loop(Receiver& receiver, NetSocket socket, void* event) {
    const SocketOps& ops = *receiver.ops;
    // One byte more than a read may fill, for the NUL after a datagram of full size.
    char buffer[kReceiveCapacity + 1] = {};
    // Looked at before each wait too: a stop asked for before the event was published has no
    // wake to end the wait early.
    while (!receiver.stop_requested.load()) {
        const bool signalled = ops.wait(socket, event, kWaitStepMs);
        if (receiver.stop_requested.load()) {
            return;
        }
        if (!signalled) {
            continue;
        }
        // Everything queued is read before the next wait, so a rush costs one wait, not one per
        // datagram (under Wine every wait is a round trip to the wineserver: waiting per datagram
        // took in two thirds as much of a burst). The event is reset before every read, so a
        // datagram arriving after the last one is read signals it again; Windows skips all but
        // the first reset of a round, as its event is signalled again by any later arrival.
        // "Would block" (tolerated) ends the round.
        for (;;) {
            ops.reset(event);
            const Received got = ops.receive(socket, buffer, kReceiveCapacity);
            if (got.status == ReceiveStatus::kFatal) {
                return;
            }
            if (got.status == ReceiveStatus::kTolerated) {
                break;
            }
            apply_datagram(receiver, buffer, got);
            // A flood must not keep a stop waiting.
            if (receiver.stop_requested.load()) {
                return;
            }
        }
    }
}

// Binds and listens on an open socket; returns when the receiver is to end, having released the
// event it created but not the socket.
void listen_on(Receiver& receiver, NetSocket socket) {
    const SocketOps& ops = *receiver.ops;
    if (!ops.bind_port(socket, receiver.port)) {
        return;
    }
    void* const event = ops.create_event();
    if (event == nullptr) {
        return;
    }
    publish_event(receiver, event);
    if (ops.select_read(socket, event)) {
        receiver.state.store(ReceiverState::kListening);
        receive_loop(receiver, socket, event);
    }
    withdraw_event(receiver);
    ops.close_event(event);
}

}  // namespace

void receiver_main(Receiver& receiver) {
    const SocketOps& ops = *receiver.ops;
    // A failed start-up took nothing, so it gets no clean-up: a clean-up too many would release
    // the socket library under someone else in the same process.
    if (ops.startup()) {
        const NetSocket socket = ops.open_socket();
        if (socket != kNoSocket) {
            listen_on(receiver, socket);
            ops.close_socket(socket);
        }
        ops.cleanup();
    }
    receiver.state.store(ReceiverState::kEnded);
}

void start_receiver(Receiver& receiver) {
    if (receiver.thread.joinable()) {
        return;
    }
    receiver.stop_requested.store(false);
    receiver.state.store(ReceiverState::kStarting);
    // A thread that cannot be started is one more receiver failure: the board stays as it is and
    // the window goes on, rather than the exception ending the program.
    try {
        receiver.thread = std::thread(receiver_main, std::ref(receiver));
    } catch (const std::system_error&) {
        receiver.state.store(ReceiverState::kEnded);
    }
}

void stop_receiver(Receiver& receiver) {
    if (!receiver.thread.joinable()) {
        return;
    }
    receiver.stop_requested.store(true);
    {
        std::lock_guard<std::mutex> hold(receiver.wake_lock);
        if (receiver.wake_ready) {
            receiver.ops->wake(receiver.wake_event);
        }
    }
    receiver.thread.join();
    receiver.state.store(ReceiverState::kIdle);
    receiver.stop_requested.store(false);
}

Receiver& board_receiver() {
    // Never destroyed: a thread object still joinable at exit would abort the program.
    static Receiver* const receiver = [] {
        Receiver* created = new Receiver;
        created->board = &live_board();
        return created;
    }();
    return *receiver;
}

void start_receiver() {
    start_receiver(board_receiver());
}

void stop_receiver() {
    stop_receiver(board_receiver());
}

void set_repaint_hook(void (*hook)()) {
    board_receiver().repaint_hook.store(hook);
}

void set_chime_hook(void (*hook)()) {
    board_receiver().chime_hook.store(hook);
}
