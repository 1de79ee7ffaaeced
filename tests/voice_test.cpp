// What the voice says for a number, from the rules of Polish numerals, the clips the build
// recorded for it, and the turns it takes against a fake clock and a recording player.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "core/extensions.h"
#include "core/voice.h"
#include "core/voice_clips.h"

namespace {

std::string said(const char* text, bool reminder = false) {
    const Phrase phrase = phrase_of(text, reminder);
    std::string words;
    for (int i = 0; i < phrase.count; ++i) {
        words += (i > 0 ? " " : "") + std::string(phrase.clips[i]);
    }
    return words;
}

TEST(VoicePhrase, NumbersAreReadAsPolishCardinalsAndTheRestDigitByDigit) {
    const std::pair<const char*, const char*> table[] = {
        {"0", "zero"},
        {"1", "jeden"},
        {"2", "dwa"},
        {"5", "piec"},
        {"11", "jedenascie"},
        {"12", "dwanascie"},
        {"15", "pietnascie"},
        {"20", "dwadziescia"},
        {"21", "dwadziescia jeden"},
        {"22", "dwadziescia dwa"},
        {"25", "dwadziescia piec"},
        {"99", "dziewiecdziesiat dziewiec"},
        {"100", "sto"},
        {"101", "sto jeden"},
        {"110", "sto dziesiec"},
        {"112", "sto dwanascie"},
        {"200", "dwiescie"},
        {"300", "trzysta"},
        {"999", "dziewiecset dziewiecdziesiat dziewiec"},
        {"1000", "tysiac"},
        {"1001", "tysiac jeden"},
        {"1100", "tysiac sto"},
        {"2000", "dwa tysiace"},
        {"2022", "dwa tysiace dwadziescia dwa"},
        {"4000", "cztery tysiace"},
        {"5000", "piec tysiecy"},
        {"9999", "dziewiec tysiecy dziewiecset dziewiecdziesiat dziewiec"},
        {"10000", "jeden zero zero zero zero"},
        {"007", "zero zero siedem"},
        {"00", "zero zero"},
        {"#57", "piecdziesiat siedem"},
        {"57#2", "piecdziesiat siedem dwa"},
        {"1#", "jeden"},
        {"123456789", "jeden dwa trzy cztery piec szesc siedem osiem dziewiec"},
    };
    for (const auto& [text, number] : table) {
        EXPECT_EQ(said(text), std::string("zamowienie_numer ") + number) << text;
    }
    EXPECT_EQ(said("#57", true), "przypominamy zamowienie_numer piecdziesiat siedem");
    // Nothing drawn, nothing said; only the first 9 bytes are ever drawn.
    EXPECT_EQ(said(""), "");
    EXPECT_EQ(said("#"), "");
    EXPECT_EQ(said("##", true), "");
    EXPECT_EQ(said("12345678901"), said("123456789"));
}

// The longest phrases stay within the list, and every word one may need has its clip.
TEST(VoicePhrase, EveryWordSaidHasARecordedClipAndEveryClipIsSaid) {
    const char* const* names = nullptr;
    const int count = voice_clip_names(&names);
    std::set<std::string> needed(names, names + count);
    EXPECT_EQ(needed.size(), static_cast<size_t>(count));
    int clips = 0;
    const VoiceClip* recorded = voice_clips(&clips);
    std::set<std::string> have;
    for (int i = 0; i < clips; ++i) {
        Samples samples{};
        EXPECT_TRUE(clip_samples(recorded[i].bytes, recorded[i].size, &samples))
            << recorded[i].name;
        // Trimmed, yet a word: between a tenth of a second and two seconds at 22050 Hz.
        EXPECT_GT(samples.size, 2u * 2205) << recorded[i].name;
        EXPECT_LT(samples.size, 2u * 44100) << recorded[i].name;
        have.insert(recorded[i].name);
    }
    EXPECT_EQ(have, needed);

    std::set<std::string> used;
    for (int n = 0; n <= 9999; ++n) {
        const Phrase phrase = phrase_of(std::to_string(n).c_str(), true);
        for (int i = 0; i < phrase.count; ++i) {
            used.insert(phrase.clips[i]);
        }
    }
    EXPECT_EQ(used, needed);
    EXPECT_LE(phrase_of("9999#9999", true).count, kMaxPhraseClips);
    EXPECT_EQ(said("9999#9999", true).size(), said("9999", true).size() + said("9999").size() - 16);
}

TEST(VoicePhrase, AJoinedPhraseHoldsItsClipsSamplesBehindOneHeader) {
    const Phrase phrase = phrase_of("57", false);
    const std::vector<unsigned char> wave = joined_phrase(phrase);
    Samples joined{};
    ASSERT_TRUE(clip_samples(wave.data(), wave.size(), &joined));
    size_t at = 0;
    for (int i = 0; i < phrase.count; ++i) {
        const VoiceClip* clip = find_voice_clip(phrase.clips[i]);
        ASSERT_NE(clip, nullptr);
        Samples own{};
        ASSERT_TRUE(clip_samples(clip->bytes, clip->size, &own));
        ASSERT_LE(at + own.size, joined.size);
        EXPECT_EQ(std::memcmp(joined.bytes + at, own.bytes, own.size), 0) << phrase.clips[i];
        at += own.size;
    }
    EXPECT_EQ(at, joined.size);
    EXPECT_EQ(wave_ms(wave), static_cast<int64_t>(joined.size) * 1000 / 44100);
    EXPECT_TRUE(joined_phrase(phrase_of("#", false)).empty());

    // A WAVE of another kind, or cut short, is no clip.
    std::vector<unsigned char> stereo = wave;
    stereo[22] = 2;
    EXPECT_FALSE(clip_samples(stereo.data(), stereo.size(), &joined));
    EXPECT_FALSE(clip_samples(wave.data(), wave.size() - 1, &joined));
    EXPECT_FALSE(clip_samples(wave.data(), 8, &joined));
}

// A player that writes down what it is given and when, each turn sounding for 1 s.
struct Recording {
    std::vector<std::string> played;
    std::vector<int64_t> at;
    std::set<std::string> taken_off;
};

bool shown(void* context, const char* text) {
    return static_cast<Recording*>(context)->taken_off.count(text) == 0;
}

constexpr int64_t kTurnMs = 1000;

// Runs the queue from `now` until nothing waits, as the speaker's thread does.
void play_out(VoiceQueue& queue, Recording& player, int64_t now) {
    for (int64_t due = voice_due(queue); due != kNever; due = voice_due(queue)) {
        now = due > now ? due : now;
        VoiceTurn turn{};
        if (!voice_take(queue, now, shown, &player, &turn)) {
            continue;
        }
        player.played.push_back(turn.text[0] != '\0'
                                    ? (turn.reminder ? "again " : "") + std::string(turn.text)
                                    : "chime");
        player.at.push_back(now);
        voice_sounding(queue, now, turn.text[0] != '\0' ? kTurnMs : kChimeMs);
    }
}

TEST(VoiceQueue, TurnsComeInOrderOneAfterAnotherWithTheChimeFirst) {
    VoiceQueue queue{};
    Recording player;
    EXPECT_EQ(voice_due(queue), kNever);
    EXPECT_TRUE(voice_push(queue, true, "57", false));
    EXPECT_TRUE(voice_push(queue, false, "58", false));
    EXPECT_TRUE(voice_push(queue, false, "12", true));
    play_out(queue, player, 5000);
    EXPECT_EQ(player.played, (std::vector<std::string>{"chime", "57", "58", "again 12"}));
    // Each starts once the one before has sounded and the pause after it.
    EXPECT_EQ(player.at, (std::vector<int64_t>{5000, 5000 + kChimeMs + kVoicePauseMs,
                                               5000 + kChimeMs + kTurnMs + 2 * kVoicePauseMs,
                                               5000 + kChimeMs + 2 * kTurnMs + 3 * kVoicePauseMs}));
    VoiceTurn turn{};
    EXPECT_FALSE(voice_take(queue, 1'000'000, shown, &player, &turn));
}

TEST(VoiceQueue, AtMostThreeWaitAndABurstsChimeIsKept) {
    VoiceQueue queue{};
    Recording player;
    voice_push(queue, false, "1", false);
    VoiceTurn turn{};
    ASSERT_TRUE(voice_take(queue, 0, shown, &player, &turn));  // sounding, no longer waiting
    voice_sounding(queue, 0, kTurnMs);
    EXPECT_FALSE(voice_take(queue, kTurnMs, shown, &player, &turn));  // still within its pause
    for (const char* text : {"2", "3", "4"}) {
        EXPECT_TRUE(voice_push(queue, false, text, false)) << text;
    }
    EXPECT_FALSE(voice_push(queue, false, "5", false));
    EXPECT_FALSE(voice_push(queue, false, "", false));
    EXPECT_TRUE(voice_push(queue, true, "6", false));  // its call dropped, its chime kept
    play_out(queue, player, 0);
    EXPECT_EQ(player.played, (std::vector<std::string>{"2", "3", "4", "chime"}));
}

TEST(VoiceQueue, ANumberTakenOffBeforeItsTurnIsNotSaid) {
    VoiceQueue queue{};
    Recording player;
    voice_push(queue, false, "57", false);
    voice_push(queue, true, "58", false);
    voice_push(queue, false, "59", true);
    player.taken_off = {"57", "58"};
    play_out(queue, player, 0);
    EXPECT_EQ(player.played, (std::vector<std::string>{"chime", "again 59"}));
    EXPECT_EQ(player.at, (std::vector<int64_t>{0, kChimeMs + kVoicePauseMs}));
}

TEST(VoiceQueue, ThePageHearsOfTheLatestCallsNumbered) {
    VoiceCalls calls{};
    for (const char* text : {"1", "2", "3", "4"}) {
        log_call(calls, text, text[0] == '4');
    }
    ASSERT_EQ(calls.count, kVoiceWaiting);
    EXPECT_STREQ(calls.calls[0].text, "2");
    EXPECT_EQ(calls.calls[0].seq, 2u);
    EXPECT_EQ(calls.calls[2].seq, 4u);
    EXPECT_TRUE(calls.calls[2].reminder);
    EXPECT_EQ(calls.last_seq, 4u);
}

}  // namespace
