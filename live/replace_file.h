// Reading and replacing the whole contents of a file, the way the settings are loaded and saved.
// Each platform has its own file beside this one.
#pragma once

#include <cstddef>
#include <cstdint>

// What stands at a name when it is read.
enum class FileKind {
    kMissing,  // nothing, or a link to nothing
    kPlain,    // a plain file (through any link), read as far as it could be
    kOther,    // a directory, FIFO, device or socket: never read, never written
};

// Reads up to `size` bytes from the start of `path` into `bytes`, *got of them, without ever
// waiting on a FIFO or a device. A plain file that may not be read is kPlain with *got 0.
FileKind read_file_start(const char* path, unsigned char* bytes, size_t size, size_t* got);

// Makes `path` a new file holding these bytes; never opens what already stands there, a link to
// nothing included. False when anything stands at the name or the write fails.
bool create_file_contents(const char* path, const unsigned char* bytes, size_t size);

// Makes `path` hold exactly these bytes, so that a kill at any moment leaves either the old
// contents or the new ones. The new bytes go to "<path>.new", made afresh (never through a link,
// never reusing whatever stands there), and take the old file's place in one step, keeping the
// old file's permissions and attributes. Like a plain write, it fails on a file that refuses
// writing; where no file may be created beside it, it writes the file in place. Links differ by
// platform. POSIX (the user's own folder): a symbolic link is followed and the file behind it
// replaced the same way in its own folder, and a file of several names is written in place so
// every name sees the record; a link to nothing fails. Windows (a folder every user shares): a
// link or a file of several names is replaced by a plain file of its own, and what it led to is
// left as it was.
bool replace_file_contents(const char* path, const unsigned char* bytes, size_t size);

#ifdef _WIN32
// How a Windows save treats what stands at its name, from what a handle to the name itself
// reports (its attributes and count of names) and whether the name reaches its file through a
// link that shows no reparse point (a folder junction on the way, a Unix link under Wine).
enum class OldFile { kMissing, kReplaceable, kShared, kRefused };
OldFile judge_old_file(uint32_t attributes, uint32_t names, bool through_link);
#endif
