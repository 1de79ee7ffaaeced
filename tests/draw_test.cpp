// The picture's arithmetic: cell sizes, font heights, colours, placement and shown texts, with the
// degenerate grids that must draw background alone.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "core/draw.h"

namespace {

BoardSettings grid(int32_t rows, int32_t columns) {
    BoardSettings settings = default_settings();
    settings.rows = rows;
    settings.columns = columns;
    return settings;
}

// The board as it would be drawn: text shown at each cell origin that gets a TextOut.
std::map<std::pair<int, int>, std::string> picture(const BoardLayout& layout,
                                                   const SlotTable& table) {
    std::map<std::pair<int, int>, std::string> shown;
    for (int k = 0; k < layout.cells; ++k) {
        const CellOrigin origin = cell_origin(layout, k);
        const DrawnText text = drawn_text(table.slots[k]);
        shown[{origin.x, origin.y}] = std::string(text.text, static_cast<size_t>(text.length));
    }
    return shown;
}

std::string shown(const char* slot_text) {
    char slot[kSlotSize] = {};
    std::strncpy(slot, slot_text, kMaxTextLength);
    const DrawnText text = drawn_text(slot);
    return std::string(text.text, static_cast<size_t>(text.length));
}

}  // namespace

TEST(Geometry, DefaultGridOnA960By540Screen) {
    const BoardLayout layout = board_layout(960, 540, default_settings());
    EXPECT_EQ(layout.cell_width, 480);
    EXPECT_EQ(layout.cell_height, 135);
    EXPECT_EQ(layout.font_height, 96);
    ASSERT_EQ(layout.cells, 8);
    const int xs[] = {0, 0, 0, 0, 480, 480, 480, 480};
    const int ys[] = {0, 135, 270, 405, 0, 135, 270, 405};
    for (int k = 0; k < 8; ++k) {
        EXPECT_EQ(cell_origin(layout, k).x, xs[k]) << k;
        EXPECT_EQ(cell_origin(layout, k).y, ys[k]) << k;
    }
}

TEST(Geometry, RemaindersOfTheDivisionAreLeftOver) {
    const BoardLayout layout = board_layout(1000, 100, grid(3, 7));
    EXPECT_EQ(layout.cell_width, 142);
    EXPECT_EQ(layout.cell_height, 33);
    EXPECT_EQ(layout.cells, 21);
    EXPECT_EQ(cell_origin(layout, 20).x, 6 * 142);
    EXPECT_EQ(cell_origin(layout, 20).y, 2 * 33);
}

TEST(Geometry, FontHeightsOfKnownScreens) {
    EXPECT_EQ(board_layout(1024, 768, grid(4, 2)).font_height, 137);
    EXPECT_EQ(board_layout(1280, 990, grid(10, 3)).font_height, 71);
    EXPECT_EQ(font_height(135), 96);
    EXPECT_EQ(font_height(192), 137);
    EXPECT_EQ(font_height(99), 71);
    // A 1-pixel cell asks the font system for its default size.
    EXPECT_EQ(board_layout(960, 3, grid(3, 2)).cell_height, 1);
    EXPECT_EQ(font_height(1), 0);
    EXPECT_EQ(font_height(0), 0);
}

TEST(Geometry, FontHeightEqualsTheIntegerFormula) {
    // Doubles just above 0.9 and 0.8, each product rounded: never off by one where it matters.
    for (int ch = 0; ch <= 1 << 20; ++ch) {
        const int exact = (9 * static_cast<int64_t>(ch) / 10) * 8 / 10;
        ASSERT_EQ(font_height(ch), exact) << "cell height " << ch;
    }
    EXPECT_EQ(font_height(INT_MAX), (9 * static_cast<int64_t>(INT_MAX) / 10) * 8 / 10);
}

TEST(Placement, FillsColumnByColumn) {
    SlotTable table{};
    const char* texts[] = {"1", "2", "3", "4", "5"};
    for (int k = 0; k < 5; ++k) {
        std::strcpy(table.slots[k], texts[k]);
    }
    const BoardLayout layout = board_layout(300, 200, grid(2, 3));
    const std::map<std::pair<int, int>, std::string> expected = {
        {{0, 0}, "1"},     {{0, 100}, "2"}, {{100, 0}, "3"},
        {{100, 100}, "4"}, {{200, 0}, "5"}, {{200, 100}, ""},
    };
    EXPECT_EQ(picture(layout, table), expected);
}

TEST(Placement, GridsBeyondTheSlotsDrawOnlyTheFirstHundred) {
    const BoardLayout layout = board_layout(2000, 2000, grid(20, 20));
    EXPECT_EQ(layout.cell_width, 100);
    EXPECT_EQ(layout.cell_height, 100);
    EXPECT_EQ(layout.font_height, 72);
    EXPECT_EQ(layout.cells, kSlotCount);
    EXPECT_EQ(cell_origin(layout, 99).x, 400);
    EXPECT_EQ(cell_origin(layout, 99).y, 1900);

    const BoardLayout huge = board_layout(INT_MAX, INT_MAX, grid(INT_MAX, INT_MAX));
    EXPECT_EQ(huge.cells, kSlotCount);
    EXPECT_EQ(cell_origin(huge, 99).x, 0);
    EXPECT_EQ(cell_origin(huge, 99).y, 99);
}

TEST(Placement, DegenerateGridsDrawNoCells) {
    EXPECT_EQ(board_layout(960, 540, grid(0, 2)).cells, 0);
    EXPECT_EQ(board_layout(960, 540, grid(4, 0)).cells, 0);
    EXPECT_EQ(board_layout(960, 540, grid(4, -3)).cells, 0);
    EXPECT_EQ(board_layout(960, 540, grid(INT_MIN, INT_MIN)).cells, 0);
    // Cells under a pixel: too many rows or columns for the client area.
    EXPECT_EQ(board_layout(960, 540, grid(1000, 1000)).cells, 0);
    EXPECT_EQ(board_layout(1, 540, grid(4, 2)).cells, 0);
    EXPECT_EQ(board_layout(960, 3, grid(4, 2)).cells, 0);
    EXPECT_EQ(board_layout(0, 0, grid(4, 2)).cells, 0);
    EXPECT_EQ(board_layout(-960, 540, grid(4, 2)).cells, 0);
    // The colours still hold for the background.
    EXPECT_EQ(board_layout(960, 540, grid(0, 0)).background, pack_colour(0, 50, 150));
}

TEST(DrawnText, LeadingHashIsLeftOut) {
    EXPECT_EQ(shown("#42"), "42");
    EXPECT_EQ(shown("4#2"), "4#2");
    EXPECT_EQ(shown("##7"), "#7");
    EXPECT_EQ(shown("#"), "");
    EXPECT_EQ(shown(""), "");
    EXPECT_EQ(shown("123456789"), "123456789");
}

TEST(DrawnText, NeverReadsPastTheSlot) {
    char slot[kSlotSize];
    std::memset(slot, '7', sizeof slot);
    DrawnText text = drawn_text(slot);
    EXPECT_EQ(text.length, kMaxTextLength);
    EXPECT_EQ(text.text, slot);
    slot[0] = '#';
    text = drawn_text(slot);
    EXPECT_EQ(text.length, kMaxTextLength - 1);
    EXPECT_EQ(text.text, slot + 1);
}

TEST(Colours, PackedFromTheLowEightBitsOfEachField) {
    const BoardLayout layout = board_layout(960, 540, default_settings());
    EXPECT_EQ(layout.background, 50u * 256 + 150u * 65536);
    EXPECT_EQ(layout.text, 240u + 240u * 256 + 240u * 65536);
    EXPECT_EQ(pack_colour(356, 0, 0), 100u);
    EXPECT_EQ(pack_colour(0, 356, 0), 100u * 256);
    EXPECT_EQ(pack_colour(0, 0, 356), 100u * 65536);
    EXPECT_EQ(pack_colour(-1, 256, 511), 255u + 0u * 256 + 255u * 65536);
    EXPECT_EQ(pack_colour(INT32_MIN, INT32_MAX, 1), 0u + 255u * 256 + 1u * 65536);

    BoardSettings settings = default_settings();
    settings.text_red = 1;
    settings.text_green = 2;
    settings.text_blue = 3;
    settings.back_red = 4;
    settings.back_green = 5;
    settings.back_blue = 6;
    const BoardLayout swapped = board_layout(960, 540, settings);
    EXPECT_EQ(swapped.text, 0x030201u);
    EXPECT_EQ(swapped.background, 0x060504u);
}

namespace {

// A monospace face whose characters are 3/5 of the height wide, and the widest of some texts.
struct FakeFace {
    int longest;
    int measured = 0;
};
TextWidth fake_widest(void* context, int height) {
    FakeFace& face = *static_cast<FakeFace*>(context);
    ++face.measured;
    return TextWidth{face.longest * height * 3 / 5, face.longest};
}

}  // namespace

TEST(Fit, LargestHeightAtWhichTheWidestTextFitsItsCell) {
    // 2 x 3 at 960 x 540: cells of 320 x 270, described height 194.
    const BoardLayout layout = board_layout(960, 540, grid(2, 3));
    ASSERT_EQ(layout.font_height, 194);
    FakeFace three{3};
    const int fitted = fit_font_height(layout.font_height, layout.cell_width, fake_widest, &three);
    // 3 digits of 164 * 3/5: 295 wide, and a quarter digit of 24.6 spare; at 165: 297 and 24.75.
    EXPECT_EQ(fitted, 164);
    EXPECT_TRUE(fits_cell(fake_widest(&three, fitted), layout.cell_width));
    EXPECT_FALSE(fits_cell(fake_widest(&three, fitted + 1), layout.cell_width));
    EXPECT_LE(three.measured, 12);  // a binary search, not a walk down

    FakeFace one{1};  // fits already: the described height, measured once
    EXPECT_EQ(fit_font_height(194, 320, fake_widest, &one), 194);
    EXPECT_EQ(one.measured, 1);
    FakeFace none{0};  // an empty board
    EXPECT_EQ(fit_font_height(194, 320, fake_widest, &none), 194);
    FakeFace huge{1000};  // nothing fits: the smallest height there is
    EXPECT_EQ(fit_font_height(194, 320, fake_widest, &huge), 1);
    EXPECT_EQ(fit_font_height(0, 320, fake_widest, &huge), 0);  // the font system's default

    // Flush is not fitted: 3 characters of 32 need a quarter of one, 8 pixels, to spare.
    EXPECT_FALSE(fits_cell(TextWidth{96, 3}, 96));
    EXPECT_FALSE(fits_cell(TextWidth{96, 3}, 103));
    EXPECT_TRUE(fits_cell(TextWidth{96, 3}, 104));
}

namespace {

// Faces of several proportions and texts of several lengths; a width that grows with the height,
// not always strictly.
struct StepFace {
    int characters;
    int numerator;
    int denominator;
};
TextWidth step_widest(void* context, int height) {
    const StepFace& face = *static_cast<const StepFace*>(context);
    return TextWidth{face.characters * (height * face.numerator / face.denominator),
                     face.characters};
}

// The fit found the plain way: down from the described height, one pixel at a time, until the
// widest text and a quarter of one of its characters fit.
int walked_height(int described, int cell_width, StepFace face) {
    if (described <= 0) {
        return described;
    }
    for (int height = described; height > 1; --height) {
        const TextWidth text = step_widest(&face, height);
        const double character = static_cast<double>(text.width) / text.characters;
        if (text.width + character / 4 <= cell_width) {
            return height;
        }
    }
    return 1;
}

}  // namespace

TEST(Fit, AgreesWithAStepByStepSearch) {
    int mismatches = 0;
    for (StepFace face : {StepFace{1, 3, 5}, StepFace{3, 3, 5}, StepFace{5, 11, 20},
                          StepFace{9, 7, 10}, StepFace{4, 1, 3}}) {
        for (int described = -1; described <= 260; ++described) {
            for (int cell_width = 0; cell_width <= 700; cell_width += 3) {
                const int walked = walked_height(described, cell_width, face);
                const int searched = fit_font_height(described, cell_width, step_widest, &face);
                if (searched != walked && ++mismatches <= 5) {
                    ADD_FAILURE() << face.characters << " characters of " << face.numerator << "/"
                                  << face.denominator << ", height " << described << ", cell "
                                  << cell_width << ": " << searched << ", walked " << walked;
                }
            }
        }
    }
    EXPECT_EQ(mismatches, 0);
}

namespace {

// Every call the draw loop makes of its painter, in order, as text. Texts measure 3/5 of the
// chosen height per character.
struct Recorder {
    std::vector<std::string> calls;
    int font = -1;
};
Recorder& of(void* context) {
    return *static_cast<Recorder*>(context);
}
std::string colour(uint32_t c) {
    return c == 0x963200 ? "back" : c == 0xF0F0F0 ? "ink" : std::to_string(c);  // the defaults'
}
std::string at(int x, int y) {
    return " " + std::to_string(x) + "," + std::to_string(y);
}
void record_fill(void* c, int x, int y, int width, int height, uint32_t fill) {
    of(c).calls.push_back("fill" + at(x, y) + at(width, height) + " " + colour(fill));
}
void record_font(void* c, int height) {
    of(c).font = height;
    of(c).calls.push_back("font " + std::to_string(height));
}
int record_measure(void* c, const char* text, int length) {
    of(c).calls.push_back("measure " + std::string(text, length));
    return length * of(c).font * 3 / 5;
}
void record_text(void* c, int x, int y, const char* text, int length, uint32_t ink, uint32_t box) {
    of(c).calls.push_back("text" + at(x, y) + " '" + std::string(text, length) + "' " +
                          colour(ink) + " on " + colour(box) + " @" + std::to_string(of(c).font));
}

std::vector<std::string> drawn(int width, int height, const BoardCopy& copy) {
    Recorder recorder;
    draw_board_with(Painter{&recorder, record_fill, record_font, record_measure, record_text},
                    width, height, copy);
    return recorder.calls;
}

BoardCopy copy_of(int32_t rows, int32_t columns, std::vector<std::string> texts) {
    BoardCopy copy{};
    copy.settings = grid(rows, columns);
    for (size_t k = 0; k < texts.size(); ++k) {
        std::strncpy(copy.table.slots[k], texts[k].c_str(), kMaxTextLength);
    }
    return copy;
}

using Calls = std::vector<std::string>;

}  // namespace

TEST(DrawLoop, BackgroundThenFontThenEveryCellColumnByColumn) {
    // Empty cells are drawn too: their boxes are opaque.
    EXPECT_EQ(drawn(960, 540, copy_of(4, 2, {"1", "#22", "", "4#4"})),
              Calls({"fill 0,0 960,540 back", "font 96", "text 0,0 '1' ink on back @96",
                     "text 0,135 '22' ink on back @96", "text 0,270 '' ink on back @96",
                     "text 0,405 '4#4' ink on back @96", "text 480,0 '' ink on back @96",
                     "text 480,135 '' ink on back @96", "text 480,270 '' ink on back @96",
                     "text 480,405 '' ink on back @96"}));
}

TEST(DrawLoop, HighlightOnlyWhileOnAndOnlyOnItsSlot) {
    BoardCopy copy = copy_of(2, 2, {"11", "22", "33"});
    copy.highlighted = 2;
    copy.extensions.highlight_ms = 5000;
    Calls expected{"fill 0,0 400,200 back",          "font 72",
                   "text 0,0 '11' ink on back @72",  "text 0,100 '22' ink on back @72",
                   "fill 200,0 200,100 ink",         "text 200,0 '33' back on ink @72",
                   "text 200,100 '' ink on back @72"};
    EXPECT_EQ(drawn(400, 200, copy), expected);
    // Off, the named slot is drawn as any other.
    copy.extensions.highlight_ms = 0;
    expected.erase(expected.begin() + 4, expected.begin() + 6);
    expected.insert(expected.begin() + 4, "text 200,0 '33' ink on back @72");
    EXPECT_EQ(drawn(400, 200, copy), expected);
}

TEST(DrawLoop, FitMeasuresTheTextsAndDrawsEveryCellAtTheFittedHeight) {
    // 2 x 3 at 960 x 540: cells 320 wide, described 194. Four characters of 12/5 x h with a
    // quarter of one to spare fit up to h = 125.
    // The wide text in the seventh slot has no cell in this grid (the grid was shrunk): it is
    // not shown, so it must not shrink what is.
    BoardCopy copy = copy_of(2, 3, {"1011", "", "#7", "", "", "", "88888888"});
    copy.extensions.fit_text = true;
    Calls calls = drawn(960, 540, copy);
    ASSERT_GT(calls.size(), 8u);
    const Calls texts(calls.end() - 6, calls.end());
    calls.erase(calls.end() - 6, calls.end());
    EXPECT_EQ(calls.back(), "font 125");
    for (const std::string& call : calls) {
        EXPECT_TRUE(call.rfind("fill", 0) == 0 || call.rfind("font", 0) == 0 ||
                    call == "measure 1011" || call == "measure 7")
            << call;
    }
    EXPECT_EQ(texts[0], "text 0,0 '1011' ink on back @125");
    for (const std::string& text : texts) {
        EXPECT_EQ(text.substr(text.size() - 4), "@125") << text;
    }
    copy.extensions.fit_text = false;
    EXPECT_EQ(drawn(960, 540, copy)[1], "font 194");
    EXPECT_EQ(drawn(960, 540, copy).size(), 8u);  // no measuring
}

TEST(DrawLoop, DegenerateGridsAndSlotsPastTheCells) {
    EXPECT_EQ(drawn(960, 540, copy_of(0, 2, {"1"})), Calls({"fill 0,0 960,540 back"}));
    EXPECT_EQ(drawn(1, 3, copy_of(4, 2, {"1"})), Calls({"fill 0,0 1,3 back"}));
    // 20 x 20: the 100 slots fill five columns of 48; the other 300 cells get nothing.
    std::vector<std::string> texts(kSlotCount, "5");
    const Calls calls = drawn(960, 540, copy_of(20, 20, texts));
    ASSERT_EQ(calls.size(), 2u + kSlotCount);
    EXPECT_EQ(calls.back(), "text 192,513 '5' ink on back @19");
    // 3 x 3: slot 9 holds a text but has no cell.
    texts[9] = "999";
    const Calls nine = drawn(300, 300, copy_of(3, 3, texts));
    EXPECT_EQ(nine.size(), 2u + 9u);
    EXPECT_EQ(nine.back(), "text 200,200 '5' ink on back @72");
}
