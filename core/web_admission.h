// Who the web side answers at all, decided before a request's route: a Host naming this board (a
// page on another site whose name was pointed at the board's address must not read or change it)
// and an Origin that is the board's own for a change. Portable: no platform or library headers.
#pragma once

#include <cstdint>
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
