// The line both test builds of the board append to "voice.log" for a phrase: its time, then its
// clips in order.
#pragma once

#include <cstdio>

#include "core/voice.h"

inline void log_phrase_line(long long stamp, const Phrase& phrase) {
    if (std::FILE* log = std::fopen("voice.log", "a")) {
        std::fprintf(log, "%lld", stamp);
        for (int i = 0; i < phrase.count; ++i) {
            std::fprintf(log, " %s", phrase.clips[i]);
        }
        std::fprintf(log, "\n");
        std::fclose(log);
    }
}
