// Replacing a file's contents on POSIX: a temporary file created exclusively, synced and renamed
// over the old one; in place where a rename would break a link or cannot be had.
#include "settings/replace_file.h"

#include <cerrno>
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

// The plain write: open (or create) through any link and overwrite. The new bytes go over the
// old before the file is cut to size, so a kill cannot leave it empty.
bool write_in_place(const char* path, const unsigned char* bytes, size_t size) {
    const int fd = open(path, O_WRONLY | O_CREAT | O_CLOEXEC | O_NOCTTY, 0666);
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

}  // namespace

bool replace_file_contents(const char* path, const unsigned char* bytes, size_t size) {
    struct stat old;
    const bool exists = lstat(path, &old) == 0;
    if (exists && (S_ISLNK(old.st_mode) || (S_ISREG(old.st_mode) && old.st_nlink > 1))) {
        // A rename would put a separate file where the link was; the plain write goes through.
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
