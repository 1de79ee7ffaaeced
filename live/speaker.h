// The voice's own thread: calls wait their turn here (core/voice.h) and are played one after
// another, so that neither the receiver nor the window ever waits for a sound. Portable.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "core/voice.h"

struct LiveBoard;

struct Speaker {
    // What it plays through, from its own thread: the chime, and a phrase, which returns how long
    // it sounds in milliseconds. Set before the first push.
    void (*play_chime)(void* context) = nullptr;
    void* chime_context = nullptr;
    int64_t (*say)(const Phrase& phrase) = nullptr;
    // Where a call's number is looked for when its turn comes.
    LiveBoard* board = nullptr;

    std::mutex lock;
    std::condition_variable wake;
    VoiceQueue queue{};
    std::thread thread;
    bool stopping = false;
};

// The process's speaker, over live_board().
Speaker& board_speaker();

// A turn for the chime, the call of `text` (""/nullptr: none), or both (core/voice.h's limits).
// Cheap, from any thread; the first push starts the thread.
void speaker_push(Speaker& speaker, bool chime, const char* text, bool reminder);

// Plays the turn due at `now`, if any. The thread's step, and the tests' with a fake clock.
void speaker_step(Speaker& speaker, int64_t now);

// What waits is dropped and the thread joined; a later push starts it again.
void speaker_stop(Speaker& speaker);
