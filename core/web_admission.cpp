// Strangers' headers reach these first: views only, every length checked, nothing allocated for
// what is refused.
#include "core/web_admission.h"

namespace {

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
}

bool same_ignoring_case(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

bool is_hex(char c) {
    return is_digit(c) || (lower(c) >= 'a' && lower(c) <= 'f');
}

// A Host or an Origin's authority, taken apart: a name (or an IPv6 literal without its brackets)
// and the port if one was given.
struct Authority {
    std::string_view name;
    bool ipv6 = false;
    bool has_port = false;
    uint32_t port = 0;
};

bool read_port(std::string_view text, Authority& out) {
    if (text.empty() || text.size() > 5) {
        return false;
    }
    uint32_t value = 0;
    for (const char c : text) {
        if (!is_digit(c)) {
            return false;
        }
        value = value * 10 + static_cast<uint32_t>(c - '0');
    }
    out.has_port = true;
    out.port = value;
    return value <= 65535;
}

bool split_authority(std::string_view text, Authority& out) {
    out = Authority{};
    std::string_view after;
    if (!text.empty() && text.front() == '[') {
        const size_t close = text.find(']');
        if (close == std::string_view::npos) {
            return false;
        }
        out.name = text.substr(1, close - 1);
        out.ipv6 = true;
        bool colon = false;
        for (const char c : out.name) {
            if (!is_hex(c) && c != ':' && c != '.') {
                return false;
            }
            colon = colon || c == ':';
        }
        if (!colon) {
            return false;
        }
        after = text.substr(close + 1);
    } else {
        const size_t colon = text.find(':');
        out.name = text.substr(0, colon);
        after = colon == std::string_view::npos ? std::string_view() : text.substr(colon);
        if (out.name.empty()) {
            return false;
        }
        for (const char c : out.name) {
            const char l = lower(c);
            if (!is_digit(c) && !(l >= 'a' && l <= 'z') && c != '-' && c != '.' && c != '_') {
                return false;
            }
        }
    }
    if (after.empty()) {
        return true;
    }
    return after.front() == ':' && read_port(after.substr(1), out);
}

bool is_ipv4(std::string_view name) {
    int parts = 0;
    while (parts < 4) {
        size_t digits = 0;
        uint32_t value = 0;
        while (digits < name.size() && is_digit(name[digits])) {
            value = value * 10 + static_cast<uint32_t>(name[digits] - '0');
            if (++digits > 3) {
                return false;
            }
        }
        if (digits == 0 || value > 255) {
            return false;
        }
        name.remove_prefix(digits);
        if (++parts < 4) {
            if (name.empty() || name.front() != '.') {
                return false;
            }
            name.remove_prefix(1);
        }
    }
    return name.empty();
}

std::string_view without_local(std::string_view name) {
    constexpr std::string_view kLocal = ".local";
    if (name.size() > kLocal.size() &&
        same_ignoring_case(name.substr(name.size() - kLocal.size()), kLocal)) {
        name.remove_suffix(kLocal.size());
    }
    return name;
}

void forget_passed(std::deque<int64_t>& times, int64_t now_ms) {
    while (!times.empty() && now_ms - times.front() >= kWrongPinWindowMs) {
        times.pop_front();
    }
}

int at_least_one(int bound) {
    return bound < 1 ? 1 : bound;
}

}  // namespace

int host_status(int host_count, std::string_view host, bool http_1_0, uint16_t port,
                std::string_view machine_name) {
    if (host_count == 0) {
        return http_1_0 ? 0 : 400;  // HTTP/1.0 had no Host; no browser speaks it
    }
    Authority parts;
    if (host_count > 1 || !split_authority(host, parts)) {
        return 400;
    }
    if (parts.has_port && parts.port != port) {
        return 421;
    }
    // A literal address was never looked up, so no one else's name can stand behind it.
    if (parts.ipv6 || is_ipv4(parts.name) || same_ignoring_case(parts.name, "localhost")) {
        return 0;
    }
    const std::string_view own = without_local(machine_name);
    return !own.empty() && same_ignoring_case(without_local(parts.name), own) ? 0 : 421;
}

bool origin_is_ours(std::string_view origin, std::string_view host, uint16_t port) {
    constexpr std::string_view kScheme = "http://";
    if (origin.size() <= kScheme.size() ||
        !same_ignoring_case(origin.substr(0, kScheme.size()), kScheme)) {
        return false;
    }
    Authority from;
    Authority reached;
    if (!split_authority(origin.substr(kScheme.size()), from) || !split_authority(host, reached)) {
        return false;
    }
    const uint32_t from_port = from.has_port ? from.port : 80;
    return from_port == port && from.ipv6 == reached.ipv6 &&
           same_ignoring_case(from.name, reached.name);
}

bool method_changes(std::string_view method) {
    return method == "POST" || method == "DELETE";
}

bool wrong_pins_block(WrongPins& pins, uint32_t address, int64_t now_ms) {
    forget_passed(pins.recent, now_ms);
    bool blocked = static_cast<int>(pins.recent.size()) >= at_least_one(pins.all);
    const auto found = pins.by_address.find(address);
    if (found != pins.by_address.end()) {
        forget_passed(found->second, now_ms);
        if (found->second.empty()) {
            pins.by_address.erase(found);
        } else if (static_cast<int>(found->second.size()) >= at_least_one(pins.per_address)) {
            blocked = true;
        }
    }
    return blocked;
}

void wrong_pin_record(WrongPins& pins, uint32_t address, int64_t now_ms) {
    forget_passed(pins.recent, now_ms);
    pins.recent.push_back(now_ms);
    while (static_cast<int>(pins.recent.size()) > at_least_one(pins.all)) {
        pins.recent.pop_front();
    }
    auto found = pins.by_address.find(address);
    if (found == pins.by_address.end()) {
        if (static_cast<int>(pins.by_address.size()) >= at_least_one(pins.addresses)) {
            // Full: what has passed goes, else the stalest; never the wrong PIN just made.
            auto stalest = pins.by_address.end();
            for (auto it = pins.by_address.begin(); it != pins.by_address.end();) {
                forget_passed(it->second, now_ms);
                if (it->second.empty()) {
                    it = pins.by_address.erase(it);
                    continue;
                }
                if (stalest == pins.by_address.end() ||
                    it->second.back() < stalest->second.back()) {
                    stalest = it;
                }
                ++it;
            }
            if (static_cast<int>(pins.by_address.size()) >= at_least_one(pins.addresses)) {
                pins.by_address.erase(stalest);
            }
        }
        found = pins.by_address.emplace(address, std::deque<int64_t>()).first;
    }
    found->second.push_back(now_ms);
    while (static_cast<int>(found->second.size()) > at_least_one(pins.per_address)) {
        found->second.pop_front();
    }
}

bool connection_admitted(int open, int held, const ConnectionCaps& caps) {
    if (open >= caps.all || held >= caps.per_address) {
        return false;
    }
    return caps.all - open > caps.reserved || held < caps.reserve_share;
}
