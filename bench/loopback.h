// What the receiver benchmarks need from the operating system: a sender and a bare reader on the
// loopback address, the socket's receive buffer, and a thread's CPU time and wake-ups.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "live/socket_ops.h"

// A UDP socket to send from; -1 when none could be opened.
int open_loopback_sender();
void close_loopback_sender(int sender);

// One datagram to 127.0.0.1:port; false when the send failed.
bool send_loopback(int sender, uint16_t port, const char* bytes, size_t length);

// Each text as one datagram to 127.0.0.1:port, in batches of as many as one call takes.
void send_burst(int sender, uint16_t port, const std::vector<std::string>& texts);

// Datagrams the kernel dropped so far because a socket's receive queue was full (all sockets of
// this network namespace).
long udp_queue_drops();

// A UDP port that nothing was bound to a moment ago.
uint16_t free_loopback_port();

// The kernel's receive buffer of a socket, in bytes (what getsockopt reports).
int receive_buffer_bytes(NetSocket socket);

// The floor every receiver is measured against: blocking reads on a socket opened and bound as
// the receiver opens and binds its own, each datagram handed to `on_datagram`. Returns how many
// were read; ends once `sender_done` is set and nothing came for `quiet_ms`.
long bare_receive(NetSocket socket, const std::atomic<bool>& sender_done, int quiet_ms,
                  void (*on_datagram)(const char* bytes, size_t length));

// The processors this process may run on, by number, as it started.
std::vector<int> usable_processors();

// The processor this thread runs on at the moment.
int current_processor();

// Keeps this thread, and the threads it starts from now on, on one processor; false when the
// system refuses.
bool pin_to_processor(int processor);

// Lets this thread run on every usable processor again.
void unpin_processor();

// The kernel's ids of this process's threads.
std::vector<int> thread_ids();

struct ThreadUsage {
    double cpu_seconds;
    long voluntary_switches;  // each one a sleep the thread went into, so one wake-up
};

ThreadUsage thread_usage(std::thread& thread, int thread_id);
