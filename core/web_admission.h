// Who the web side answers at all, decided before a request's route: a Host naming this board (a
// page on another site whose name was pointed at the board's address must not read or change it),
// an Origin that is the board's own for a change, and the wrong-PIN lock. Portable: no platform or
// library headers.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <string_view>

// A request's Host header against the board: 0 when it names the board, 400 when it is missing
// (HTTP/1.1) or malformed, 421 when it names something else. It names the board when it is an
// IPv4 or bracketed IPv6 literal, "localhost" or `machine_name` (either with or without ".local";
// letters in any case), with `port` or no port. `host_count` is how many Host headers came.
int host_status(int host_count, std::string_view host, bool http_1_0, uint16_t port,
                std::string_view machine_name);

// Whether an Origin header's value is the board's own page as the request reached it: "http://",
// the name in `host` (a Host host_status accepted) and `port`, the port left out only when 80.
bool origin_is_ours(std::string_view origin, std::string_view host, uint16_t port);

// Whether a request in this method would change the board, so a foreign Origin must not send it.
bool method_changes(std::string_view method);

constexpr int64_t kWrongPinWindowMs = 60 * 1000;

// Wrong PINs within the last kWrongPinWindowMs, per address and from all addresses together. The
// table of addresses is bounded; when full, the address whose latest wrong PIN is oldest goes, so
// a flood of addresses can shorten a stale lock but never stops new wrong PINs from counting.
struct WrongPins {
    int per_address = 5;   // an address's wrong PINs that lock it out
    int addresses = 4096;  // addresses tracked at once
    int all = 30;          // wrong PINs from everyone that lock every change needing the PIN
    std::map<uint32_t, std::deque<int64_t>> by_address;  // each address's times, oldest first
    std::deque<int64_t> recent;                          // everyone's times, oldest first
};

// Whether a change needing the PIN from `address` must wait (429) at `now_ms`. Forgets what has
// passed out of the window.
bool wrong_pins_block(WrongPins& pins, uint32_t address, int64_t now_ms);

// A wrong PIN from `address` at `now_ms`.
void wrong_pin_record(WrongPins& pins, uint32_t address, int64_t now_ms);

// The bounds on who holds the server's connections (the board's are in web/web_limits.h).
struct ConnectionCaps {
    int all;
    int per_address;
    int reserved;  // the last slots, kept for addresses holding fewer than reserve_share
    int reserve_share;
};

// Whether a new connection from an address already holding `held` of the `open` ones is served:
// one address cannot take every slot, nor a few addresses at their caps the last ones, so a phone
// that comes later still gets in.
bool connection_admitted(int open, int held, const ConnectionCaps& caps);
