// The voice that calls a number: what is said for a shown text (a list of recorded clips), and
// the turn-taking of what waits to be said. Portable: the clips themselves and the playing are
// the shells'; every rule here takes the clock's reading as an argument.
#pragma once

#include <cstdint>

#include "core/board.h"

// "Zamówienie numer", then at most 9 digits, each a word or, as a cardinal, at most 5 words for
// 4 digits, with "Przypominamy" before it all.
constexpr int kMaxPhraseClips = 16;

struct Phrase {
    int count;
    const char* clips[kMaxPhraseClips];  // clip names, static strings
};

// What is said for a slot's text: "zamowienie_numer" (after "przypominamy" for a reminder), then
// the number as drawn (a leading '#' left out), each run of digits between '#' marks read as a
// Polish cardinal when it has 1 to 4 digits and no leading zero, digit by digit otherwise. The
// '#' is silent. A text that draws no digit says nothing (count 0).
Phrase phrase_of(const char* text, bool reminder);

// Every clip name phrase_of can give, once each; the build records one clip per name.
int voice_clip_names(const char* const** names);

// How many calls may wait for their turn; in a burst the rest are not said.
constexpr int kVoiceWaiting = 3;
// Silence between two turns, so phrases do not run into each other.
constexpr int64_t kVoicePauseMs = 300;

// How long the built-in chime sounds (res/chime.wav).
constexpr int64_t kChimeMs = 350;

// One turn: the chime, a number's phrase, or the chime then the phrase.
struct VoiceTurn {
    bool chime;
    char text[kSlotSize];  // the number to call; "" for the chime alone
    bool reminder;
};

struct VoiceQueue {
    int count;
    VoiceTurn turns[2 * kVoiceWaiting];
    int64_t free_at;  // nothing starts before this: what was last played is still sounding
};

// Adds a turn: the chime, the call of `text` (nullptr or "": none), or both. A call beyond the
// kVoiceWaiting already waiting is dropped; its chime is kept while there is room. Returns
// whether the call (or the chime alone) was kept.
bool voice_push(VoiceQueue& queue, bool chime, const char* text, bool reminder);

// Takes the turn due at `now`, if any: none while the last one still sounds. A turn with both
// gives the chime alone and leaves its call first in line. A call whose number `still_shown` no
// longer finds on the board is passed over.
// Returns false when nothing is due now.
using StillShown = bool (*)(void* context, const char* text);
bool voice_take(VoiceQueue& queue, int64_t now, StillShown still_shown, void* context,
                VoiceTurn* turn);

// The turn taken at `now` sounds for `ms`: the next may start after it and a pause.
void voice_sounding(VoiceQueue& queue, int64_t now, int64_t ms);

// When voice_take may next give a turn: kNever with nothing waiting.
int64_t voice_due(const VoiceQueue& queue);

// The latest calls, numbered, for the web page: it says those newer than the last it said.
struct CalledNumber {
    uint32_t seq;  // from 1, one more for each call
    char text[kSlotSize];
    bool reminder;
};
struct VoiceCalls {
    uint32_t last_seq;
    int count;
    CalledNumber calls[kVoiceWaiting];  // oldest first
};
void log_call(VoiceCalls& calls, const char* text, bool reminder);
