// Finding a clip, its samples, and a phrase's clips joined behind one WAVE header.
#include "core/voice_clips.h"

#include <cstring>

namespace {

constexpr uint32_t kRate = 22050;
constexpr uint32_t kBytesPerSecond = kRate * 2;
constexpr size_t kHeaderSize = 44;

uint32_t read32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

void put32(unsigned char* p, uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        p[i] = static_cast<unsigned char>(value >> (8 * i));
    }
}

void put16(unsigned char* p, uint16_t value) {
    p[0] = static_cast<unsigned char>(value);
    p[1] = static_cast<unsigned char>(value >> 8);
}

}  // namespace

const VoiceClip* find_voice_clip(const char* name) {
    int count = 0;
    const VoiceClip* clips = voice_clips(&count);
    for (int i = 0; i < count; ++i) {
        if (std::strcmp(clips[i].name, name) == 0) {
            return &clips[i];
        }
    }
    return nullptr;
}

bool clip_samples(const unsigned char* file, size_t size, Samples* samples) {
    if (size < 12 || std::memcmp(file, "RIFF", 4) != 0 || std::memcmp(file + 8, "WAVE", 4) != 0) {
        return false;
    }
    bool pcm = false;
    for (size_t at = 12; size - at >= 8;) {
        const uint32_t length = read32(file + at + 4);
        if (length > size - at - 8) {
            return false;
        }
        const unsigned char* body = file + at + 8;
        if (std::memcmp(file + at, "fmt ", 4) == 0) {
            // PCM, mono, 22050 Hz, 16-bit: what joins sample for sample.
            pcm = length >= 16 && body[0] == 1 && body[1] == 0 && body[2] == 1 && body[3] == 0 &&
                  read32(body + 4) == kRate && body[14] == 16 && body[15] == 0;
        } else if (std::memcmp(file + at, "data", 4) == 0) {
            *samples = Samples{body, length};
            return pcm;
        }
        at += 8 + length + (length & 1);
    }
    return false;
}

std::vector<unsigned char> joined_phrase(const Phrase& phrase) {
    std::vector<unsigned char> wave;
    if (phrase.count == 0) {
        return wave;
    }
    wave.resize(kHeaderSize);
    for (int i = 0; i < phrase.count; ++i) {
        const VoiceClip* clip = find_voice_clip(phrase.clips[i]);
        Samples samples{};
        if (clip == nullptr || !clip_samples(clip->bytes, clip->size, &samples)) {
            return {};
        }
        wave.insert(wave.end(), samples.bytes, samples.bytes + (samples.size & ~size_t{1}));
    }
    const uint32_t data = static_cast<uint32_t>(wave.size() - kHeaderSize);
    unsigned char* h = wave.data();
    std::memcpy(h, "RIFF", 4);
    put32(h + 4, 36 + data);
    std::memcpy(h + 8, "WAVEfmt ", 8);
    put32(h + 16, 16);
    put16(h + 20, 1);  // PCM
    put16(h + 22, 1);  // mono
    put32(h + 24, kRate);
    put32(h + 28, kBytesPerSecond);
    put16(h + 32, 2);
    put16(h + 34, 16);
    std::memcpy(h + 36, "data", 4);
    put32(h + 40, data);
    return wave;
}

int64_t wave_ms(const std::vector<unsigned char>& wave) {
    if (wave.size() <= kHeaderSize) {
        return 0;
    }
    return static_cast<int64_t>(wave.size() - kHeaderSize) * 1000 / kBytesPerSecond;
}
