// Linked into pelivor-chime-log.exe only, a test build of the board: every chime is also counted,
// one line appended to "chime.log" in the working directory, before it plays; and every phrase
// the voice says, a line of its clips in "voice.log".
#include <cstdio>

#include "win32/extensions_win32.h"
#include "tests/voice_log.h"

namespace {

void log_chime() {
    if (std::FILE* log = std::fopen("chime.log", "a")) {
        std::fprintf(log, "%lu\n", static_cast<unsigned long>(GetTickCount()));
        std::fclose(log);
    }
    play_chime_resource();
}

int64_t log_phrase(const Phrase& phrase) {
    log_phrase_line(static_cast<long long>(GetTickCount()), phrase);
    return say_phrase_clips(phrase);
}

// Installed before WinMain runs.
const bool g_installed = (set_chime_player(log_chime), set_voice_player(log_phrase), true);

}  // namespace
