// The settings record and its 36-byte file "setup.dat": nine little-endian signed 32-bit fields,
// no header. Also the reductions the settings dialog applies to typed entries. Portable.
#pragma once

#include <cstddef>
#include <cstdint>

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

// True when the file holds at least 36 bytes; the first 36 are decoded into *out, unchecked.
bool read_settings_file(const char* path, BoardSettings* out);

// Replaces the contents of `path` with the 36 bytes (see replace_file_contents), so a crash
// mid-write leaves either the old record or the new one, never a short one. False on any failure,
// with the old file untouched.
bool write_settings_file(const char* path, const BoardSettings& settings);

// Dialog entries are unsigned numbers; grid entries keep the remainder of division by 11, colour
// entries their low 8 bits.
int32_t reduce_grid_entry(uint32_t entry);
int32_t reduce_colour_entry(uint32_t entry);
