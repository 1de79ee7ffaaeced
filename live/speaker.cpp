// The speaker's thread sleeps until a turn is due or a push wakes it.
#include "live/speaker.h"

#include <chrono>

#include "core/extensions.h"
#include "live/live_board.h"

namespace {

bool still_shown(void* context, const char* text) {
    return shown_ready(*static_cast<LiveBoard*>(context), text);
}

void run(Speaker& speaker) {
    std::unique_lock<std::mutex> hold(speaker.lock);
    while (!speaker.stopping) {
        const int64_t due = voice_due(speaker.queue);
        const int64_t now = monotonic_ms();
        if (due == kNever) {
            speaker.wake.wait(hold);
        } else if (now < due) {
            speaker.wake.wait_for(hold, std::chrono::milliseconds(due - now));
        } else {
            hold.unlock();
            speaker_step(speaker, now);
            hold.lock();
        }
    }
}

}  // namespace

Speaker& board_speaker() {
    static Speaker* speaker = [] {
        Speaker* made = new Speaker;  // never destroyed: the thread is joined before exit
        made->board = &live_board();
        return made;
    }();
    return *speaker;
}

void speaker_push(Speaker& speaker, bool chime, const char* text, bool reminder) {
    std::lock_guard<std::mutex> hold(speaker.lock);
    if (speaker.stopping || !voice_push(speaker.queue, chime, text, reminder)) {
        return;
    }
    if (!speaker.thread.joinable()) {
        speaker.thread = std::thread(run, std::ref(speaker));
    }
    speaker.wake.notify_one();
}

void speaker_step(Speaker& speaker, int64_t now) {
    VoiceTurn turn{};
    {
        std::lock_guard<std::mutex> hold(speaker.lock);
        if (!voice_take(speaker.queue, now, still_shown, speaker.board, &turn)) {
            return;
        }
    }
    int64_t ms = 0;
    if (turn.chime) {
        if (speaker.play_chime != nullptr) {
            speaker.play_chime(speaker.chime_context);
        }
        ms = kChimeMs;
    } else if (speaker.say != nullptr) {
        ms = speaker.say(phrase_of(turn.text, turn.reminder));
    }
    std::lock_guard<std::mutex> hold(speaker.lock);
    voice_sounding(speaker.queue, now, ms);
}

void speaker_stop(Speaker& speaker) {
    {
        std::lock_guard<std::mutex> hold(speaker.lock);
        speaker.stopping = true;
        speaker.queue = VoiceQueue{};
        speaker.wake.notify_one();
    }
    if (speaker.thread.joinable()) {
        speaker.thread.join();
    }
    std::lock_guard<std::mutex> hold(speaker.lock);
    speaker.stopping = false;
}
