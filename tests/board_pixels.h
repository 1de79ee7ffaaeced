// What the pixel tests of both painters share: boards to draw, and the ink read back from a
// canvas that gives each pixel as a packed colour through at(x, y).
#pragma once

#include <gtest/gtest.h>

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

// Two zones on a canvas of the defaults' 4 x 2: "61" being prepared, "57" ready and one
// millisecond short of overdue, "58" ready and overdue. Each name's ink stands in its band, the
// preparing number in the dimmer colour alone on the left, the ready one in the text colour
// inside the frame's width, every pixel of the overdue frame in the text colour; and with the
// zones off the same copy draws the board of old.
template <typename Canvas>
void expect_zones_picture(Canvas& canvas) {
    BoardCopy copy = board(4, 2, {"57", "58"});
    copy.extensions.zones = true;
    copy.extensions.overdue_ms = 60000;
    std::strcpy(copy.preparing.slots[0], "61");
    copy.now_ms = 60000;
    copy.arrivals.ms[0] = 1;
    copy.arrivals.ms[1] = 0;
    canvas.draw(copy);
    const ZonesLayout z = zones_layout(canvas.width, canvas.height, copy.settings);
    ASSERT_GT(z.band_height, 0);
    ASSERT_GE(z.frame, 2);
    const int band = z.band_height;
    EXPECT_GT(ink_in(canvas, 0, 0, z.ready.x, band, z.background, z.text).text_pixels, 0);
    EXPECT_GT(ink_in(canvas, z.ready.x, 0, canvas.width, band, z.background, z.text).text_pixels,
              0);

    const CellOrigin p = zone_cell_origin(z.preparing, 0);
    const Ink prepared = ink_in(canvas, p.x, p.y, p.x + z.preparing.grid.cell_width,
                                p.y + z.preparing.grid.cell_height, z.background, z.dimmed);
    EXPECT_GT(prepared.text_pixels, 0);
    EXPECT_LE(prepared.bottom - prepared.top, z.preparing.grid.font_height);
    const Ink left = ink_in(canvas, 0, band, z.ready.x, canvas.height, z.background, z.text);
    EXPECT_EQ(left.text_pixels, 0) << "the text colour below the preparing band";
    EXPECT_EQ(left.pixels, prepared.pixels) << "ink outside the preparing number's cell";

    const int w = z.ready.grid.cell_width;
    const int h = z.ready.grid.cell_height;
    const int f = z.frame;
    const CellOrigin r = zone_cell_origin(z.ready, 0);
    const Ink ready = ink_in(canvas, r.x, r.y, r.x + w, r.y + h, z.background, z.text);
    EXPECT_GT(ready.text_pixels, 0);
    EXPECT_GE(ready.left, r.x + f) << "a frame, or a number not inset, on a ready cell";
    EXPECT_GE(ready.top, r.y + f);

    const CellOrigin o = zone_cell_origin(z.ready, 1);
    int frame_pixels = 0;
    int not_text = 0;
    for (int y = o.y; y < o.y + h; ++y) {
        for (int x = o.x; x < o.x + w; ++x) {
            if (x < o.x + f || x >= o.x + w - f || y < o.y + f || y >= o.y + h - f) {
                ++frame_pixels;
                not_text += canvas.at(x, y) != z.text;
            }
        }
    }
    EXPECT_EQ(frame_pixels, 2 * f * (w + h - 2 * f));
    EXPECT_EQ(not_text, 0) << "of the overdue frame's " << frame_pixels << " pixels";
    // No thicker than described: the row just inside its bottom edge is background.
    EXPECT_EQ(
        ink_in(canvas, o.x + f, o.y + h - f - 1, o.x + w - f, o.y + h - f, z.background, z.text)
            .pixels,
        0);

    copy.extensions.zones = false;
    canvas.draw(copy);
    Canvas plain(canvas.width, canvas.height);
    plain.draw(board(4, 2, {"57", "58"}));
    int differing = 0;
    for (int y = 0; y < canvas.height; ++y) {
        for (int x = 0; x < canvas.width; ++x) {
            differing += canvas.at(x, y) != plain.at(x, y);
        }
    }
    EXPECT_EQ(differing, 0) << "zones off";
}
