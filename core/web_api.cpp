// The request mapping and the number parsing are the part of the web side that strangers' bytes
// reach first, so they take views and fixed buffers only and never trust a length.
#include "core/web_api.h"

#include <cstring>

#include "core/voice.h"

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

constexpr char kEmptyBody[] = "empty body";
constexpr char kEmptyString[] = "empty string";
constexpr char kOnlyBlanks[] = "only blanks";
constexpr char kBlankBefore[] = "blank before the number";
constexpr char kNotANumber[] = "not a number";
constexpr char kTooLong[] = "number longer than 9 characters";
static_assert(kMaxTextLength == 9, "the reason names the longest number");
constexpr char kNoDigit[] = "no digit in the number";
constexpr char kLineBreak[] = "line break in the number";
constexpr char kMalformedJson[] = "malformed JSON string";
constexpr char kJsonNeither[] = "JSON body neither a string nor digits";
constexpr char kMalformedEscape[] = "malformed percent escape";
constexpr char kMalformedObject[] = "malformed JSON object";
constexpr char kUnknownMember[] = "JSON object with a member other than number and state";
constexpr char kNoNumberMember[] = "JSON object without a number";
constexpr char kUnknownState[] = "state neither ready nor preparing";

// The datagram's cleaning over at most the first kSlotSize + 1 bytes: enough to tell a text that
// fits a slot from one that does not, whatever follows. Why nothing was read, or nullptr.
const char* clean_into(std::string_view raw, char (&out)[kSlotSize + 1]) {
    char buffer[kSlotSize + 2] = {};
    const size_t length = raw.size() < kSlotSize + 1 ? raw.size() : kSlotSize + 1;
    if (length > 0) {  // an empty view may have no storage behind it at all
        memcpy(buffer, raw.data(), length);
    }
    clean_text(buffer, length);
    const size_t text = strnlen(buffer, kSlotSize + 1);
    memset(out, 0, sizeof out);
    if (text == 0) {
        if (raw.empty()) {
            return kEmptyBody;
        }
        if (!is_blank(raw.front())) {
            return kNotANumber;
        }
        return trim(raw).empty() ? kOnlyBlanks : kBlankBefore;
    }
    if (text > kMaxTextLength) {
        return kTooLong;
    }
    memcpy(out, buffer, text);
    return nullptr;
}

// Decodes a JSON string (quotes included, nothing after the closing one) into `out`; code points
// past ASCII become a byte the cleaning stops at. Why it is refused, or nullptr.
const char* decode_json_string(std::string_view json, std::string& out) {
    if (json.size() < 2 || json.front() != '"' || json.back() != '"') {
        return kMalformedJson;
    }
    json = json.substr(1, json.size() - 2);
    // A line break is refused however it is written: a JSON string carries one only on purpose,
    // unlike the line end a till's plain body may end with.
    const char* line_break = nullptr;
    for (size_t i = 0; i < json.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(json[i]);
        if (c == '\n' || c == '\r') {
            line_break = kLineBreak;
            continue;
        }
        if (c == '"' || c < 0x20) {
            return kMalformedJson;
        }
        if (c != '\\') {
            out.push_back(static_cast<char>(c));
            continue;
        }
        if (++i == json.size()) {
            return kMalformedJson;
        }
        switch (json[i]) {
            case '"':
            case '\\':
            case '/':
                out.push_back(json[i]);
                break;
            case 'n':
            case 'r':
                line_break = kLineBreak;
                break;
            case 'b':
            case 'f':
            case 't':
                out.push_back(' ');
                break;
            case 'u': {
                if (json.size() - i < 5) {
                    return kMalformedJson;
                }
                int code = 0;
                for (size_t k = 1; k <= 4; ++k) {
                    const int digit = hex_value(json[i + k]);
                    if (digit < 0) {
                        return kMalformedJson;
                    }
                    code = code * 16 + digit;
                }
                i += 4;
                if (code == '\n' || code == '\r') {
                    line_break = kLineBreak;
                }
                out.push_back(code < 0x80 && code != 0 ? static_cast<char>(code) : '\x7f');
                break;
            }
            default:
                return kMalformedJson;
        }
    }
    return line_break;
}

bool is_json_type(std::string_view content_type) {
    const size_t semicolon = content_type.find(';');
    return equal_ignoring_case(trim(content_type.substr(0, semicolon)), "application/json");
}

WebAction refusal(int status, const char* reason, const char* allow = nullptr) {
    WebAction action{};
    action.route = WebRoute::kNone;
    action.status = status;
    action.reason = reason;
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

namespace {

// The JSON string starting at `at` (a quote), quotes included; empty when it does not end.
std::string_view json_string_at(std::string_view json, size_t at) {
    for (size_t i = at + 1; i < json.size(); ++i) {
        if (json[i] == '\\') {
            ++i;
        } else if (json[i] == '"') {
            return json.substr(at, i - at + 1);
        }
    }
    return {};
}

// {"number":"57","state":"preparing"}: string members only, each at most once. Why it is
// refused, or nullptr with the number's text decoded into `number`.
const char* read_object(std::string_view json, std::string& number, bool& preparing) {
    bool have_number = false;
    bool have_state = false;
    size_t i = 1;
    const auto skip_blanks = [&] {
        while (i < json.size() && is_blank(json[i])) {
            ++i;
        }
    };
    const auto string_here = [&](std::string& out) -> const char* {
        skip_blanks();
        const std::string_view quoted =
            i < json.size() && json[i] == '"' ? json_string_at(json, i) : std::string_view{};
        if (quoted.empty()) {
            return kMalformedObject;
        }
        i += quoted.size();
        return decode_json_string(quoted, out);
    };
    skip_blanks();
    while (i < json.size() && json[i] != '}') {
        std::string key;
        std::string value;
        const char* why = string_here(key);
        skip_blanks();
        if (why != nullptr || i >= json.size() || json[i++] != ':') {
            return why != nullptr ? why : kMalformedObject;
        }
        why = string_here(value);
        if (key == "number" && !have_number) {
            if (why != nullptr) {
                return why;
            }
            have_number = true;
            number = value;
        } else if (key == "state" && !have_state) {
            if (why != nullptr || (value != "ready" && value != "preparing")) {
                return kUnknownState;
            }
            have_state = true;
            preparing = value == "preparing";
        } else {
            return why != nullptr ? why : kUnknownMember;
        }
        skip_blanks();
        if (i < json.size() && json[i] == ',') {
            ++i;
            skip_blanks();
            if (i < json.size() && json[i] == '}') {
                return kMalformedObject;  // a comma with no member after it
            }
        } else if (i >= json.size() || json[i] != '}') {
            return kMalformedObject;
        }
    }
    if (i + 1 != json.size()) {
        return kMalformedObject;
    }
    return have_number ? nullptr : kNoNumberMember;
}

const char* read_body(std::string_view content_type, std::string_view body,
                      char (&out)[kSlotSize + 1], bool& preparing) {
    const std::string_view trimmed = trim(body);
    const char* why = nullptr;
    if (!trimmed.empty() && trimmed.front() == '{') {
        std::string number;
        why = read_object(trimmed, number, preparing);
        if (why == nullptr && number.empty()) {
            return kEmptyString;
        }
        why = why != nullptr ? why : clean_into(number, out);
    } else if (!trimmed.empty() && trimmed.front() == '"') {
        std::string decoded;
        why = decode_json_string(trimmed, decoded);
        if (why == nullptr && decoded.empty()) {
            return kEmptyString;
        }
        why = why != nullptr ? why : clean_into(decoded, out);
    } else if (is_json_type(content_type) && !trimmed.empty()) {
        for (const char c : trimmed) {
            if (c < '0' || c > '9') {
                return kJsonNeither;
            }
        }
        why = clean_into(trimmed, out);
    } else {
        why = clean_into(body, out);
    }
    // A '#' alone would stand on the board as an empty cell.
    if (why == nullptr && strpbrk(out, "0123456789") == nullptr) {
        why = kNoDigit;
    }
    return why;
}

}  // namespace

bool parse_number_body(std::string_view content_type, std::string_view body,
                       char (&out)[kSlotSize + 1], const char** why, bool* preparing) {
    memset(out, 0, sizeof out);
    bool to_preparing = false;
    const char* refused = read_body(content_type, body, out, to_preparing);
    if (refused != nullptr) {
        memset(out, 0, sizeof out);
    }
    if (preparing != nullptr) {
        *preparing = refused == nullptr && to_preparing;
    }
    if (why != nullptr) {
        *why = refused;
    }
    return refused == nullptr;
}

bool parse_number_segment(std::string_view segment, char (&out)[kSlotSize + 1], const char** why) {
    memset(out, 0, sizeof out);
    std::string decoded;
    const char* refused = nullptr;
    for (size_t i = 0; i < segment.size() && decoded.size() <= kSlotSize; ++i) {
        if (segment[i] == '%') {
            if (segment.size() - i < 3 || hex_value(segment[i + 1]) < 0 ||
                hex_value(segment[i + 2]) < 0) {
                refused = kMalformedEscape;
                break;
            }
            const char c =
                static_cast<char>(hex_value(segment[i + 1]) * 16 + hex_value(segment[i + 2]));
            decoded.push_back(c == '\0' ? '\x7f' : c);
            i += 2;
        } else {
            decoded.push_back(segment[i]);
        }
    }
    refused = refused != nullptr ? refused : clean_into(decoded, out);
    if (why != nullptr) {
        *why = refused;
    }
    return refused == nullptr;
}

bool transfer_encoding_readable(int fields, std::string_view value) {
    return fields == 0 || (fields == 1 && equal_ignoring_case(trim(value), "chunked"));
}

const char kMalformedHttp[] = "malformed HTTP request";
const char kUnsupportedCoding[] = "Transfer-Encoding other than chunked";

std::string error_json(const char* reason) {
    return std::string("{\"error\":\"") + reason + "\"}";
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

// The clip a "/voice/" path's file names, as the voice's own static name; nullptr for a file the
// voice has no word for. Only the voice's names (lower-case letters and '_') are matched, so no
// path of another shape reaches the clips.
const char* voice_clip_of(std::string_view file) {
    constexpr std::string_view kWave = ".wav";
    if (file.size() <= kWave.size() || file.substr(file.size() - kWave.size()) != kWave) {
        return nullptr;
    }
    const std::string_view name = file.substr(0, file.size() - kWave.size());
    const char* const* names = nullptr;
    const int count = voice_clip_names(&names);
    for (int k = 0; k < count; ++k) {
        if (name == names[k]) {
            return names[k];
        }
    }
    return nullptr;
}

}  // namespace

WebAction map_web_request(const WebRequest& request, int32_t pin) {
    std::string_view path = request.target;
    path = path.substr(0, path.find('?'));
    const std::string_view method = request.method;
    const bool get = method == "GET";
    // An uptime check asks with HEAD; a stream has no head worth asking for.
    const bool get_or_head = get || method == "HEAD";
    constexpr char kNotFound[] = "not found";
    constexpr char kNotAllowed[] = "method not allowed";

    WebAction action = refusal(200, nullptr);
    for (const PagePath& page : kPagePaths) {
        if (path == page.path) {
            if (!get_or_head) {
                return refusal(405, kNotAllowed, "GET, HEAD");
            }
            action.route = WebRoute::kPage;
            action.asset = page.asset;
            return action;
        }
    }
    if (path.substr(0, kVoicePath.size()) == kVoicePath) {
        // With the voice off its clips are not there at all, so a board without it answers as ever.
        const char* clip = request.voice ? voice_clip_of(path.substr(kVoicePath.size())) : nullptr;
        if (clip == nullptr) {
            return refusal(404, kNotFound);
        }
        if (!get_or_head) {
            return refusal(405, kNotAllowed, "GET, HEAD");
        }
        action.route = WebRoute::kVoiceClip;
        action.asset = clip;
        return action;
    }
    if (path == "/api/board") {
        if (!get_or_head) {
            return refusal(405, kNotAllowed, "GET, HEAD");
        }
        action.route = WebRoute::kGetBoard;
        return action;
    }
    if (path == "/api/events") {
        if (!get) {
            return refusal(405, kNotAllowed, "GET");
        }
        action.route = WebRoute::kEvents;
        return action;
    }
    const bool undo = path == "/api/undo";
    if (undo && method != "POST") {
        return refusal(405, kNotAllowed, "POST");
    }
    const bool numbers = path == kNumbersPath;
    const bool one_number = path.size() > kNumbersPath.size() + 1 &&
                            path.substr(0, kNumbersPath.size() + 1) == "/api/numbers/" &&
                            path.find('/', kNumbersPath.size() + 1) == std::string_view::npos;
    if (!numbers && !one_number && !undo) {
        return refusal(404, kNotFound);
    }
    if (numbers && method != "POST" && method != "DELETE") {
        return refusal(405, kNotAllowed, "POST, DELETE");
    }
    if (one_number && method != "DELETE") {
        return refusal(405, kNotAllowed, "DELETE");
    }
    action.changes = true;
    if (pin != 0 && !bearer_matches(request.authorization, pin)) {
        const bool wrong = !trim(request.authorization).empty();
        WebAction refused = refusal(401, wrong ? "wrong PIN" : "PIN needed");
        refused.changes = true;
        refused.wrong_pin = wrong;
        return refused;
    }
    if (undo) {
        action.route = WebRoute::kUndo;
        return action;
    }
    if (numbers && method == "DELETE") {
        action.route = WebRoute::kClearBoard;
        return action;
    }
    const char* why = nullptr;
    const bool parsed =
        numbers ? parse_number_body(request.content_type, request.body, action.number, &why,
                                    &action.preparing)
                : parse_number_segment(path.substr(kNumbersPath.size() + 1), action.number, &why);
    if (!parsed) {
        WebAction refused = refusal(400, why);
        refused.changes = true;
        return refused;
    }
    action.route = numbers ? WebRoute::kPutNumber : WebRoute::kRemoveNumber;
    return action;
}

namespace {

// Two zones on: the preparing numbers as held and as drawn, and for each ready number the whole
// seconds it has waited and whether that is overdue, as indexes into "numbers".
void append_zones(std::string& out, const BoardCopy& copy, int active, int ready) {
    int preparing = 0;
    while (preparing < active && copy.preparing.slots[preparing][0] != '\0') {
        ++preparing;
    }
    out += ",\"zones\":true";
    for (const bool as_drawn : {false, true}) {
        out += as_drawn ? "],\"preparing_shown\":[" : ",\"preparing\":[";
        for (int k = 0; k < preparing; ++k) {
            out += k > 0 ? "," : "";
            const char* slot = copy.preparing.slots[k];
            const DrawnText text =
                as_drawn ? drawn_text(copy.preparing.slots[k])
                         : DrawnText{slot, static_cast<int>(strnlen(slot, kMaxTextLength))};
            append_text(out, text.text, text.length);
        }
    }
    out += "],\"ages\":[";
    for (int k = 0; k < ready; ++k) {
        const int64_t waited = copy.now_ms - copy.arrivals.ms[k];
        out += (k > 0 ? "," : "") + std::to_string(waited > 0 ? waited / 1000 : 0);
    }
    out += "],\"overdue\":[";
    bool first = true;
    for (int k = 0; k < ready; ++k) {
        if (overdue_slot(copy, k)) {
            out += (first ? "" : ",") + std::to_string(k);
            first = false;
        }
    }
    out += "],\"layout\":" + zones_layout_json();
}

// The voice on: the latest calls and the clips the page plays for each, in order.
void append_calls(std::string& out, const VoiceCalls& calls) {
    out += ",\"voice\":true,\"calls\":[";
    for (int k = 0; k < calls.count && k < kVoiceWaiting; ++k) {
        const CalledNumber& call = calls.calls[k];
        out += (k > 0 ? ",{\"seq\":" : "{\"seq\":") + std::to_string(call.seq) + ",\"number\":";
        append_text(out, call.text, static_cast<int>(strnlen(call.text, kMaxTextLength)));
        out += call.reminder ? ",\"reminder\":true,\"clips\":[" : ",\"reminder\":false,\"clips\":[";
        const Phrase phrase = phrase_of(call.text, call.reminder);
        for (int c = 0; c < phrase.count; ++c) {
            out += c > 0 ? ",\"" : "\"";
            out += phrase.clips[c];  // the voice's own names: letters and '_'
            out += '"';
        }
        out += "]}";
    }
    out += ']';
}

}  // namespace

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
    if (copy.extensions.zones) {
        append_zones(out, copy, active, count);
    }
    if (copy.extensions.voice) {
        append_calls(out, copy.calls);
    }
    out += '}';
    return out;
}
