// The board drawn by cairo and Pango into an image surface and read back pixel by pixel: the GTK
// painter's share of the picture, as the GDI one's is checked in paint_test.cpp.
#include <gtest/gtest.h>

#include <cairo.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "core/draw.h"
#include "gtk/paint_cairo.h"
#include "tests/board_pixels.h"

namespace {

constexpr uint32_t kBack = 0x963200;  // the defaults' colours, packed as core/draw.h packs them
constexpr uint32_t kInk = 0xF0F0F0;

struct Canvas {
    cairo_surface_t* surface;
    int width;
    int height;
    Canvas(int w, int h)
        : surface(cairo_image_surface_create(CAIRO_FORMAT_RGB24, w, h)), width(w), height(h) {}
    ~Canvas() { cairo_surface_destroy(surface); }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    void draw(const BoardCopy& copy) {
        cairo_t* cr = cairo_create(surface);
        draw_board(cr, width, height, copy);
        cairo_destroy(cr);
        cairo_surface_flush(surface);
    }
    // The surface holds 0x00RRGGBB; the board packs red lowest.
    uint32_t at(int x, int y) const {
        const unsigned char* row = cairo_image_surface_get_data(surface) +
                                   static_cast<size_t>(y) * cairo_image_surface_get_stride(surface);
        uint32_t p;
        std::memcpy(&p, row + 4 * x, sizeof p);
        return pack_colour(static_cast<int32_t>((p >> 16) & 0xFF),
                           static_cast<int32_t>((p >> 8) & 0xFF), static_cast<int32_t>(p & 0xFF));
    }
};

}  // namespace

TEST(CairoBoard, DefaultGridShowsEachNumberInItsCell) {
    Canvas canvas(963, 543);  // three pixels over: the leftover strips stay background
    const BoardCopy copy = board(4, 2, {"1", "22", "#333", "", "4444", "", "5", ""});
    canvas.draw(copy);
    const BoardLayout layout = board_layout(963, 543, copy.settings);
    int ink_in_cells = 0;
    for (int k = 0; k < 8; ++k) {
        const CellOrigin o = cell_origin(layout, k);
        const Ink ink = ink_in(canvas, o.x, o.y, o.x + layout.cell_width, o.y + layout.cell_height,
                               kBack, kInk);
        ink_in_cells += ink.pixels;
        if (drawn_text(copy.table.slots[k]).length == 0) {
            EXPECT_EQ(ink.pixels, 0) << "slot " << k;
            continue;
        }
        EXPECT_GT(ink.text_pixels, 0) << "slot " << k;
        EXPECT_GE(ink.top, o.y) << "slot " << k;
        EXPECT_LE(ink.bottom, o.y + layout.font_height) << "slot " << k;
        EXPECT_GE(ink.bottom - ink.top, layout.font_height / 2) << "slot " << k;
        EXPECT_LT(ink.left, o.x + layout.font_height / 2) << "slot " << k;
    }
    EXPECT_GT(ink_in_cells, 0);
    EXPECT_EQ(ink_in(canvas, 0, 0, 963, 543, kBack, kInk).pixels, ink_in_cells);
}

TEST(CairoBoard, HighlightSwapsTheColoursOfTheNewestCellOnly) {
    Canvas canvas(400, 200);
    BoardCopy copy = board(2, 2, {"11", "22", "33"});
    copy.extensions.highlight_ms = 5000;
    copy.highlighted = 2;
    canvas.draw(copy);
    EXPECT_GT(ink_in(canvas, 200, 0, 400, 100, kInk, kBack).text_pixels, 50);
    EXPECT_EQ(canvas.at(399, 99), kInk);
    EXPECT_EQ(canvas.at(399, 100), kBack);
    EXPECT_GT(ink_in(canvas, 0, 0, 200, 100, kBack, kInk).text_pixels, 50);
    EXPECT_EQ(canvas.at(199, 99), kBack);
    copy.extensions.highlight_ms = 0;
    canvas.draw(copy);
    EXPECT_EQ(canvas.at(399, 99), kBack);
}

TEST(CairoBoard, FitKeepsTheWidestNumberInsideItsCell) {
    Canvas canvas(960, 540);
    BoardCopy copy = board(2, 3, {"1011"});
    canvas.draw(copy);
    ASSERT_GT(ink_in(canvas, 320, 0, 640, 270, kBack, kInk).pixels, 0) << "must overflow unfitted";
    copy.extensions.fit_text = true;
    canvas.draw(copy);
    const Ink fitted = ink_in(canvas, 0, 0, 320, 270, kBack, kInk);
    EXPECT_EQ(ink_in(canvas, 320, 0, 960, 540, kBack, kInk).pixels, 0);
    EXPECT_LE(fitted.right, 320);
    EXPECT_GT(fitted.right, 320 * 8 / 10);  // as large as fits
}

TEST(CairoBoard, ZonesShowNamesDimmedPreparingReadyAndOverdueFrames) {
    Canvas canvas(960, 540);
    expect_zones_picture(canvas);
}

TEST(CairoBoard, DegenerateGridsAndCellsPastTheSlotsShowOnlyTheBackground) {
    std::vector<std::string> texts;
    for (int k = 0; k < kSlotCount; ++k) {
        texts.push_back(std::to_string(k + 1));
    }
    Canvas canvas(960, 540);
    canvas.draw(board(0, 2, texts));
    EXPECT_EQ(ink_in(canvas, 0, 0, 960, 540, kBack, kInk).pixels, 0);
    // 20 x 20: cells of 48 x 27; the 100 slots fill five columns and nothing lies past them.
    canvas.draw(board(20, 20, texts));
    EXPECT_GT(ink_in(canvas, 4 * 48, 19 * 27, 5 * 48, 540, kBack, kInk).text_pixels, 0);
    EXPECT_EQ(ink_in(canvas, 5 * 48, 0, 960, 540, kBack, kInk).pixels, 0);
}
