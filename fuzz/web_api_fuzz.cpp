// libFuzzer target: any request as the HTTP library hands it over, mapped to an action; aborts when
// the mapping lets a change past the PIN, carries a number the board could not hold, gives a status
// the server does not know or a refusal without a reason it can put in JSON, lets a HEAD past the
// pages and the board, or when the board's JSON carries anything but digits and '#' as text.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "core/web_admission.h"
#include "core/web_api.h"

namespace {

// Input: a method byte, 4 bytes of PIN (little-endian, reduced to 0..99999999), then the target,
// the Authorization value, the Content-Type and the body, separated by 0x00 bytes (the last field
// runs to the end). The same bytes also fill a board copy for board_json.
constexpr const char* kMethods[] = {"GET", "POST", "DELETE", "PUT", "HEAD", "get", "", "OPTIONS"};

void require(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "web mapping invariant broken: %s\n", what);
        std::abort();
    }
}

bool number_ok(const char* number) {
    const size_t length = strnlen(number, kSlotSize + 1);
    if (length == 0 || length > kMaxTextLength) {
        return false;
    }
    for (size_t i = 0; i < length; ++i) {
        if ((number[i] < '0' || number[i] > '9') && number[i] != '#') {
            return false;
        }
    }
    return true;
}

std::string_view next_field(std::string_view& rest) {
    const size_t end = rest.find('\0');
    const std::string_view field = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    return field;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 5) {
        return 0;
    }
    uint32_t raw_pin;
    memcpy(&raw_pin, data + 1, 4);
    const int32_t pin = static_cast<int32_t>(raw_pin % (kMaxStaffPin + 1));
    std::string_view rest(reinterpret_cast<const char*>(data + 5), size - 5);
    WebRequest request{};
    request.method = kMethods[data[0] % (sizeof kMethods / sizeof kMethods[0])];
    request.target = next_field(rest);
    request.authorization = next_field(rest);
    request.content_type = next_field(rest);
    request.body = rest;
    request.voice = (data[0] & 0x80) != 0;  // a bit the method's choice leaves alone

    const WebAction action = map_web_request(request, pin);
    const int s = action.status;
    require(s == 200 || s == 400 || s == 401 || s == 404 || s == 405, "unknown status");
    require((s == 200) == (action.route != WebRoute::kNone), "a route without 200, or neither");
    require((s == 405) == (action.allow != nullptr), "405 without Allow, or Allow without 405");
    require(!action.wrong_pin || s == 401, "a wrong PIN that was let through");
    require(action.route != WebRoute::kVoiceClip || (request.voice && action.asset != nullptr),
            "a clip without the voice, or without a name");
    require((s == 200) == (action.reason == nullptr),
            "a refusal without a reason, or 200 with one");
    for (const char* c = action.reason; c != nullptr && *c != '\0'; ++c) {
        require(*c >= ' ' && *c != '"' && *c != '\\' && *c < 0x7f, "a reason JSON cannot carry");
    }
    if (request.method == "HEAD" && s == 200) {
        require(action.route == WebRoute::kPage || action.route == WebRoute::kGetBoard ||
                    action.route == WebRoute::kVoiceClip,
                "a HEAD that reaches a stream or a change");
    }
    if (action.changes && s == 200 && pin != 0) {
        require(bearer_matches(request.authorization, pin), "a change past the PIN");
    }
    if (action.route == WebRoute::kPutNumber || action.route == WebRoute::kRemoveNumber) {
        require(number_ok(action.number), "a number the board cannot hold");
    }
    if (action.route == WebRoute::kPutNumber) {
        require(strpbrk(action.number, "0123456789") != nullptr, "a number put up without a digit");
    }
    if (action.route == WebRoute::kPage) {
        require(action.asset != nullptr && strchr(action.asset, '/') == nullptr, "asset path");
    }

    // The Authorization and Content-Type fields as a Host and an Origin: an accepted Host is a
    // name, a literal and a port, never a path, user or second header folded in.
    const uint16_t port = static_cast<uint16_t>(raw_pin);
    const int host =
        host_status(1 + (data[0] >> 7), request.authorization, data[0] & 0x40, port, "kasa");
    require(host == 0 || host == 400 || host == 421, "unknown Host status");
    if (host == 0) {
        for (const char c : request.authorization) {
            require((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                        c == '.' || c == ':' || c == '[' || c == ']' || c == '-',
                    "a Host accepted with a character no name or address has");
        }
    }
    if (transfer_encoding_readable(1, request.content_type)) {
        require(request.content_type.find(',') == std::string_view::npos, "a list of codings read");
    }
    if (origin_is_ours(request.content_type, request.authorization, port)) {
        // The scheme in any case, as browsers may send it.
        std::string scheme(request.content_type.substr(0, 7));
        for (char& c : scheme) {
            c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
        }
        require(scheme == "http://", "an Origin not over http");
    }

    // The same bytes as a board: whatever the slots hold, the JSON's strings are digits and '#'.
    BoardCopy copy{};
    memcpy(&copy.table, data, size < sizeof copy.table ? size : sizeof copy.table);
    copy.settings.rows = data[1] % 12;
    copy.settings.columns = data[2] % 12;
    copy.extensions.highlight_ms = data[3] & 1 ? 1000 : 0;
    copy.highlighted = static_cast<int>(data[4]) - 100;
    const std::string json = board_json(copy);
    const size_t numbers = json.find("\"numbers\":[");
    const size_t end = json.find("],\"highlighted\"");
    require(numbers != std::string::npos && end != std::string::npos, "JSON shape");
    for (size_t i = numbers + 11; i < end; ++i) {
        const char c = json[i];
        require((c >= '0' && c <= '9') || c == '#' || c == '"' || c == ',' || c == ']' ||
                    c == '[' || c == ':' || (c >= 'a' && c <= 'z'),
                "JSON text outside digits and '#'");
    }
    return 0;
}
