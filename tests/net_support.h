// What the receiver tests share: a sender of their own on the loopback address, free ports and
// the platform's real error codes (from net_support_*.cpp), and a few looks at the board.
#pragma once

#include <atomic>
#include <chrono>
#include <cstring>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "live/live_board.h"
#include "live/receiver.h"
#include "live/socket_ops.h"

// A UDP socket of the test's own; kNoSocket when it could not be opened.
NetSocket open_sender();
void close_sender(NetSocket sender);

// Sends the bytes as one datagram to 127.0.0.1:port.
bool send_datagram(NetSocket sender, uint16_t port, const std::string& bytes);

// The same to another address, given in host byte order.
bool send_datagram_to(NetSocket sender, uint32_t host, uint16_t port, const std::string& bytes);

// A UDP port that nothing was bound to a moment ago.
uint16_t pick_free_port();

// Whether a UDP socket of the test's own can be bound to the port on every local address.
bool port_is_free(uint16_t port);

struct ErrorCase {
    int code;
    const char* name;
    ReceiveStatus expected;
};

// Error codes from the platform's headers, with what the receiver must make of them.
std::vector<ErrorCase> platform_error_cases();

// Polls until the condition holds, for at most five seconds; false when it never did.
template <typename Condition>
bool eventually(Condition condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

// The texts on show, oldest first.
inline std::vector<std::string> shown(LiveBoard& board) {
    const BoardCopy copy = copy_board(board);
    std::vector<std::string> texts;
    const int active = active_count(copy.settings.rows, copy.settings.columns);
    for (int k = 0; k < active && copy.table.slots[k][0] != '\0'; ++k) {
        texts.emplace_back(copy.table.slots[k], strnlen(copy.table.slots[k], kSlotSize));
    }
    return texts;
}

inline std::string newest(LiveBoard& board) {
    const std::vector<std::string> texts = shown(board);
    return texts.empty() ? std::string() : texts.back();
}

inline void set_grid(LiveBoard& board, int32_t rows, int32_t columns) {
    std::lock_guard<std::mutex> hold(board.lock);
    board.settings.rows = rows;
    board.settings.columns = columns;
}

inline bool in_state(const Receiver& receiver, ReceiverState state) {
    return eventually([&] { return receiver.state.load() == state; });
}

// Stops the receiver however the test ends, so a failed assertion never leaves a thread running.
struct StopAtExit {
    Receiver& receiver;
    ~StopAtExit() { stop_receiver(receiver); }
};
