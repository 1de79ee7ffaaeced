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
};

constexpr char kTailMarker[4] = {'P', 'V', 'X', '1'};
constexpr size_t kTailedFileSize = kSettingsFileSize + sizeof kTailMarker + sizeof(ExtensionFields);
// Bytes after the tail are written back as they were, up to this many; a file longer still keeps
// only these.
constexpr size_t kKeptAfterTail = 64 * 1024;

struct SettingsTail {
    bool present;  // false: no tail on disk, and saves write the 36 bytes alone
    ExtensionFields fields;
    std::vector<unsigned char> kept;  // what followed the tail
};

// The fields as the board acts on them: negative counts as 0, too large as the bound, and any
// flag other than 0 as on. No tail: everything off.
constexpr int32_t kMaxExpireSeconds = 24 * 60 * 60;
constexpr int32_t kMaxHighlightSeconds = 60 * 60;
struct Extensions {
    int64_t expire_ms;
    int64_t highlight_ms;
    bool chime;
    bool commands;
    bool fit_text;
};
Extensions extensions_of(const SettingsTail& tail);

// The file's first `size` bytes (at most kTailedFileSize + kKeptAfterTail of them): true when
// they are at least 36, decoded into *settings unchecked. *tail gets the tail when bytes 36 to 59
// are the marker and the fields, else no tail (the long-file rule: the rest is ignored and left
// on disk).
bool decode_settings_file(const unsigned char* bytes, size_t size, BoardSettings* settings,
                          SettingsTail* tail);

// The bytes a save writes: the 36, then with a tail the 24 and the bytes kept after them.
std::vector<unsigned char> settings_file_bytes(const BoardSettings& settings,
                                               const SettingsTail& tail);

// Dialog entries are unsigned numbers; grid entries keep the remainder of division by 11, colour
// entries their low 8 bits.
int32_t reduce_grid_entry(uint32_t entry);
int32_t reduce_colour_entry(uint32_t entry);
