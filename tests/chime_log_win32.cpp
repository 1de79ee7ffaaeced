// Linked into pelivor-chime-log.exe only, a test build of the board: every chime is also counted,
// one line appended to "chime.log" in the working directory, before it plays.
#include <cstdio>

#include "win32/extensions_win32.h"

namespace {

void log_chime() {
    if (std::FILE* log = std::fopen("chime.log", "a")) {
        std::fprintf(log, "%lu\n", static_cast<unsigned long>(GetTickCount()));
        std::fclose(log);
    }
    play_chime_resource();
}

// Installed before WinMain runs.
const bool g_installed = (set_chime_player(log_chime), true);

}  // namespace
