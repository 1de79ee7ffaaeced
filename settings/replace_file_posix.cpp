// Atomic replace on POSIX: rename() already replaces the target in one step.
#include "settings/replace_file.h"

#include <unistd.h>

bool flush_to_disk(std::FILE* file) {
    return fsync(fileno(file)) == 0;
}

bool replace_file(const char* from, const char* to) {
    return std::rename(from, to) == 0;
}
