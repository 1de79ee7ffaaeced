// What an HTTP request asks of the board, decided without any network code: the route, the
// number it carries, and the refusals (404, 405, 401, 400). Also the board's state as JSON for the
// API and the pages' event stream. Portable: no platform or library headers.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/board.h"
#include "core/draw.h"

enum class WebRoute {
    kNone,          // answer `status` and nothing else
    kPage,          // an embedded file: `asset` names it
    kGetBoard,      // GET /api/board
    kPutNumber,     // POST /api/numbers
    kRemoveNumber,  // DELETE /api/numbers/{number}
    kClearBoard,    // DELETE /api/numbers
    kEvents,        // GET /api/events
};

struct WebRequest {
    std::string_view method;
    std::string_view target;         // origin-form, query allowed and ignored
    std::string_view authorization;  // the header's value; empty when absent
    std::string_view content_type;
    std::string_view body;
};

struct WebAction {
    WebRoute route;
    int status;                  // 200 with a route; else 400, 401, 404 or 405
    const char* allow;           // the Allow header's value with 405, else nullptr
    const char* asset;           // with kPage: the embedded file's name ("index.html", ...)
    bool changes;                // a change to the board: the PIN guards it
    bool wrong_pin;              // 401 for a bearer that was given and is wrong (not missing)
    char number[kSlotSize + 1];  // with kPutNumber and kRemoveNumber: the cleaned text
};

// Maps one request. Checks in this order: the path (404), the method (405), the PIN for changes
// (401), then the number (400). With `pin` 0 nothing needs a PIN.
WebAction map_web_request(const WebRequest& request, int32_t pin);

// The number in a POST body. A body starting (after blanks) with '"' is a JSON string, its escapes
// decoded; with a JSON content type anything else must be a bare run of digits; any other body is
// read as a datagram is. Then cleaned as a datagram (its leading digits and '#'). False, and
// `out` empty, when that leaves nothing or more than a slot holds, or the JSON is malformed.
bool parse_number_body(std::string_view content_type, std::string_view body,
                       char (&out)[kSlotSize + 1]);

// The number in a path segment, percent-decoded ("%2357" is "#57"), then cleaned the same way.
bool parse_number_segment(std::string_view segment, char (&out)[kSlotSize + 1]);

// Whether an Authorization header's value is "Bearer <pin>", the PIN in decimal. The digits are
// compared in constant time over a fixed width, so the time taken does not tell how many matched.
bool bearer_matches(std::string_view authorization, int32_t pin);

// The board as JSON, one line:
// {"rows":R,"columns":C,"background":"#rrggbb","text":"#rrggbb","fit":false,
//  "numbers":["12","#13"],"shown":["12","13"],"highlighted":null}
// "numbers" are the active non-empty slots in slot order (the order they are drawn, column by
// column) as they are held, so a DELETE can name them; "shown" the same as drawn (a leading '#'
// left out). "highlighted" is the index into both of the highlighted one, or null. Rows and
// columns are the grid as the board reads it (0 when either is 0 or less).
std::string board_json(const BoardCopy& copy);
