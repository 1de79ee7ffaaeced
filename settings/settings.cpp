// Reading and writing "setup.dat", and the dialog's reductions.
#include "settings/settings.h"

#include <cstdio>

#include "settings/replace_file.h"

namespace {

// The file's field order.
constexpr int32_t BoardSettings::*kFields[] = {
    &BoardSettings::rows,       &BoardSettings::columns,   &BoardSettings::back_red,
    &BoardSettings::back_green, &BoardSettings::back_blue, &BoardSettings::text_red,
    &BoardSettings::text_green, &BoardSettings::text_blue, &BoardSettings::show_frame,
};
static_assert(sizeof kFields / sizeof kFields[0] * 4 == kSettingsFileSize, "every field stored");

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
    int i = 0;
    for (auto field : kFields) {
        const uint32_t v = static_cast<uint32_t>(settings.*field);
        for (int b = 0; b < 4; ++b) {
            bytes[4 * i + b] = static_cast<unsigned char>(v >> (8 * b));
        }
        ++i;
    }
}

BoardSettings decode_settings(const unsigned char (&bytes)[kSettingsFileSize]) {
    BoardSettings s{};
    int i = 0;
    for (auto field : kFields) {
        uint32_t v = 0;
        for (int b = 0; b < 4; ++b) {
            v |= static_cast<uint32_t>(bytes[4 * i + b]) << (8 * b);
        }
        s.*field = static_cast<int32_t>(v);
        ++i;
    }
    return s;
}

bool read_settings_file(const char* path, BoardSettings* out) {
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) {
        return false;
    }
    unsigned char bytes[kSettingsFileSize];
    const size_t got = std::fread(bytes, 1, sizeof bytes, file);
    std::fclose(file);
    if (got != sizeof bytes) {
        return false;
    }
    *out = decode_settings(bytes);
    return true;
}

bool write_settings_file(const char* path, const BoardSettings& settings) {
    unsigned char bytes[kSettingsFileSize];
    encode_settings(settings, bytes);
    return replace_file_contents(path, bytes, sizeof bytes);
}

int32_t reduce_grid_entry(uint32_t entry) {
    return static_cast<int32_t>(entry % 11);
}

int32_t reduce_colour_entry(uint32_t entry) {
    return static_cast<int32_t>(entry % 256);
}
