// The board on the shop's network: an HTTP server for the board page, the staff keypad and the
// API, on its own thread, acting on a live board only through live/live_board.h. Off unless a
// shell starts it; it opens nothing before web_server_start.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "live/live_board.h"

// How the server tells the shell that the board changed through it (repaint, chime). Called on
// the server's thread, after the change, never under the board's lock.
struct WebShell {
    void* context;
    void (*changed)(void* context, Outcome outcome);
};

// The bounds on what a client can make the server hold. The defaults are the board's; tests may
// lengthen the idle time where they hold many connections open on purpose.
struct WebLimits {
    int max_connections = 256;    // more are closed as soon as they are accepted
    int header_bytes = 8 * 1024;  // a request's line and headers; past it 431 and closed
    int body_bytes = 1024;        // past it 413 and closed
    int idle_ms = 5000;           // a request not complete in this long is closed
    // After an answer that closes, what the client still sends is read and thrown away (so the
    // answer is not lost to a reset) for this long in all and up to this much; then closed.
    int linger_ms = 1000;
    int linger_bytes = 64 * 1024;
    int stream_queue = 16;  // events a stream client may have unsent; past it dropped
    // Wrong PINs a minute from one address, and from all together, past which changes needing the
    // PIN get 429 (that address's, or everyone's) till the minute passes; and the addresses kept,
    // the stalest going first when more come.
    int wrong_pins = 5;
    int wrong_pins_all = 30;
    int wrong_pin_addresses = 4096;
    // The window draws a change before the pages hear of it (their sends would share the processor
    // with its paint). While it keeps drawing, this many pages go after each paint; a window that
    // ends no paint in window_first_ms (hidden, minimised) holds none back.
    int window_first_ms = 20;
    int pages_per_paint = 8;
    // A change reaches up to max_connections pages at once; a flood of changes reaches them at
    // this many sends a second in all, so 200 pages hear of it 5 times a second, one page at once.
    int pages_per_second = 1000;
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
    int refused;          // connections closed at accept for the limit
    int dropped_streams;  // stream clients dropped for not reading
    int events_sent;      // events queued to stream clients, in all
    int largest_queue;    // the most events any one stream client had unsent
    int window_waits;     // times the pages' event waited for the window's paint
    int pace_waits;       // times it waited for the pace of sends to pages
};
WebServerStats web_server_stats(const WebServer& server);
