// Reading and writing "setup.dat" on disk: the file's bytes (core/settings.h) through the careful
// reads and saves of live/replace_file.h.
#pragma once

#include "core/settings.h"
#include "live/replace_file.h"

// True when the file holds at least 36 bytes; the first 36 are decoded into *out, unchecked.
bool read_settings_file(const char* path, BoardSettings* out);

// Replaces the contents of `path` with the 36 bytes (see replace_file_contents), so a crash
// mid-write leaves either the old record or the new one, never a short one. False on any failure,
// with the old file untouched.
bool write_settings_file(const char* path, const BoardSettings& settings);

// Reads the file: true when it holds at least 36 bytes, decoded as decode_settings_file does.
// *kind, when asked for, says what stood there: a FIFO, device or socket is never waited on and
// reads as no file.
bool read_settings_file(const char* path, BoardSettings* settings, SettingsTail* tail,
                        FileKind* kind = nullptr);

bool write_settings_file(const char* path, const BoardSettings& settings, const SettingsTail& tail);

// Writes the record to a new file only (see create_file_contents): nothing that stands at `path`,
// a link to nothing included, is opened.
bool create_settings_file(const char* path, const BoardSettings& settings,
                          const SettingsTail& tail);
