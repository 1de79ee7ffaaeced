// The board's picture: cell sizes, font height, colours, where each slot stands and what it
// shows, and the one loop that draws it through a painter. Portable; each shell's painter (GDI in
// win32/paint_win32.cpp, cairo in gtk/paint_cairo.cpp) only fills, measures and draws texts.
#pragma once

#include <cstdint>
#include <string>

#include "core/board.h"
#include "core/voice.h"
#include "core/extensions.h"
#include "core/settings.h"

// What drawing needs, copied under the live board's lock so the picture is made without holding it.
struct BoardCopy {
    SlotTable table;
    BoardSettings settings;
    Extensions extensions;
    int highlighted = -1;  // the slot drawn with its colours swapped; -1: none
    // With two zones on: the numbers being prepared, and when each ready one became ready with
    // the clock's reading at the copy (how long each has waited, and whether it is overdue).
    SlotTable preparing{};
    ArrivalTimes arrivals{};
    int64_t now_ms = 0;
    // With the voice on: the latest numbers called (extensions.voice says whether it is on).
    VoiceCalls calls{};
};

// Whether ready slot k has waited the overdue time (the zones' cue; never with it off).
bool overdue_slot(const BoardCopy& copy, int k);

// Everything one paint needs besides the slot texts.
struct BoardLayout {
    int rows;
    int cell_width;
    int cell_height;
    int font_height;
    // Cells that get a text, in slot order: rows x columns capped at the 100 slots, and 0 when the
    // grid is empty or a cell would be less than a pixel wide or high (background only).
    int cells;
    uint32_t background;
    uint32_t text;
};

// A colour value as the platform packs it: red + green * 256 + blue * 65536, each component the
// low 8 bits of its field.
uint32_t pack_colour(int32_t red, int32_t green, int32_t blue);

// trunc(trunc(cell_height * 0.9) * 0.8), in doubles as the board has always computed it.
int font_height(int cell_height);

BoardLayout board_layout(int width, int height, const BoardSettings& settings);

struct CellOrigin {
    int x;
    int y;
};

// Top-left corner of slot k's cell: the grid fills column by column, slot 0 top-left.
// k must be below layout.cells.
CellOrigin cell_origin(const BoardLayout& layout, int k);

// Two zones, in proportions the web page draws too (zones_layout_json). The preparing zone is
// the left width / kZoneSplit; each zone's name stands in a band height / kZoneBand high, at least
// kZoneMinBand pixels where the height has them; preparing numbers are drawn at 3/4 of the font
// their cells give; an overdue number's frame is its cell's height / kOverdueFrame thick, at least
// kOverdueMinFrame pixels and at most half the cell.
constexpr int kZoneSplit = 3;
constexpr int kZoneBand = 10;
constexpr int kZoneMinBand = 8;
constexpr int kPreparingFontNumerator = 3;
constexpr int kPreparingFontDenominator = 4;
constexpr int kOverdueFrame = 12;
constexpr int kOverdueMinFrame = 2;
constexpr char kPreparingTitle[] = "W przygotowaniu";
constexpr char kReadyTitle[] = "Gotowe do odbioru";

// One zone: its rectangle, the band at its top, and the grid below the band, laid out as
// board_layout lays out the whole screen (cell origins from zone_cell_origin).
struct ZoneLayout {
    int x;
    int width;
    int grid_y;  // the band's height: where the grid starts
    BoardLayout grid;
    uint32_t ink;  // the numbers' colour
};

struct ZonesLayout {
    int band_height;
    int band_font;  // the names' described height, before fitting them to their zones
    ZoneLayout preparing;
    ZoneLayout ready;
    int frame;  // an overdue ready number's frame, in pixels
    uint32_t background;
    uint32_t text;
    uint32_t dimmed;  // the per-channel average of text and background
};

// The width x height area split into the zones, for a board with two zones on.
ZonesLayout zones_layout(int width, int height, const BoardSettings& settings);

// Top-left corner of slot k's cell in the zone's grid. k must be below zone.grid.cells.
CellOrigin zone_cell_origin(const ZoneLayout& zone, int k);

// The proportions above as one JSON object, for the web page to draw the same picture.
std::string zones_layout_json();

struct DrawnText {
    const char* text;
    int length;
};

// The text shown for one slot: at most its first 9 bytes up to a NUL, without a leading '#'.
// Points into the slot.
DrawnText drawn_text(const char (&slot)[kSlotSize]);

// The widest text on the board at a font height, as the painter measures it in the font it draws
// with: its width in pixels and how many characters it has (0 and 0 on an empty board).
struct TextWidth {
    int width;
    int characters;
};
using WidestText = TextWidth (*)(void* context, int height);

// Whether a text fits a cell with room to spare: its width plus a quarter of one of its
// characters' width is at most the cell's, so neighbouring numbers never touch.
bool fits_cell(TextWidth text, int cell_width);

// With fit_text on: the described height when the widest text fits the cell at it, otherwise the
// largest smaller height at which it does (1 at the least), found by a binary search over
// measured widths. A height of 0 or less (the font system's default) is left alone.
int fit_font_height(int described, int cell_width, WidestText widest, void* context);

// What a toolkit does for the draw loop; `context` is passed back to each call.
struct Painter {
    void* context;
    // Fills width x height pixels from x, y in a packed colour.
    void (*fill)(void* context, int x, int y, int width, int height, uint32_t colour);
    // Chooses the board's font at a height (the character cell's pixels; 0 or less: the font
    // system's default) for the texts measured and drawn after it.
    void (*font)(void* context, int height);
    // The width in pixels of a text of `length` bytes in the chosen font.
    int (*measure)(void* context, const char* text, int length);
    // Draws a text of `length` bytes (0 for an empty slot) with its box's top-left at x, y: the
    // ink on an opaque box of the box colour.
    void (*text)(void* context, int x, int y, const char* text, int length, uint32_t ink,
                 uint32_t box);
};

// Draws the whole width x height area: the background, then with fit_text the font fitted to the
// widest text, then every active slot's text at its cell's top-left, column by column, and the
// highlighted cell filled with the text colour and its number in the background's. With two
// zones on, the same in each zone of zones_layout below its named band: the preparing numbers
// smaller and dimmed, each ready number inset by the overdue frame's width and, once overdue and
// not highlighted, framed in the text colour.
void draw_board_with(const Painter& painter, int width, int height, const BoardCopy& copy);
