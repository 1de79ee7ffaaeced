// "setup.dat" read without waiting on what is no file, and saved so that a kill leaves one whole
// record.
#include "live/settings_file.h"

#include <vector>

bool read_settings_file(const char* path, BoardSettings* out) {
    unsigned char bytes[kSettingsFileSize];
    size_t got = 0;
    read_file_start(path, bytes, sizeof bytes, &got);
    if (got != sizeof bytes) {
        return false;
    }
    *out = decode_settings(bytes);
    return true;
}

bool read_settings_file(const char* path, BoardSettings* settings, SettingsTail* tail,
                        FileKind* kind) {
    std::vector<unsigned char> bytes(kZonesTailedFileSize + kKeptAfterTail);
    size_t got = 0;
    const FileKind found = read_file_start(path, bytes.data(), bytes.size(), &got);
    if (kind != nullptr) {
        *kind = found;
    }
    return decode_settings_file(bytes.data(), got, settings, tail);
}

bool write_settings_file(const char* path, const BoardSettings& settings) {
    unsigned char bytes[kSettingsFileSize];
    encode_settings(settings, bytes);
    return replace_file_contents(path, bytes, sizeof bytes);
}

bool write_settings_file(const char* path, const BoardSettings& settings,
                         const SettingsTail& tail) {
    const std::vector<unsigned char> bytes = settings_file_bytes(settings, tail);
    return replace_file_contents(path, bytes.data(), bytes.size());
}

bool create_settings_file(const char* path, const BoardSettings& settings,
                          const SettingsTail& tail) {
    const std::vector<unsigned char> bytes = settings_file_bytes(settings, tail);
    return create_file_contents(path, bytes.data(), bytes.size());
}
