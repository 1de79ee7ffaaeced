// Atomic replace on Windows: rename() refuses an existing target, MoveFileEx replaces it.
#include "settings/replace_file.h"

#include <io.h>
#include <windows.h>

bool flush_to_disk(std::FILE* file) {
    const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
    return handle != INVALID_HANDLE_VALUE && FlushFileBuffers(handle) != 0;
}

bool replace_file(const char* from, const char* to) {
    return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}
