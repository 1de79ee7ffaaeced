// Reading and replacing a file's contents on POSIX: a temporary file created exclusively, synced
// and renamed over the old one (over the file behind a symbolic link, in that file's folder); in
// place where a rename would part a file's names or cannot be had.
#include "live/replace_file.h"

#include <cerrno>
#include <cstdlib>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool write_all(int fd, const unsigned char* bytes, size_t size) {
    size_t done = 0;
    while (done < size) {
        const ssize_t wrote = pwrite(fd, bytes + done, size - done, static_cast<off_t>(done));
        if (wrote < 0 && errno == EINTR) {
            continue;
        }
        if (wrote <= 0) {
            return false;
        }
        done += static_cast<size_t>(wrote);
    }
    return true;
}

// The plain write of a name that is no link: open (or create) and overwrite. The new bytes go over
// the old before the file is cut to size, so a kill cannot leave it empty.
bool write_in_place(const char* path, const unsigned char* bytes, size_t size) {
    const int fd = open(path, O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd < 0) {
        return false;
    }
    const bool ok = write_all(fd, bytes, size) && ftruncate(fd, static_cast<off_t>(size)) == 0 &&
                    fsync(fd) == 0;
    return close(fd) == 0 && ok;
}

// Clears the temporary name of a leftover: a file or a link goes (the link itself, never what it
// points to); a directory is not ours to remove, so it stays and the save fails.
bool clear_leftover(const char* temporary) {
    struct stat found;
    if (lstat(temporary, &found) != 0) {
        return errno == ENOENT;
    }
    if (S_ISDIR(found.st_mode)) {
        return false;
    }
    unlink(temporary);  // where the directory refuses, the exclusive create below says so
    return true;
}

// Replaces the file at a name that is not a symbolic link.
bool replace_unlinked(const char* path, const unsigned char* bytes, size_t size) {
    struct stat old;
    const bool exists = lstat(path, &old) == 0;
    if (exists && S_ISREG(old.st_mode) && old.st_nlink > 1) {
        // A rename would part this name from the others; only the plain write reaches them all.
        return write_in_place(path, bytes, size);
    }
    if (exists) {
        if (!S_ISREG(old.st_mode)) {
            return false;
        }
        // A file its owner made read-only is not replaced behind its back.
        const int probe = open(path, O_WRONLY | O_CLOEXEC | O_NOCTTY);
        if (probe < 0) {
            return false;
        }
        close(probe);
    } else if (errno != ENOENT) {
        return false;
    }

    const std::string temporary = std::string(path) + ".new";
    if (!clear_leftover(temporary.c_str())) {
        return false;
    }
    const mode_t mode = exists ? (old.st_mode & 07777) : 0666;
    const int fd =
        open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd < 0) {
        // A directory that takes no new files may still let the file itself be written.
        return (errno == EACCES || errno == EPERM || errno == EEXIST) &&
               write_in_place(path, bytes, size);
    }
    bool ok = true;
    if (exists) {
        // The umask may have narrowed the mode, and the owner is the creator's: give back both.
        ok = fchmod(fd, mode) == 0;
        if (fchown(fd, old.st_uid, old.st_gid) != 0) {
            (void)!fchown(fd, static_cast<uid_t>(-1), old.st_gid);  // the group, where allowed
        }
    }
    ok = ok && write_all(fd, bytes, size) && fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    if (!ok || rename(temporary.c_str(), path) != 0) {
        unlink(temporary.c_str());
        return false;
    }
    return true;
}

}  // namespace

bool replace_file_contents(const char* path, const unsigned char* bytes, size_t size) {
    struct stat found;
    if (lstat(path, &found) != 0 || !S_ISLNK(found.st_mode)) {
        return replace_unlinked(path, bytes, size);
    }
    // The user's own link: the file it leads to takes the record, replaced beside itself so a
    // full disk or a kill leaves it whole, and the link stays. A link to nothing gets no file.
    char* const target = realpath(path, nullptr);
    if (target == nullptr) {
        return false;
    }
    const bool ok = replace_unlinked(target, bytes, size);
    std::free(target);
    return ok;
}

FileKind read_file_start(const char* path, unsigned char* bytes, size_t size, size_t* got) {
    *got = 0;
    // Without O_NONBLOCK a FIFO with no writer would hold the board before its window appears.
    const int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    struct stat found;
    if (fd < 0) {
        // Not opened: nothing there, a plain file this user may not read, or a socket.
        if (stat(path, &found) != 0) {
            return errno == ENOENT ? FileKind::kMissing : FileKind::kOther;
        }
        return S_ISREG(found.st_mode) ? FileKind::kPlain : FileKind::kOther;
    }
    if (fstat(fd, &found) != 0 || !S_ISREG(found.st_mode)) {
        close(fd);
        return FileKind::kOther;
    }
    while (*got < size) {
        const ssize_t read_now = read(fd, bytes + *got, size - *got);
        if (read_now < 0 && errno == EINTR) {
            continue;
        }
        if (read_now <= 0) {
            break;
        }
        *got += static_cast<size_t>(read_now);
    }
    close(fd);
    return FileKind::kPlain;
}

bool create_file_contents(const char* path, const unsigned char* bytes, size_t size) {
    const int fd =
        open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd < 0) {
        return false;
    }
    const bool ok = write_all(fd, bytes, size) && fsync(fd) == 0;
    return close(fd) == 0 && ok;
}
