// What an HTTP request asks of the board, decided without any network code: the route, the
// number it carries, the refusals (404, 405, 401, 400) and why, in words a client can show. Also
// the board's state as JSON for the API and the pages' event stream. Portable: no platform or
// library headers.
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
    kUndo,          // POST /api/undo
    kVoiceClip,     // GET /voice/<name>.wav: `asset` names the clip
};

struct WebRequest {
    std::string_view method;
    std::string_view target;         // origin-form, query allowed and ignored
    std::string_view authorization;  // the header's value; empty when absent
    std::string_view content_type;
    std::string_view body;
    bool voice;  // the board calls numbers aloud: its clips are there to be fetched
};

struct WebAction {
    WebRoute route;
    int status;                  // 200 with a route; else 400, 401, 404 or 405
    const char* reason;          // with a refusal: why, short English; else nullptr
    const char* allow;           // the Allow header's value with 405, else nullptr
    const char* asset;           // with kPage: the embedded file's name ("index.html", ...);
                                 // with kVoiceClip: the clip's name ("siedem")
    bool changes;                // a change to the board: the PIN guards it
    bool wrong_pin;              // 401 for a bearer that was given and is wrong (not missing)
    char number[kSlotSize + 1];  // with kPutNumber and kRemoveNumber: the cleaned text
    bool preparing;              // with kPutNumber: to the preparing zone, not ready
};

// Maps one request. Checks in this order: the path (404), the method (405), the PIN for changes
// (401), then the number (400). With `pin` 0 nothing needs a PIN. HEAD is mapped as GET wherever
// GET is; the server sends the head alone. The event stream is GET only. A clip is there only
// while the voice is on and only by a name the voice uses: otherwise its path is unknown (404).
WebAction map_web_request(const WebRequest& request, int32_t pin);

// Where the clips are: a server reads whether the voice is on only for paths under it.
constexpr std::string_view kVoicePath = "/voice/";

// The number in a POST body, read as a datagram is: its leading run of digits and '#', so a blank
// or anything else after the number ends it ("57\r\n" is "57", "5 7" is "5") and one before it
// leaves none. A body starting (after blanks) with '"' is a JSON string, its escapes decoded
// first, holding no line break; one starting with '{' a JSON object with the string "number" and
// optionally "state", "ready" (the default) or "preparing" (*preparing set), and nothing else;
// with a JSON content type anything else must be a bare run of digits. A number needs a digit
// ("#" is none). False, `out` empty and `why` (when given) set, when no number is read.
bool parse_number_body(std::string_view content_type, std::string_view body,
                       char (&out)[kSlotSize + 1], const char** why = nullptr,
                       bool* preparing = nullptr);

// The number in a path segment, percent-decoded ("%2357" is "#57"), then cleaned as a datagram.
bool parse_number_segment(std::string_view segment, char (&out)[kSlotSize + 1],
                          const char** why = nullptr);

// Whether a request's body can be framed: no Transfer-Encoding, or one such field saying exactly
// "chunked". Any other coding is answered 501 and the connection closed, as what follows the
// request may be a second one hidden in its body.
bool transfer_encoding_readable(int fields, std::string_view value);

// What the server says of bytes its HTTP parser refused, before any mapping.
extern const char kMalformedHttp[];      // 400
extern const char kUnsupportedCoding[];  // 501, for any Transfer-Encoding but "chunked"

// A refusal's body: {"error":"<reason>"}. Reasons hold no quote or backslash.
std::string error_json(const char* reason);

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
// With two zones on, after these: "zones":true, "preparing" and "preparing_shown" as "numbers"
// and "shown" are, "ages" (whole seconds each ready number has waited), "overdue" (indexes of
// those past the overdue time) and "layout", the proportions the window draws the zones in.
// With the voice on, last: "voice":true and "calls", the latest calls oldest first, each
// {"seq":N,"number":"57","reminder":false,"clips":["zamowienie_numer",...]}, "number" as held.
std::string board_json(const BoardCopy& copy);
