// Linked into pelivor-chime-log only, a test build of the GTK board: every chime is also counted,
// one line appended to "chime.log" in the working directory, before it plays; and every phrase
// the voice says, a line of its clips in "voice.log".
#include <cstdio>

#include "live/live_board.h"
#include "gtk/extensions_gtk.h"
#include "tests/voice_log.h"

namespace {

void log_chime() {
    if (std::FILE* log = std::fopen("chime.log", "a")) {
        std::fprintf(log, "%lld\n", static_cast<long long>(monotonic_ms()));
        std::fclose(log);
    }
    play_chime_resource();
}

int64_t log_phrase(const Phrase& phrase) {
    log_phrase_line(static_cast<long long>(monotonic_ms()), phrase);
    return say_phrase_clips(phrase);
}

// Installed before main runs.
const bool g_installed = (set_chime_player(log_chime), set_voice_player(log_phrase), true);

}  // namespace
