// Reading and replacing a file's contents on Windows: a temporary file created as new, flushed and
// swapped in with ReplaceFile, which keeps the old file's attributes and security; in place where
// no new file can be had. A link or a file of several names in the folder every user shares is
// not the operator's own: it is replaced by a plain file, and what it led to stays as it was.
#include "live/replace_file.h"

#include <cstring>
#include <string>

#include <windows.h>

namespace {

bool write_and_flush(HANDLE file, const unsigned char* bytes, size_t size) {
    DWORD wrote = 0;
    return WriteFile(file, bytes, static_cast<DWORD>(size), &wrote, nullptr) != 0 &&
           wrote == size && SetEndOfFile(file) != 0 && FlushFileBuffers(file) != 0;
}

// The plain write of a file already judged the name's own: overwrite from the start, then cut to
// size. OPEN_EXISTING rather than CREATE_ALWAYS, which refuses a hidden or system file.
bool write_in_place(const char* path, const unsigned char* bytes, size_t size) {
    const HANDLE file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ,
                                    nullptr,  // default security
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
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

// What stands at `full`: the name itself is opened, never what a link leads to, and judged by
// what its handle reports; a file that is the name's own must also be writable.
OldFile inspect_old_file(const std::string& full, DWORD* attributes) {
    const HANDLE file = CreateFileA(full.c_str(), FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return GetLastError() == ERROR_FILE_NOT_FOUND ? OldFile::kMissing : OldFile::kRefused;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    const bool known =
        GetFileType(file) == FILE_TYPE_DISK && GetFileInformationByHandle(file, &info) != 0;
    const bool through_link = known && reached_through_link(file, full);
    CloseHandle(file);
    if (!known) {
        return OldFile::kRefused;  // a pipe or device (under Wine a FIFO) is never written
    }
    *attributes = info.dwFileAttributes;
    const OldFile old = judge_old_file(info.dwFileAttributes, info.nNumberOfLinks, through_link);
    if (old != OldFile::kReplaceable) {
        return old;
    }
    const HANDLE probe = CreateFileA(full.c_str(), GENERIC_WRITE,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (probe == INVALID_HANDLE_VALUE) {
        return OldFile::kRefused;
    }
    CloseHandle(probe);
    return OldFile::kReplaceable;
}

bool create_new(const char* path, HANDLE* file) {
    *file = CreateFileA(path, GENERIC_WRITE, 0,
                        nullptr,  // default security; ReplaceFile brings the old one
                        CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    return *file != INVALID_HANDLE_VALUE;
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

OldFile judge_old_file(uint32_t attributes, uint32_t names, bool through_link) {
    if ((attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) != 0) {
        return OldFile::kRefused;  // as a plain write would be
    }
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 || names > 1 || through_link) {
        return OldFile::kShared;
    }
    return OldFile::kReplaceable;
}

bool replace_file_contents(const char* path, const unsigned char* bytes, size_t size) {
    // Wine's ReplaceFile fails with ERROR_DIRECTORY on relative names; full ones also let a link
    // show by its final path.
    const std::string full = full_path(path);
    DWORD attributes = 0;
    const OldFile old = inspect_old_file(full, &attributes);
    if (old == OldFile::kRefused) {
        return false;
    }

    const std::string temporary = full + ".new";
    if (!clear_leftover(temporary)) {
        return false;
    }
    // CREATE_NEW never opens what already stands at the name, a link included.
    HANDLE file = INVALID_HANDLE_VALUE;
    if (!create_new(temporary.c_str(), &file)) {
        // No new file here (a directory that refuses them, or a leftover that had to stay): the
        // file itself may still be written, where it is the name's own; a shared one never is.
        const DWORD error = GetLastError();
        if (error != ERROR_ACCESS_DENIED && error != ERROR_FILE_EXISTS &&
            error != ERROR_ALREADY_EXISTS) {
            return false;
        }
        if (old == OldFile::kMissing) {
            return create_file_contents(full.c_str(), bytes, size);
        }
        return old == OldFile::kReplaceable && write_in_place(full.c_str(), bytes, size);
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
        // A rename puts the plain file in the link's place (under Wine too, where the name is a
        // Unix link); the file it led to is neither written nor moved.
        const DWORD replace = old == OldFile::kShared ? MOVEFILE_REPLACE_EXISTING : 0;
        ok = MoveFileExA(temporary.c_str(), full.c_str(), replace | MOVEFILE_WRITE_THROUGH) != 0;
    }
    if (!ok) {
        DeleteFileA(temporary.c_str());
    }
    return ok;
}

FileKind read_file_start(const char* path, unsigned char* bytes, size_t size, size_t* got) {
    *got = 0;
    const HANDLE file =
        CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND) {
            return FileKind::kMissing;
        }
        const DWORD attributes = GetFileAttributesA(path);
        return error == ERROR_ACCESS_DENIED && attributes != INVALID_FILE_ATTRIBUTES &&
                       (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0
                   ? FileKind::kPlain
                   : FileKind::kOther;
    }
    // A pipe or device (under Wine a Unix FIFO opens as a pipe) could hold a read forever.
    if (GetFileType(file) != FILE_TYPE_DISK) {
        CloseHandle(file);
        return FileKind::kOther;
    }
    while (*got < size) {
        DWORD read_now = 0;
        const DWORD want = static_cast<DWORD>(size - *got);
        if (ReadFile(file, bytes + *got, want, &read_now, nullptr) == 0 || read_now == 0) {
            break;
        }
        *got += read_now;
    }
    CloseHandle(file);
    return FileKind::kPlain;
}

bool create_file_contents(const char* path, const unsigned char* bytes, size_t size) {
    HANDLE file = INVALID_HANDLE_VALUE;
    if (!create_new(path, &file)) {
        return false;
    }
    const bool ok = write_and_flush(file, bytes, size);
    return CloseHandle(file) != 0 && ok;
}
