#!/usr/bin/env python3
"""Makes the chime: two soft bell tones, 0.35 s, 16-bit mono PCM at 22050 Hz, fading out. Writes
res/chime.wav; run it again after changing the sound."""
import math
import os
import struct

RATE = 22050
TONES = [(0.0, 880.0), (0.12, 1318.5)]  # start in seconds, frequency in Hz: A5, then E6
LENGTH = 0.35


def samples():
    count = int(RATE * LENGTH)
    for i in range(count):
        t = i / RATE
        value = 0.0
        for start, frequency in TONES:
            if t >= start:
                age = t - start
                value += math.sin(2 * math.pi * frequency * age) * math.exp(-age * 9.0)
        # a few milliseconds of fade at both ends, so the speaker does not click
        edge = min(1.0, i / (0.004 * RATE), (count - i) / (0.004 * RATE))
        yield int(max(-1.0, min(1.0, 0.45 * value * edge)) * 32767)


def main():
    data = b"".join(struct.pack("<h", s) for s in samples())
    fmt = struct.pack("<HHIIHH", 1, 1, RATE, RATE * 2, 2, 16)
    riff = b"WAVE" + b"fmt " + struct.pack("<I", len(fmt)) + fmt + b"data" + \
        struct.pack("<I", len(data)) + data
    out = os.path.join(os.path.dirname(os.path.abspath(__file__)), "chime.wav")
    with open(out, "wb") as f:
        f.write(b"RIFF" + struct.pack("<I", len(riff)) + riff)


if __name__ == "__main__":
    main()
