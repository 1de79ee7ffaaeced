// The request mapping and the number parsing are the part of the web side that strangers' bytes
// reach first, so they take views and fixed buffers only and never trust a length.
#include "core/web_api.h"

#include <cstring>

namespace {

constexpr std::string_view kNumbersPath = "/api/numbers";

bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string_view trim(std::string_view text) {
    while (!text.empty() && is_blank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && is_blank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

bool equal_ignoring_case(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        const char x = a[i] >= 'A' && a[i] <= 'Z' ? static_cast<char>(a[i] + 32) : a[i];
        const char y = b[i] >= 'A' && b[i] <= 'Z' ? static_cast<char>(b[i] + 32) : b[i];
        if (x != y) {
            return false;
        }
    }
    return true;
}

int hex_value(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// The datagram's cleaning over at most the first kSlotSize + 1 bytes: enough to tell a text that
// fits a slot from one that does not, whatever follows.
bool clean_into(std::string_view raw, char (&out)[kSlotSize + 1]) {
    char buffer[kSlotSize + 2] = {};
    const size_t length = raw.size() < kSlotSize + 1 ? raw.size() : kSlotSize + 1;
    if (length > 0) {  // an empty view may have no storage behind it at all
        memcpy(buffer, raw.data(), length);
    }
    clean_text(buffer, length);
    const size_t text = strnlen(buffer, kSlotSize + 1);
    memset(out, 0, sizeof out);
    if (text == 0 || text > kMaxTextLength) {
        return false;
    }
    memcpy(out, buffer, text);
    return true;
}

// Decodes a JSON string (quotes included, nothing after the closing one) into `out`; code points
// past ASCII become a byte the cleaning stops at. Malformed escapes or a control byte: false.
bool decode_json_string(std::string_view json, std::string& out) {
    if (json.size() < 2 || json.front() != '"' || json.back() != '"') {
        return false;
    }
    json = json.substr(1, json.size() - 2);
    for (size_t i = 0; i < json.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(json[i]);
        if (c == '"' || c < 0x20) {
            return false;
        }
        if (c != '\\') {
            out.push_back(static_cast<char>(c));
            continue;
        }
        if (++i == json.size()) {
            return false;
        }
        switch (json[i]) {
            case '"':
            case '\\':
            case '/':
                out.push_back(json[i]);
                break;
            case 'b':
            case 'f':
            case 'n':
            case 'r':
            case 't':
                out.push_back(' ');
                break;
            case 'u': {
                if (json.size() - i < 5) {
                    return false;
                }
                int code = 0;
                for (size_t k = 1; k <= 4; ++k) {
                    const int digit = hex_value(json[i + k]);
                    if (digit < 0) {
                        return false;
                    }
                    code = code * 16 + digit;
                }
                i += 4;
                out.push_back(code < 0x80 && code != 0 ? static_cast<char>(code) : '\x7f');
                break;
            }
            default:
                return false;
        }
    }
    return true;
}

bool is_json_type(std::string_view content_type) {
    const size_t semicolon = content_type.find(';');
    return equal_ignoring_case(trim(content_type.substr(0, semicolon)), "application/json");
}

WebAction refusal(int status, const char* allow = nullptr) {
    WebAction action{};
    action.route = WebRoute::kNone;
    action.status = status;
    action.allow = allow;
    return action;
}

void append_colour(std::string& out, int32_t red, int32_t green, int32_t blue) {
    static const char kHex[] = "0123456789abcdef";
    out += "\"#";
    for (const int32_t component : {red, green, blue}) {
        out += kHex[(component >> 4) & 0xF];
        out += kHex[component & 0xF];
    }
    out += '"';
}

// Only digits and '#' ever reach a slot, but what goes into JSON is filtered all the same.
void append_text(std::string& out, const char* text, int length) {
    out += '"';
    for (int i = 0; i < length; ++i) {
        if ((text[i] >= '0' && text[i] <= '9') || text[i] == '#') {
            out += text[i];
        }
    }
    out += '"';
}

}  // namespace

bool parse_number_body(std::string_view content_type, std::string_view body,
                       char (&out)[kSlotSize + 1]) {
    memset(out, 0, sizeof out);
    const std::string_view trimmed = trim(body);
    if (!trimmed.empty() && trimmed.front() == '"') {
        std::string decoded;
        return decode_json_string(trimmed, decoded) && clean_into(decoded, out);
    }
    if (is_json_type(content_type)) {
        for (const char c : trimmed) {
            if (c < '0' || c > '9') {
                return false;
            }
        }
        return clean_into(trimmed, out);
    }
    return clean_into(body, out);
}

bool parse_number_segment(std::string_view segment, char (&out)[kSlotSize + 1]) {
    memset(out, 0, sizeof out);
    std::string decoded;
    for (size_t i = 0; i < segment.size() && decoded.size() <= kSlotSize; ++i) {
        if (segment[i] == '%') {
            if (segment.size() - i < 3 || hex_value(segment[i + 1]) < 0 ||
                hex_value(segment[i + 2]) < 0) {
                return false;
            }
            const char c =
                static_cast<char>(hex_value(segment[i + 1]) * 16 + hex_value(segment[i + 2]));
            decoded.push_back(c == '\0' ? '\x7f' : c);
            i += 2;
        } else {
            decoded.push_back(segment[i]);
        }
    }
    return clean_into(decoded, out);
}

bool bearer_matches(std::string_view authorization, int32_t pin) {
    if (pin <= 0 || pin > kMaxStaffPin) {
        return false;
    }
    constexpr std::string_view kScheme = "Bearer ";
    if (authorization.size() < kScheme.size() ||
        !equal_ignoring_case(authorization.substr(0, kScheme.size()), kScheme)) {
        return false;
    }
    const std::string_view given = trim(authorization.substr(kScheme.size()));
    // Both sides right-aligned in a fixed width, zeros in front: every byte is compared whatever
    // the length given, and any difference anywhere is collected before the one branch.
    constexpr size_t kWidth = 16;
    char expected[kWidth];
    char offered[kWidth];
    memset(expected, '0', kWidth);
    memset(offered, '0', kWidth);
    int32_t rest = pin;
    for (size_t k = kWidth; k-- > 0 && rest > 0; rest /= 10) {
        expected[k] = static_cast<char>('0' + rest % 10);
    }
    unsigned difference = given.size() > kWidth ? 1u : 0u;
    const size_t length = given.size() < kWidth ? given.size() : kWidth;
    if (length > 0) {
        memcpy(offered + kWidth - length, given.data() + given.size() - length, length);
    }
    for (size_t k = 0; k < kWidth; ++k) {
        difference |= static_cast<unsigned char>(expected[k] ^ offered[k]);
    }
    return difference == 0;
}

namespace {

// The pages and what they load, each by the path a browser asks for.
struct PagePath {
    const char* path;
    const char* asset;
};
constexpr PagePath kPagePaths[] = {
    {"/", "index.html"},
    {"/index.html", "index.html"},
    {"/staff", "staff.html"},
    {"/board.js", "board.js"},
    {"/staff.js", "staff.js"},
    {"/link.js", "link.js"},
    {"/style.css", "style.css"},
    {"/favicon.svg", "favicon.svg"},
    // Browsers ask for /favicon.ico by themselves; the one icon answers both.
    {"/favicon.ico", "favicon.svg"},
};

}  // namespace

WebAction map_web_request(const WebRequest& request, int32_t pin) {
    std::string_view path = request.target;
    path = path.substr(0, path.find('?'));
    const std::string_view method = request.method;
    const bool get = method == "GET";

    WebAction action = refusal(200);
    for (const PagePath& page : kPagePaths) {
        if (path == page.path) {
            if (!get) {
                return refusal(405, "GET");
            }
            action.route = WebRoute::kPage;
            action.asset = page.asset;
            return action;
        }
    }
    if (path == "/api/board" || path == "/api/events") {
        if (!get) {
            return refusal(405, "GET");
        }
        action.route = path == "/api/board" ? WebRoute::kGetBoard : WebRoute::kEvents;
        return action;
    }
    const bool numbers = path == kNumbersPath;
    const bool one_number = path.size() > kNumbersPath.size() + 1 &&
                            path.substr(0, kNumbersPath.size() + 1) == "/api/numbers/" &&
                            path.find('/', kNumbersPath.size() + 1) == std::string_view::npos;
    if (!numbers && !one_number) {
        return refusal(404);
    }
    if (numbers && method != "POST" && method != "DELETE") {
        return refusal(405, "POST, DELETE");
    }
    if (one_number && method != "DELETE") {
        return refusal(405, "DELETE");
    }
    action.changes = true;
    if (pin != 0 && !bearer_matches(request.authorization, pin)) {
        WebAction refused = refusal(401);
        refused.changes = true;
        refused.wrong_pin = !trim(request.authorization).empty();
        return refused;
    }
    if (numbers && method == "DELETE") {
        action.route = WebRoute::kClearBoard;
        return action;
    }
    const bool parsed =
        numbers ? parse_number_body(request.content_type, request.body, action.number)
                : parse_number_segment(path.substr(kNumbersPath.size() + 1), action.number);
    if (!parsed) {
        WebAction refused = refusal(400);
        refused.changes = true;
        return refused;
    }
    action.route = numbers ? WebRoute::kPutNumber : WebRoute::kRemoveNumber;
    return action;
}

std::string board_json(const BoardCopy& copy) {
    const BoardSettings& s = copy.settings;
    const int active = active_count(s.rows, s.columns);
    const bool grid = s.rows > 0 && s.columns > 0;
    int count = 0;
    while (count < active && copy.table.slots[count][0] != '\0') {
        ++count;
    }
    std::string out;
    out.reserve(96 + 24 * count);
    out += "{\"rows\":" + std::to_string(grid ? s.rows : 0);
    out += ",\"columns\":" + std::to_string(grid ? s.columns : 0);
    out += ",\"background\":";
    append_colour(out, s.back_red, s.back_green, s.back_blue);
    out += ",\"text\":";
    append_colour(out, s.text_red, s.text_green, s.text_blue);
    out += copy.extensions.fit_text ? ",\"fit\":true" : ",\"fit\":false";
    for (const bool as_drawn : {false, true}) {
        out += as_drawn ? "],\"shown\":[" : ",\"numbers\":[";
        for (int k = 0; k < count; ++k) {
            if (k > 0) {
                out += ',';
            }
            if (as_drawn) {
                const DrawnText text = drawn_text(copy.table.slots[k]);
                append_text(out, text.text, text.length);
            } else {
                const char* slot = copy.table.slots[k];
                append_text(out, slot, static_cast<int>(strnlen(slot, kMaxTextLength)));
            }
        }
    }
    const int highlighted = copy.extensions.highlight_ms > 0 ? copy.highlighted : -1;
    out += "],\"highlighted\":";
    out += highlighted >= 0 && highlighted < count ? std::to_string(highlighted) : "null";
    out += '}';
    return out;
}
