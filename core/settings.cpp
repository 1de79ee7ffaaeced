// The bytes of "setup.dat" with its optional tail, and the dialog's reductions.
#include "core/settings.h"

#include <cstring>

#include "core/setting_fields.h"

namespace {

static_assert(kRecordFieldCount * 4 == kSettingsFileSize, "every field stored");

void put_le32(unsigned char* at, int32_t value) {
    const uint32_t v = static_cast<uint32_t>(value);
    for (int b = 0; b < 4; ++b) {
        at[b] = static_cast<unsigned char>(v >> (8 * b));
    }
}

int32_t get_le32(const unsigned char* at) {
    uint32_t v = 0;
    for (int b = 0; b < 4; ++b) {
        v |= static_cast<uint32_t>(at[b]) << (8 * b);
    }
    return static_cast<int32_t>(v);
}

// One block of the tail: its marker, then the fields of rows first to last - 1, in order.
unsigned char* put_block(unsigned char* at, const char (&marker)[4], const ExtensionFields& fields,
                         int first, int last) {
    std::memcpy(at, marker, sizeof marker);
    at += sizeof marker;
    for (int i = first; i < last; ++i) {
        put_le32(at, fields.*kSettingFields[i].tail);
        at += 4;
    }
    return at;
}

// The block at `at` when the `size` bytes left hold its marker and fields: read, and past it.
const unsigned char* get_block(const unsigned char* at, size_t size, const char (&marker)[4],
                               ExtensionFields& fields, int first, int last, bool* found) {
    *found = size >= sizeof marker + 4 * static_cast<size_t>(last - first) &&
             std::memcmp(at, marker, sizeof marker) == 0;
    if (!*found) {
        return at;
    }
    at += sizeof marker;
    for (int i = first; i < last; ++i) {
        fields.*kSettingFields[i].tail = get_le32(at);
        at += 4;
    }
    return at;
}

int64_t bounded_ms(int32_t seconds, int32_t most) {
    if (seconds <= 0) {
        return 0;
    }
    return static_cast<int64_t>(seconds < most ? seconds : most) * 1000;
}

}  // namespace

BoardSettings default_settings() {
    BoardSettings s{};
    s.rows = 4;
    s.columns = 2;
    s.back_red = 0;
    s.back_green = 50;
    s.back_blue = 150;
    s.text_red = 240;
    s.text_green = 240;
    s.text_blue = 240;
    s.show_frame = 0;
    return s;
}

void encode_settings(const BoardSettings& settings, unsigned char (&bytes)[kSettingsFileSize]) {
    for (int i = 0; i < kRecordFieldCount; ++i) {
        put_le32(bytes + 4 * i, settings.*kSettingFields[i].setting);
    }
}

BoardSettings decode_settings(const unsigned char (&bytes)[kSettingsFileSize]) {
    BoardSettings s{};
    for (int i = 0; i < kRecordFieldCount; ++i) {
        s.*kSettingFields[i].setting = get_le32(bytes + 4 * i);
    }
    return s;
}

Extensions extensions_of(const SettingsTail& tail) {
    Extensions on{};
    if (!tail.present) {
        return on;
    }
    on.expire_ms = bounded_ms(tail.fields.expire_seconds, kMaxExpireSeconds);
    on.highlight_ms = bounded_ms(tail.fields.highlight_seconds, kMaxHighlightSeconds);
    on.chime = tail.fields.chime != 0;
    on.commands = tail.fields.commands != 0;
    on.fit_text = tail.fields.fit_text != 0;
    if (tail.web_present && tail.zones_present) {
        on.zones = tail.fields.zones != 0;
        on.overdue_ms = bounded_ms(tail.fields.overdue_seconds, kMaxOverdueSeconds);
        on.voice = tail.fields.voice != 0;
    }
    return on;
}

WebSettings web_settings_of(const SettingsTail& tail) {
    WebSettings web{0, StaffAccess::kOpen, 0};
    if (!tail.present || !tail.web_present) {
        return web;
    }
    const int32_t port = tail.fields.web_port;
    web.port = port >= 1 && port <= kMaxWebPort ? port : 0;
    const int32_t pin = tail.fields.staff_pin;
    if (pin < 0 || pin > kMaxStaffPin) {
        web.access = StaffAccess::kLocked;
    } else if (pin != 0) {
        web.access = StaffAccess::kPin;
        web.pin = pin;
    }
    return web;
}

bool decode_settings_file(const unsigned char* bytes, size_t size, BoardSettings* settings,
                          SettingsTail* tail) {
    *tail = SettingsTail{};
    if (size < kSettingsFileSize) {
        return false;
    }
    unsigned char head[kSettingsFileSize];
    std::memcpy(head, bytes, sizeof head);
    *settings = decode_settings(head);
    const unsigned char* at = bytes + kSettingsFileSize;
    const unsigned char* const end = bytes + size;
    ExtensionFields& fields = tail->fields;
    at = get_block(at, static_cast<size_t>(end - at), kTailMarker, fields, kRecordFieldCount,
                   kFirstWebField, &tail->present);
    if (tail->present) {
        at = get_block(at, static_cast<size_t>(end - at), kWebTailMarker, fields, kFirstWebField,
                       kFirstZonesField, &tail->web_present);
        if (tail->web_present) {
            at = get_block(at, static_cast<size_t>(end - at), kZonesTailMarker, fields,
                           kFirstZonesField, kFieldCount, &tail->zones_present);
        }
        const size_t rest = static_cast<size_t>(bytes + size - at);
        tail->kept.assign(at, at + (rest < kKeptAfterTail ? rest : kKeptAfterTail));
    }
    return true;
}

std::vector<unsigned char> settings_file_bytes(const BoardSettings& settings,
                                               const SettingsTail& tail) {
    const bool web = tail.present && tail.web_present;
    const bool zones = web && tail.zones_present;
    std::vector<unsigned char> bytes(!tail.present ? kSettingsFileSize
                                     : zones       ? kZonesTailedFileSize + tail.kept.size()
                                     : web         ? kWebTailedFileSize + tail.kept.size()
                                                   : kTailedFileSize + tail.kept.size());
    unsigned char head[kSettingsFileSize];
    encode_settings(settings, head);
    std::memcpy(bytes.data(), head, sizeof head);
    if (tail.present) {
        unsigned char* at = bytes.data() + kSettingsFileSize;
        at = put_block(at, kTailMarker, tail.fields, kRecordFieldCount, kFirstWebField);
        if (web) {
            at = put_block(at, kWebTailMarker, tail.fields, kFirstWebField, kFirstZonesField);
        }
        if (zones) {
            at = put_block(at, kZonesTailMarker, tail.fields, kFirstZonesField, kFieldCount);
        }
        if (!tail.kept.empty()) {
            std::memcpy(at, tail.kept.data(), tail.kept.size());
        }
    }
    return bytes;
}

int32_t reduce_grid_entry(uint32_t entry) {
    return static_cast<int32_t>(entry % kSettingFields[field_index(&BoardSettings::rows)].modulus);
}

int32_t reduce_colour_entry(uint32_t entry) {
    return static_cast<int32_t>(entry %
                                kSettingFields[field_index(&BoardSettings::back_red)].modulus);
}
