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

TEST(Zones, LayoutSplitsTheScreenIntoTwoBandedGrids) {
    // 1280 x 720, 4 x 2: bands of 72, grids 648 high; the left third 426 wide, the rest 854.
    const ZonesLayout zones = zones_layout(1280, 720, default_settings());
    EXPECT_EQ(zones.band_height, 72);
    EXPECT_EQ(zones.band_font, 51);
    EXPECT_EQ(zones.preparing.width, 426);
    EXPECT_EQ(zones.ready.x, 426);
    EXPECT_EQ(zones.ready.width, 854);
    // The same 8 cells each side, the preparing ones narrower and their font a quarter smaller.
    EXPECT_EQ(zones.preparing.grid.cells, 8);
    EXPECT_EQ(zones.ready.grid.cells, 8);
    EXPECT_EQ(zones.preparing.grid.cell_width, 213);
    EXPECT_EQ(zones.ready.grid.cell_width, 427);
    EXPECT_EQ(zones.ready.grid.cell_height, 162);
    EXPECT_EQ(zones.ready.grid.font_height, 116);
    EXPECT_EQ(zones.preparing.grid.font_height, 87);
    EXPECT_EQ(zones.frame, 13);
    EXPECT_EQ(zone_cell_origin(zones.preparing, 5).x, 213);
    EXPECT_EQ(zone_cell_origin(zones.preparing, 5).y, 72 + 162);
    EXPECT_EQ(zone_cell_origin(zones.ready, 7).x, 426 + 427);
    EXPECT_EQ(zone_cell_origin(zones.ready, 7).y, 72 + 3 * 162);
    // Preparing numbers half way from the text colour to the background, rounded down.
    EXPECT_EQ(zones.dimmed, pack_colour(120, 145, 195));
    BoardSettings odd = default_settings();
    odd.text_red = 255;
    odd.back_red = 0;
    odd.text_blue = 1;
    odd.back_blue = 254;
    EXPECT_EQ(zones_layout(1280, 720, odd).dimmed, pack_colour(127, 145, 127));

    // The minimums: a band of 8 on a low screen, a frame of 2 on small cells.
    EXPECT_EQ(zones_layout(960, 50, default_settings()).band_height, 8);
    EXPECT_EQ(zones_layout(960, 300, grid(20, 4)).ready.grid.cell_height, 13);
    EXPECT_EQ(zones_layout(960, 300, grid(20, 4)).frame, 2);

    EXPECT_EQ(zones_layout_json(),
              "{\"split\":3,\"band\":10,\"band_min\":8,\"preparing_font\":[3,4],\"frame\":12,"
              "\"frame_min\":2,\"titles\":[\"W przygotowaniu\",\"Gotowe do odbioru\"]}");
}

TEST(Zones, DegenerateSizesLeaveZonesWithoutCells) {
    const ZonesLayout none = zones_layout(0, 0, default_settings());
    EXPECT_EQ(none.band_height, 0);
    EXPECT_EQ(none.preparing.grid.cells + none.ready.grid.cells, 0);
    EXPECT_EQ(none.background, pack_colour(0, 50, 150));
    // All band: nothing below it.
    const ZonesLayout low = zones_layout(960, 5, default_settings());
    EXPECT_EQ(low.band_height, 5);
    EXPECT_EQ(low.preparing.grid.cells + low.ready.grid.cells, 0);
    // A third of 2 pixels is none; the ready side still has its 1-pixel columns, too narrow for
    // a frame.
    const ZonesLayout narrow = zones_layout(2, 540, default_settings());
    EXPECT_EQ(narrow.preparing.grid.cells, 0);
    EXPECT_EQ(narrow.ready.grid.cells, 8);
    EXPECT_EQ(narrow.frame, 0);
    EXPECT_EQ(zones_layout(960, 540, grid(0, 2)).ready.grid.cells, 0);
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
    // The defaults' colours and their mix.
    return c == 0x963200   ? "back"
           : c == 0xF0F0F0 ? "ink"
           : c == 0xC39178 ? "dim"
                           : std::to_string(c);
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

namespace {

// The fills and texts of a draw, without the measuring that finds its fonts.
Calls painted(int width, int height, const BoardCopy& copy) {
    Calls calls = drawn(width, height, copy);
    Calls kept;
    for (const std::string& call : calls) {
        if (call.rfind("fill", 0) == 0 || call.rfind("text", 0) == 0) {
            kept.push_back(call);
        }
    }
    return kept;
}

BoardCopy zoned(std::vector<std::string> ready, std::vector<std::string> preparing) {
    BoardCopy copy = copy_of(1, 2, ready);
    copy.extensions.zones = true;
    for (size_t k = 0; k < preparing.size(); ++k) {
        std::strncpy(copy.preparing.slots[k], preparing[k].c_str(), kMaxTextLength);
    }
    return copy;
}

}  // namespace

// 1 x 2 at 600 x 300: bands of 30 (names at 21); preparing cells 100 x 270 at 194 * 3/4 = 145;
// ready cells 200 x 270 at 194, inset by a frame of 22.
TEST(DrawLoop, ZonesDrawTheNamesThenPreparingDimmedThenReadyInset) {
    const BoardCopy copy = zoned({"5", "#6"}, {"#12"});
    EXPECT_EQ(painted(600, 300, copy),
              Calls({"fill 0,0 600,300 back", "text 5,4 'W przygotowaniu' ink on back @21",
                     "text 293,4 'Gotowe do odbioru' ink on back @21",
                     "text 0,30 '12' dim on back @145", "text 100,30 '' dim on back @145",
                     "text 222,52 '5' ink on back @194", "text 422,52 '6' ink on back @194"}));
    // Off, the preparing numbers are not drawn and the picture is the board's of old.
    BoardCopy off = copy;
    off.extensions.zones = false;
    EXPECT_EQ(drawn(600, 300, off), drawn(600, 300, copy_of(1, 2, {"5", "#6"})));
    // Names too wide for a narrow zone come out smaller, both at one height.
    const Calls narrow = painted(300, 300, copy);
    ASSERT_EQ(narrow.size(), 7u);
    EXPECT_EQ(narrow[1], "text 5,10 'W przygotowaniu' ink on back @10");
    EXPECT_EQ(narrow[2], "text 149,10 'Gotowe do odbioru' ink on back @10");
    // Degenerate: the background alone.
    EXPECT_EQ(drawn(0, 300, copy), Calls({"fill 0,0 0,300 back"}));
}

TEST(DrawLoop, ZonesFitEachZoneToItsOwnCells) {
    // Four characters of 12/5 x h and a quarter of one fit a 100-pixel cell up to h = 39, one up
    // to 134; five fit the ready cell less its frames (156) up to 49. One zone's texts never
    // shrink the other.
    BoardCopy copy = zoned({"5"}, {"1234"});
    copy.extensions.fit_text = true;
    Calls calls = painted(600, 300, copy);
    ASSERT_EQ(calls.size(), 7u);
    EXPECT_EQ(calls[3], "text 0,30 '1234' dim on back @39");
    EXPECT_EQ(calls[5], "text 222,52 '5' ink on back @194");
    copy = zoned({"88888"}, {"1"});
    copy.extensions.fit_text = true;
    calls = painted(600, 300, copy);
    ASSERT_EQ(calls.size(), 7u);
    EXPECT_EQ(calls[3], "text 0,30 '1' dim on back @134");
    EXPECT_EQ(calls[5], "text 222,52 '88888' ink on back @49");
}

TEST(DrawLoop, OverdueReadyNumbersAreFramedAfterTheTextsUnlessHighlighted) {
    BoardCopy copy = zoned({"5", "6"}, {"7"});
    copy.extensions.overdue_ms = 60000;
    copy.now_ms = 99999;
    copy.arrivals.ms[0] = 40000;
    copy.arrivals.ms[1] = 40001;
    const Calls plain = painted(600, 300, copy);
    ASSERT_EQ(plain.size(), 7u);
    copy.now_ms = 100000;  // the first has waited exactly the overdue time
    Calls expected = plain;
    for (const char* side : {"fill 200,30 200,22 ink", "fill 200,278 200,22 ink",
                             "fill 200,52 22,226 ink", "fill 378,52 22,226 ink"}) {
        expected.push_back(side);
    }
    EXPECT_EQ(painted(600, 300, copy), expected);
    copy.now_ms = 100001;  // now the second too
    const Calls both = painted(600, 300, copy);
    copy.now_ms = 100000;
    ASSERT_EQ(both.size(), expected.size() + 4);
    EXPECT_EQ(both.back(), "fill 578,52 22,226 ink");
    // The highlight fills the cell; its frame would vanish in the fill and is left out.
    copy.extensions.highlight_ms = 5000;
    copy.highlighted = 0;
    const Calls highlighted = painted(600, 300, copy);
    ASSERT_EQ(highlighted.size(), 8u);
    EXPECT_EQ(highlighted[5], "fill 200,30 200,270 ink");
    EXPECT_EQ(highlighted[6], "text 222,52 '5' back on ink @194");
    // Without zones there is no overdue cue.
    copy.extensions.zones = false;
    copy.extensions.highlight_ms = 0;
    EXPECT_EQ(drawn(600, 300, copy), drawn(600, 300, copy_of(1, 2, {"5", "6"})));
}
