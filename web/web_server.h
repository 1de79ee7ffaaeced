// The board on the shop's network: an HTTP server for the board page, the staff keypad and the
// API, on its own thread, acting on a live board only through live/live_board.h. Off unless a
// shell starts it; it opens nothing before web_server_start.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "live/live_board.h"
#include "web/web_limits.h"

// How the server tells the shell that the board changed through it (repaint, chime). Called on
// the server's thread, after the change, never under the board's lock.
struct WebShell {
    void* context;
    void (*changed)(void* context, Outcome outcome);
    // Tests only: the server has just copied the board for the pages (on its thread).
    void (*copied)(void* context) = nullptr;
};

struct WebServer;

// Stops the server (closing every connection and its thread) and frees it.
struct WebServerDeleter {
    void operator()(WebServer* server) const;
};
using WebServerHandle = std::unique_ptr<WebServer, WebServerDeleter>;

// Binds 0.0.0.0:port over IPv4 (port 0: any free port, for tests) and starts serving on a thread
// of its own. On failure returns null with the reason in `error`, having started nothing. `pin` is
// 0 for none, else 1..99999999. Only requests whose Host names this machine are answered, and a
// change from another site's page is refused whatever the PIN (core/web_admission.h).
WebServerHandle web_server_start(LiveBoard& board, uint16_t port, int32_t pin, WebShell shell,
                                 std::string* error, const WebLimits& limits = WebLimits{});

// Stopping is resetting the handle: every connection closed, the thread joined and the port free
// to be bound again, so a new port is a reset and a start.

// The port bound (the one chosen, with 0).
uint16_t web_server_port(const WebServer& server);

// Takes effect for the next request; any thread.
void web_server_set_pin(WebServer& server, int32_t pin);

// The board may have changed (a datagram, the timer, a settings change): any thread, cheap, and
// calls close together are coalesced into one copy of the board and one event to each stream.
void web_server_board_changed(WebServer& server);

// The window's paint has ended: an event the pages held back for it goes now. Any thread, cheap.
void web_server_window_painted(WebServer& server);

// Counters for tests and the service view; read without stopping the server.
struct WebServerStats {
    int connections;      // open now, streams included
    int streams;          // event-stream clients open now
    int refused;          // connections closed at accept for a limit (all, or the address's)
    int dropped_streams;  // stream clients dropped for not reading
    int events_sent;      // events queued to stream clients, in all
    int largest_queue;    // the most events any one stream client had unsent
    int window_waits;     // times the pages' event waited for the window's paint
    int pace_waits;       // times it waited for the pace of sends to pages
};
WebServerStats web_server_stats(const WebServer& server);
