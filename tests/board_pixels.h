// What the pixel tests of both painters share: boards to draw, and the ink read back from a
// canvas that gives each pixel as a packed colour through at(x, y).
#pragma once

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "core/draw.h"

// Pixels of a rectangle that differ from the background: where they lie and how many carry the
// text colour exactly (the rest are smoothing between the two).
struct Ink {
    int left = INT_MAX;
    int top = INT_MAX;
    int right = -1;  // exclusive
    int bottom = -1;
    int pixels = 0;
    int text_pixels = 0;
};

template <typename Canvas>
Ink ink_in(const Canvas& canvas, int left, int top, int right, int bottom, uint32_t background,
           uint32_t text) {
    Ink ink;
    for (int y = top; y < bottom; ++y) {
        for (int x = left; x < right; ++x) {
            const uint32_t p = canvas.at(x, y);
            if (p == background) {
                continue;
            }
            ++ink.pixels;
            ink.text_pixels += p == text;
            ink.left = std::min(ink.left, x);
            ink.top = std::min(ink.top, y);
            ink.right = std::max(ink.right, x + 1);
            ink.bottom = std::max(ink.bottom, y + 1);
        }
    }
    return ink;
}

// The defaults' colours with this grid and these texts in the first slots.
inline BoardCopy board(int32_t rows, int32_t columns, const std::vector<std::string>& texts) {
    BoardCopy copy{};
    copy.settings = default_settings();
    copy.settings.rows = rows;
    copy.settings.columns = columns;
    for (size_t k = 0; k < texts.size() && k < kSlotCount; ++k) {
        std::strncpy(copy.table.slots[k], texts[k].c_str(), kMaxTextLength);
    }
    return copy;
}
