// The settings record and its 36-byte file "setup.dat": nine little-endian signed 32-bit fields,
// no header. Also the reductions the settings dialog applies to typed entries. Portable.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct BoardSettings {
    int32_t rows;
    int32_t columns;
    int32_t back_red;
    int32_t back_green;
    int32_t back_blue;
    int32_t text_red;
    int32_t text_green;
    int32_t text_blue;
    int32_t show_frame;
};
static_assert(sizeof(BoardSettings) == 36, "nine 32-bit fields, no padding");

constexpr size_t kSettingsFileSize = 36;
constexpr const char kSettingsFile[] = "setup.dat";

BoardSettings default_settings();

void encode_settings(const BoardSettings& settings, unsigned char (&bytes)[kSettingsFileSize]);
BoardSettings decode_settings(const unsigned char (&bytes)[kSettingsFileSize]);

// The optional tail after the 36 bytes: the marker "PVX1", then these little-endian signed 32-bit
// fields in the field table's order (core/setting_fields.h), kept as the file holds them so a save
// writes them back unchanged.
struct ExtensionFields {
    int32_t expire_seconds;     // 0: never
    int32_t highlight_seconds;  // 0: no highlight
    int32_t chime;              // 0: off
    int32_t commands;           // 0: off
    int32_t fit_text;           // 0: off
    // The second block's, after its marker "PVX2" at bytes 60 to 63. Initialised so that records
    // built for the first block alone need not name them.
    int32_t web_port = 0;   // 0: off
    int32_t staff_pin = 0;  // 0: none
    // The third block's, after its marker "PVX3" at bytes 72 to 75.
    int32_t zones = 0;            // 0: off; else preparing and ready
    int32_t overdue_seconds = 0;  // 0: off
    int32_t voice = 0;            // 0: off; else numbers are called aloud
    int32_t reserved = 0;         // kept as read, for later
};

constexpr char kTailMarker[4] = {'P', 'V', 'X', '1'};
constexpr size_t kExtensionFieldCount = 5;
constexpr size_t kTailedFileSize =
    kSettingsFileSize + sizeof kTailMarker + 4 * kExtensionFieldCount;
constexpr char kWebTailMarker[4] = {'P', 'V', 'X', '2'};
constexpr size_t kWebFieldCount = 2;
constexpr size_t kWebTailedFileSize = kTailedFileSize + sizeof kWebTailMarker + 4 * kWebFieldCount;
constexpr char kZonesTailMarker[4] = {'P', 'V', 'X', '3'};
constexpr size_t kZonesFieldCount = 4;
constexpr size_t kZonesTailedFileSize =
    kWebTailedFileSize + sizeof kZonesTailMarker + 4 * kZonesFieldCount;
static_assert(sizeof(ExtensionFields) ==
                  4 * (kExtensionFieldCount + kWebFieldCount + kZonesFieldCount),
              "the three blocks' fields, no padding");
// Bytes after the tail are written back as they were, up to this many; a file longer still keeps
// only these.
constexpr size_t kKeptAfterTail = 64 * 1024;

struct SettingsTail {
    bool present;  // false: no tail on disk, and saves write the 36 bytes alone
    ExtensionFields fields;
    std::vector<unsigned char> kept;  // what followed the tail, the second block's too if any
    // The second block is on disk (only ever with the first): false, and saves write 60 bytes
    // before the kept ones.
    bool web_present = false;
    // The third, only ever after the second: false, and saves write 72 bytes before the kept ones.
    bool zones_present = false;
};

// The fields as the board acts on them: negative counts as 0, too large as the bound, and any
// flag other than 0 as on. No tail: everything off.
constexpr int32_t kMaxExpireSeconds = 24 * 60 * 60;
constexpr int32_t kMaxHighlightSeconds = 60 * 60;
constexpr int32_t kMaxOverdueSeconds = 60 * 60;
struct Extensions {
    int64_t expire_ms;
    int64_t highlight_ms;
    bool chime;
    bool commands;
    bool fit_text;
    // The third block's; off without it.
    bool zones = false;
    int64_t overdue_ms = 0;
    bool voice = false;
};
Extensions extensions_of(const SettingsTail& tail);

// The web side as the board acts on it. A port outside 1 to 65535 counts as off. A PIN outside 0
// to 99999999 is damage or a hand edit, and reading it as 0 would open the changes to anyone: it
// locks them instead, so that no PIN offered matches, until one is set in the F2 dialog. No second
// block: off.
constexpr int32_t kMaxWebPort = 65535;
constexpr int32_t kMaxStaffPin = 99999999;
enum class StaffAccess { kOpen, kPin, kLocked };
struct WebSettings {
    int32_t port;  // 0: off
    StaffAccess access;
    int32_t pin;  // with kPin, 1 to 99999999; else 0
};
WebSettings web_settings_of(const SettingsTail& tail);

// The file's first `size` bytes (at most kZonesTailedFileSize + kKeptAfterTail of them): true when
// they are at least 36, decoded into *settings unchecked. *tail gets the tail when bytes 36 to 59
// are the marker and the fields, else no tail (the long-file rule: the rest is ignored and left
// on disk); with the tail, the second block when bytes 60 to 71 are its marker and fields, with
// that the third when bytes 72 to 91 are its marker and fields, and up to kKeptAfterTail of the
// bytes after what was taken.
bool decode_settings_file(const unsigned char* bytes, size_t size, BoardSettings* settings,
                          SettingsTail* tail);

// The bytes a save writes: the 36, then with a tail the 24, the second block's 8 and the third's
// 20 if present, and the bytes kept after them. Switching a block on puts it before bytes kept
// after the blocks before it.
std::vector<unsigned char> settings_file_bytes(const BoardSettings& settings,
                                               const SettingsTail& tail);

// Dialog entries are unsigned numbers; grid entries keep the remainder of division by 11, colour
// entries their low 8 bits.
int32_t reduce_grid_entry(uint32_t entry);
int32_t reduce_colour_entry(uint32_t entry);
