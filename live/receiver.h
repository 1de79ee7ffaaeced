// The datagram receiver: a thread that listens on a UDP port and applies each datagram to the
// board, asking the user interface for a repaint after every accepted text. Portable.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>

#include "core/protocol.h"
#include "live/socket_ops.h"

struct LiveBoard;
struct Outcome;

constexpr uint16_t kReceiverPort = kBoardPort;

// One read delivers at most this many bytes; the buffer holds one more for the NUL after them.
constexpr size_t kReceiveCapacity = 1024;

// How long one wait lasts at most before the stop flag is looked at again.
constexpr int kWaitStepMs = 100;

enum class ReceiverState {
    kIdle,       // never started, or stopped
    kStarting,   // thread running, socket not yet bound
    kListening,  // bound and in the loop
    kEnded,      // left through its exit path: set-up failure, receive error or stop
};

struct Receiver {
    const SocketOps* ops = &platform_socket_ops();
    uint16_t port = kReceiverPort;
    LiveBoard* board = nullptr;
    std::atomic<void (*)()> repaint_hook{nullptr};  // nullptr: no window to repaint yet
    std::atomic<void (*)()> chime_hook{nullptr};    // nullptr: no sound to play
    // With the voice on, the chime and the call go here instead (to the speaker).
    std::atomic<void (*)(const Outcome&)> voice_hook{nullptr};

    std::thread thread;
    std::atomic<ReceiverState> state{ReceiverState::kIdle};
    std::atomic<bool> stop_requested{false};
    // The thread publishes its event here while it is open, so a stop can wake the wait without
    // racing the thread's own exit path, which closes the event.
    std::mutex wake_lock;
    void* wake_event = nullptr;
    bool wake_ready = false;
};

// The thread's body: set-up, the loop, and the exit path that releases what set-up took.
void receiver_main(Receiver& receiver);

// Starts the thread unless one is already started and not yet stopped. Board must be set.
void start_receiver(Receiver& receiver);

// Asks the thread to end, wakes its wait and joins it. A receiver that already ended by itself is
// just joined; one never started is left alone.
void stop_receiver(Receiver& receiver);

// The process-wide receiver on port 3001, feeding live_board().
Receiver& board_receiver();

void start_receiver();
void stop_receiver();

// Installed by the controller once the main window exists; until then no repaint is requested.
void set_repaint_hook(void (*hook)());

// Installed by the controller: plays the chime without blocking the receiver thread.
void set_chime_hook(void (*hook)());
