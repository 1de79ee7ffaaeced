// Stands in for a system command (netsh, icacls) in a test's Wine prefix, where the real ones are
// stubs: appends its command line to "<its own path>.log" and succeeds, so a test can read what an
// installer ran.
#include <windows.h>

#include <cstdio>
#include <cstring>

int main() {
    char path[MAX_PATH + 8];
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return 1;
    }
    std::strcat(path, ".log");
    FILE* log = std::fopen(path, "ab");
    if (log == nullptr) {
        return 1;
    }
    std::fprintf(log, "%s\n", GetCommandLineA());
    return std::fclose(log) == 0 ? 0 : 1;
}
