// The paint log of measuring builds: one line per paint, written and flushed on the window thread
// right after the paint ends. Failures to open or write the log are ignored.
#include "win32/paint_timestamps.h"

#include <windows.h>

#include <atomic>
#include <cstdio>

namespace {

std::atomic<unsigned long> g_accepted{0};

}  // namespace

void note_accepted_text() {
    ++g_accepted;
}

void log_paint(const BoardCopy& copy) {
    FILETIME now;
    GetSystemTimePreciseAsFileTime(&now);
    static FILE* const log = std::fopen("paint-times.log", "ab");
    if (log == nullptr) {
        return;
    }
    const unsigned long long ticks =
        (static_cast<unsigned long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    char newest[kSlotSize + 1] = {};
    const int active = active_count(copy.settings.rows, copy.settings.columns);
    const char* const text = newest_entry(copy.table, active);
    snprintf(newest, sizeof newest, "%.*s", kMaxTextLength, *text != '\0' ? text : "-");
    std::fprintf(log, "%llu %lu %s\n", ticks, g_accepted.load(), newest);
    std::fflush(log);
}
