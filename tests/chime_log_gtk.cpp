// Linked into pelivor-chime-log only, a test build of the GTK board: every chime is also counted,
// one line appended to "chime.log" in the working directory, before it plays.
#include <cstdio>

#include "live/live_board.h"
#include "gtk/extensions_gtk.h"

namespace {

void log_chime() {
    if (std::FILE* log = std::fopen("chime.log", "a")) {
        std::fprintf(log, "%lld\n", static_cast<long long>(monotonic_ms()));
        std::fclose(log);
    }
    play_chime_resource();
}

// Installed before main runs.
const bool g_installed = (set_chime_player(log_chime), true);

}  // namespace
