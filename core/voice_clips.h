// The voice's recorded words, built into the program (cmake/VoiceClips.cmake), and what the
// players and the web page make of them: a clip found by name, and a phrase joined into one
// WAVE file so that it plays as one sentence. Portable.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/voice.h"

// A WAVE file: 22050 Hz, mono, 16-bit PCM.
struct VoiceClip {
    const char* name;
    const unsigned char* bytes;
    size_t size;
};

// Every clip, in the order the build recorded them.
const VoiceClip* voice_clips(int* count);

// The clip of that name; nullptr when there is none.
const VoiceClip* find_voice_clip(const char* name);

// The samples of a WAVE file of the clips' format: its "data" chunk, found by walking the chunks.
// False for anything else (the clips are ours, but a broken build should say nothing, not crash).
struct Samples {
    const unsigned char* bytes;
    size_t size;
};
bool clip_samples(const unsigned char* file, size_t size, Samples* samples);

// The phrase's clips joined into one WAVE file (empty when a clip is missing or the phrase is
// empty), and how long it plays in milliseconds.
std::vector<unsigned char> joined_phrase(const Phrase& phrase);
int64_t wave_ms(const std::vector<unsigned char>& wave);
