// Replacing a file's contents on Windows: a temporary file created as new, flushed and swapped in
// with ReplaceFile, which keeps the old file's attributes and security; in place where a swap
// would break a link or cannot be had.
#include "settings/replace_file.h"

#include <cstring>
#include <string>

#include <windows.h>

namespace {

bool write_and_flush(HANDLE file, const unsigned char* bytes, size_t size) {
    DWORD wrote = 0;
    return WriteFile(file, bytes, static_cast<DWORD>(size), &wrote, nullptr) != 0 &&
           wrote == size && SetEndOfFile(file) != 0 && FlushFileBuffers(file) != 0;
}

// The plain write: open (or create) through any link and overwrite from the start, then cut to
// size. OPEN_ALWAYS rather than CREATE_ALWAYS, which refuses a hidden or system file.
bool write_in_place(const char* path, const unsigned char* bytes, size_t size) {
    const HANDLE file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ,
                                    nullptr,  // default security
                                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    const bool ok = write_and_flush(file, bytes, size);
    return CloseHandle(file) != 0 && ok;
}

std::string full_path(const char* path) {
    const DWORD needed = GetFullPathNameA(path, 0, nullptr, nullptr);
    std::string full(needed, '\0');
    const DWORD got = needed != 0 ? GetFullPathNameA(path, needed, &full[0], nullptr) : 0;
    if (got == 0 || got >= needed) {
        return path;
    }
    full.resize(got);
    return full;
}

constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                  FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// Whether the name reaches its file through a link: a symbolic link or junction on Windows, and
// under Wine a Unix symbolic link too, which otherwise shows as a plain file and which Wine's
// delete and rename act on the target of. The handle's final path then differs from the name's.
bool reached_through_link(HANDLE file, const std::string& full) {
    char final_path[MAX_PATH + 8];
    const DWORD got = GetFinalPathNameByHandleA(file, final_path, sizeof final_path,
                                                FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (got == 0 || got >= sizeof final_path) {
        return true;  // cannot tell: the caller takes the course that is safe for a link
    }
    const char* shown = final_path;
    if (std::strncmp(shown, "\\\\?\\", 4) == 0) {
        shown += 4;
    }
    return _stricmp(shown, full.c_str()) != 0;
}

enum class OldFile { kMissing, kReplaceable, kLink, kRefused };

// What stands at `full`, and whether it may be written at all: a read-only file, a directory or
// a file this user may not write is refused, as a plain write would be.
OldFile inspect_old_file(const std::string& full, DWORD attributes) {
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND ? OldFile::kMissing : OldFile::kRefused;
    }
    if ((attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) != 0) {
        return OldFile::kRefused;
    }
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        return OldFile::kLink;
    }
    const HANDLE probe = CreateFileA(full.c_str(), GENERIC_WRITE,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (probe == INVALID_HANDLE_VALUE) {
        return OldFile::kRefused;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    const bool linked = GetFileInformationByHandle(probe, &info) == 0 || info.nNumberOfLinks > 1 ||
                        reached_through_link(probe, full);
    CloseHandle(probe);
    return linked ? OldFile::kLink : OldFile::kReplaceable;
}

// Removes a leftover at the temporary name when it is a plain file of its own; a link (whose
// removal Wine would carry out on its target) or a directory stays. False for a directory.
bool clear_leftover(const std::string& temporary) {
    const DWORD attributes = GetFileAttributesA(temporary.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return true;
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return false;  // not ours to remove
    }
    const HANDLE leftover =
        CreateFileA(temporary.c_str(), FILE_READ_ATTRIBUTES,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                    FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (leftover == INVALID_HANDLE_VALUE) {
        return true;
    }
    const bool own_file = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0 &&
                          !reached_through_link(leftover, temporary);
    CloseHandle(leftover);
    if (own_file) {
        SetFileAttributesA(temporary.c_str(), FILE_ATTRIBUTE_NORMAL);  // a read-only one too
        DeleteFileA(temporary.c_str());
    }
    return true;
}

}  // namespace

bool replace_file_contents(const char* path, const unsigned char* bytes, size_t size) {
    // Wine's ReplaceFile fails with ERROR_DIRECTORY on relative names; full ones also let a link
    // show by its final path.
    const std::string full = full_path(path);
    const DWORD attributes = GetFileAttributesA(full.c_str());
    const OldFile old = inspect_old_file(full, attributes);
    if (old == OldFile::kRefused) {
        return false;
    }
    if (old == OldFile::kLink) {
        // A swap would put a separate file where the link was; the plain write goes through.
        return write_in_place(full.c_str(), bytes, size);
    }

    const std::string temporary = full + ".new";
    if (!clear_leftover(temporary)) {
        return false;
    }
    // CREATE_NEW never opens what already stands at the name, a link included.
    const HANDLE file = CreateFileA(temporary.c_str(), GENERIC_WRITE, 0,
                                    nullptr,  // default security; ReplaceFile brings the old one
                                    CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        // No new file here (a directory that refuses them, or a leftover that had to stay): the
        // file itself may still be written.
        const DWORD error = GetLastError();
        return (error == ERROR_ACCESS_DENIED || error == ERROR_FILE_EXISTS ||
                error == ERROR_ALREADY_EXISTS) &&
               write_in_place(full.c_str(), bytes, size);
    }
    bool ok = write_and_flush(file, bytes, size);
    ok = CloseHandle(file) != 0 && ok;
    if (ok && old == OldFile::kReplaceable) {
        const DWORD kept = attributes & kKeptAttributes;
        SetFileAttributesA(temporary.c_str(), kept != 0 ? kept : FILE_ATTRIBUTE_NORMAL);
        ok = ReplaceFileA(full.c_str(), temporary.c_str(),
                          nullptr,  // no backup
                          REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr) != 0;
    } else if (ok) {
        ok = MoveFileExA(temporary.c_str(), full.c_str(), MOVEFILE_WRITE_THROUGH) != 0;
    }
    if (!ok) {
        DeleteFileA(temporary.c_str());
    }
    return ok;
}
