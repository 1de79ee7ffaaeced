// Polish cardinals from 0 to 9999 out of 42 recorded words, and the queue of turns.
#include "core/voice.h"

#include <cstring>

#include "core/extensions.h"

namespace {

const char* const kOnes[20] = {"zero",       "jeden",        "dwa",         "trzy",
                               "cztery",     "piec",         "szesc",       "siedem",
                               "osiem",      "dziewiec",     "dziesiec",    "jedenascie",
                               "dwanascie",  "trzynascie",   "czternascie", "pietnascie",
                               "szesnascie", "siedemnascie", "osiemnascie", "dziewietnascie"};
const char* const kTens[10] = {
    nullptr,        nullptr,         "dwadziescia",    "trzydziesci",   "czterdziesci",
    "piecdziesiat", "szescdziesiat", "siedemdziesiat", "osiemdziesiat", "dziewiecdziesiat"};
const char* const kHundreds[10] = {nullptr,   "sto",      "dwiescie",  "trzysta",  "czterysta",
                                   "piecset", "szescset", "siedemset", "osiemset", "dziewiecset"};
constexpr const char* kNumberPrefix = "zamowienie_numer";
constexpr const char* kReminderPrefix = "przypominamy";

void say(Phrase& phrase, const char* clip) {
    if (phrase.count < kMaxPhraseClips) {
        phrase.clips[phrase.count++] = clip;
    }
}

// 1 to 9999. A thousand alone is "tysiąc"; 2 to 4 thousand take "tysiące", 5 to 9 "tysięcy".
void say_cardinal(Phrase& phrase, int n) {
    const int thousands = n / 1000;
    if (thousands == 1) {
        say(phrase, "tysiac");
    } else if (thousands > 1) {
        say(phrase, kOnes[thousands]);
        say(phrase, thousands <= 4 ? "tysiace" : "tysiecy");
    }
    if (const char* hundreds = kHundreds[n / 100 % 10]) {
        say(phrase, hundreds);
    }
    const int rest = n % 100;
    if (rest >= 20) {
        say(phrase, kTens[rest / 10]);
        if (rest % 10 != 0) {
            say(phrase, kOnes[rest % 10]);
        }
    } else if (rest > 0) {
        say(phrase, kOnes[rest]);
    }
}

void say_run(Phrase& phrase, const char* digits, int length) {
    if (length == 1 || (length <= 4 && digits[0] != '0')) {
        int n = 0;
        for (int i = 0; i < length; ++i) {
            n = n * 10 + (digits[i] - '0');
        }
        if (n == 0) {
            say(phrase, kOnes[0]);
        } else {
            say_cardinal(phrase, n);
        }
        return;
    }
    for (int i = 0; i < length; ++i) {
        say(phrase, kOnes[digits[i] - '0']);
    }
}

bool has_call(const VoiceTurn& turn) {
    return turn.text[0] != '\0';
}

void drop_front(VoiceQueue& queue) {
    for (int i = 1; i < queue.count; ++i) {
        queue.turns[i - 1] = queue.turns[i];
    }
    --queue.count;
}

}  // namespace

Phrase phrase_of(const char* text, bool reminder) {
    Phrase phrase{};
    const size_t length = strnlen(text, kMaxTextLength);
    size_t at = length > 0 && text[0] == '#' ? 1 : 0;
    Phrase number{};
    while (at < length) {
        size_t end = at;
        while (end < length && text[end] >= '0' && text[end] <= '9') {
            ++end;
        }
        if (end > at) {
            say_run(number, text + at, static_cast<int>(end - at));
        }
        at = end + 1;  // past the '#' (or any other byte, which a slot never holds)
    }
    if (number.count == 0) {
        return phrase;
    }
    if (reminder) {
        say(phrase, kReminderPrefix);
    }
    say(phrase, kNumberPrefix);
    for (int i = 0; i < number.count; ++i) {
        say(phrase, number.clips[i]);
    }
    return phrase;
}

int voice_clip_names(const char* const** names) {
    static const char* const kAll[] = {
        kNumberPrefix, kReminderPrefix, kOnes[0],     kOnes[1],     kOnes[2],     kOnes[3],
        kOnes[4],      kOnes[5],        kOnes[6],     kOnes[7],     kOnes[8],     kOnes[9],
        kOnes[10],     kOnes[11],       kOnes[12],    kOnes[13],    kOnes[14],    kOnes[15],
        kOnes[16],     kOnes[17],       kOnes[18],    kOnes[19],    kTens[2],     kTens[3],
        kTens[4],      kTens[5],        kTens[6],     kTens[7],     kTens[8],     kTens[9],
        kHundreds[1],  kHundreds[2],    kHundreds[3], kHundreds[4], kHundreds[5], kHundreds[6],
        kHundreds[7],  kHundreds[8],    kHundreds[9], "tysiac",     "tysiace",    "tysiecy"};
    *names = kAll;
    return static_cast<int>(sizeof kAll / sizeof kAll[0]);
}

bool voice_push(VoiceQueue& queue, bool chime, const char* text, bool reminder) {
    const bool call = text != nullptr && text[0] != '\0';
    int calls = 0;
    for (int i = 0; i < queue.count; ++i) {
        calls += has_call(queue.turns[i]) ? 1 : 0;
    }
    VoiceTurn turn{chime, {}, reminder};
    if (call && calls < kVoiceWaiting) {
        strncpy(turn.text, text, kMaxTextLength);
    } else if (!chime) {
        return false;
    }
    // A chime is kept only beside kVoiceWaiting calls; the chime's own gap bounds how many come.
    if (queue.count == 2 * kVoiceWaiting) {
        return false;
    }
    queue.turns[queue.count++] = turn;
    return true;
}

bool voice_take(VoiceQueue& queue, int64_t now, StillShown still_shown, void* context,
                VoiceTurn* turn) {
    if (now < queue.free_at) {
        return false;
    }
    while (queue.count > 0) {
        *turn = queue.turns[0];
        if (turn->chime && has_call(*turn)) {
            // The chime sounds on its own first; the call is looked at when its turn comes.
            turn->text[0] = '\0';
            queue.turns[0].chime = false;
            return true;
        }
        drop_front(queue);
        if (has_call(*turn) && !still_shown(context, turn->text)) {
            turn->text[0] = '\0';
        }
        if (turn->chime || has_call(*turn)) {
            return true;
        }
    }
    return false;
}

void log_call(VoiceCalls& calls, const char* text, bool reminder) {
    if (calls.count == kVoiceWaiting) {
        for (int i = 1; i < kVoiceWaiting; ++i) {
            calls.calls[i - 1] = calls.calls[i];
        }
        --calls.count;
    }
    CalledNumber& called = calls.calls[calls.count++];
    called = CalledNumber{++calls.last_seq, {}, reminder};
    strncpy(called.text, text, kMaxTextLength);
}

void voice_sounding(VoiceQueue& queue, int64_t now, int64_t ms) {
    queue.free_at = now + (ms > 0 ? ms : 0) + kVoicePauseMs;
}

int64_t voice_due(const VoiceQueue& queue) {
    return queue.count == 0 ? kNever : queue.free_at;
}
