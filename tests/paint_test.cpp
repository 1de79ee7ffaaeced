// The board drawn by GDI into a memory bitmap and read back pixel by pixel: colours, where ink
// falls, degenerate grids, objects handed back, and the window's own paint.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "core/draw.h"
#include "tests/board_pixels.h"
#include "win32/paint_win32.h"

namespace {

constexpr uint32_t kSentinel = RGB(255, 0, 255);

// A memory context drawing into a top-down 32-bit DIB section whose pixels the test reads.
struct Canvas {
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ previous = nullptr;
    uint32_t* bits = nullptr;
    int width = 0;
    int height = 0;

    Canvas(int w, int h) : width(w), height(h) {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = w;
        info.bmiHeader.biHeight = -h;  // negative: rows top to bottom
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        dc = CreateCompatibleDC(nullptr);
        void* memory = nullptr;
        bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &memory,
                                  nullptr,  // no file mapping
                                  0);
        bits = static_cast<uint32_t*>(memory);
        if (dc && bitmap) {
            previous = SelectObject(dc, bitmap);
            fill(kSentinel);
        }
    }
    ~Canvas() {
        if (previous) {
            SelectObject(dc, previous);
        }
        if (bitmap) {
            DeleteObject(bitmap);
        }
        if (dc) {
            DeleteDC(dc);
        }
    }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    bool ready() const { return dc && bitmap && bits; }

    // The DIB holds 0x00RRGGBB; the test speaks in the platform's 0x00BBGGRR colour values.
    uint32_t at(int x, int y) const {
        const uint32_t p = bits[static_cast<size_t>(y) * width + x];
        return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
    }
    void fill(uint32_t colour) {
        GdiFlush();
        const uint32_t p = (GetRValue(colour) << 16) | (GetGValue(colour) << 8) | GetBValue(colour);
        for (int i = 0; i < width * height; ++i) {
            bits[i] = p;
        }
    }
    void draw(const BoardCopy& copy) { draw(copy, width, height); }
    void draw(const BoardCopy& copy, int w, int h) {
        draw_board(dc, w, h, copy);
        GdiFlush();
    }
};

Ink ink_in(const Canvas& canvas, const RECT& area, uint32_t background, uint32_t text) {
    return ::ink_in(canvas, area.left, area.top, area.right, area.bottom, background, text);
}

RECT whole(const Canvas& canvas) {
    return RECT{0, 0, canvas.width, canvas.height};
}

BoardCopy full_board(int32_t rows, int32_t columns) {
    std::vector<std::string> texts;
    for (int k = 0; k < kSlotCount; ++k) {
        texts.push_back("8888");
    }
    return board(rows, columns, texts);
}

std::string describe(const Ink& ink) {
    if (ink.pixels == 0) {
        return "no ink";
    }
    return "ink x " + std::to_string(ink.left) + ".." + std::to_string(ink.right) + " y " +
           std::to_string(ink.top) + ".." + std::to_string(ink.bottom) + ", " +
           std::to_string(ink.pixels) + " pixels, " + std::to_string(ink.text_pixels) +
           " in the text colour";
}

}  // namespace

TEST(DrawBoard, DefaultGridShowsEachNumberInItsCell) {
    // Three pixels over in each direction: the leftover strips must stay background.
    Canvas canvas(963, 543);
    ASSERT_TRUE(canvas.ready());
    const BoardCopy copy = board(4, 2, {"1", "22", "#333", "", "4444", "", "5", ""});
    canvas.draw(copy);
    const BoardLayout layout = board_layout(963, 543, copy.settings);
    ASSERT_EQ(layout.cell_width, 481);
    ASSERT_EQ(layout.cell_height, 135);
    ASSERT_EQ(layout.font_height, 96);
    const uint32_t background = RGB(0, 50, 150);
    const uint32_t text = RGB(240, 240, 240);

    int ink_in_cells = 0;
    for (int k = 0; k < 8; ++k) {
        const CellOrigin origin = cell_origin(layout, k);
        const RECT cell{origin.x, origin.y, origin.x + layout.cell_width,
                        origin.y + layout.cell_height};
        const Ink ink = ink_in(canvas, cell, background, text);
        const int length = drawn_text(copy.table.slots[k]).length;
        ink_in_cells += ink.pixels;
        if (length == 0) {
            EXPECT_EQ(ink.pixels, 0) << "slot " << k << ": " << describe(ink);
            continue;
        }
        EXPECT_GT(ink.text_pixels, 0) << "slot " << k << ": " << describe(ink);
        // Digits of a 96-pixel character cell, drawn from the cell's top-left corner.
        EXPECT_GE(ink.top, origin.y) << "slot " << k;
        EXPECT_LE(ink.bottom, origin.y + layout.font_height)
            << "slot " << k << ": " << describe(ink);
        EXPECT_GE(ink.bottom - ink.top, layout.font_height / 2)
            << "slot " << k << ": " << describe(ink);
        EXPECT_LT(ink.left, origin.x + layout.font_height / 2) << "slot " << k;
        EXPECT_LE(ink.right - ink.left, length * layout.font_height) << "slot " << k;
    }
    EXPECT_GT(ink_in_cells, 0);
    // Everything else is the background: no pixel left unpainted, no ink outside the cells.
    const Ink everywhere = ink_in(canvas, whole(canvas), background, text);
    EXPECT_EQ(everywhere.pixels, ink_in_cells) << describe(everywhere);
    EXPECT_EQ(canvas.at(962, 542), background);
    EXPECT_EQ(canvas.at(962, 0), background);
    EXPECT_EQ(canvas.at(0, 542), background);
}

TEST(DrawBoard, CellsFillColumnByColumn) {
    // Each cell of a 2 x 3 grid of 100-pixel cells must look exactly like its digit drawn alone
    // in a one-cell board of the same size.
    Canvas canvas(300, 200);
    ASSERT_TRUE(canvas.ready());
    const BoardCopy copy = board(2, 3, {"1", "2", "3", "4", "5"});
    canvas.draw(copy);
    const uint32_t background = RGB(0, 50, 150);
    const char* expected[3][2] = {{"1", "2"}, {"3", "4"}, {"5", ""}};
    for (int c = 0; c < 3; ++c) {
        for (int r = 0; r < 2; ++r) {
            Canvas alone(100, 100);
            ASSERT_TRUE(alone.ready());
            alone.draw(board(1, 1, {expected[c][r]}));
            int differing = 0;
            for (int y = 0; y < 100; ++y) {
                for (int x = 0; x < 100; ++x) {
                    differing += canvas.at(c * 100 + x, r * 100 + y) != alone.at(x, y);
                }
            }
            EXPECT_EQ(differing, 0) << "column " << c << " row " << r;
        }
    }
    EXPECT_EQ(ink_in(canvas, RECT{200, 100, 300, 200}, background, 0).pixels, 0);
    EXPECT_GT(ink_in(canvas, RECT{200, 0, 300, 100}, background, 0).pixels, 0);
}

TEST(DrawBoard, LeadingHashIsNotDrawnAndInnerHashIs) {
    Canvas canvas(600, 100);
    ASSERT_TRUE(canvas.ready());
    canvas.draw(board(1, 3, {"#42", "42", "4#2"}));
    int same_as_plain = 0;
    int differs_from_plain = 0;
    for (int y = 0; y < 100; ++y) {
        for (int x = 0; x < 200; ++x) {
            same_as_plain += canvas.at(x, y) == canvas.at(200 + x, y);
            differs_from_plain += canvas.at(400 + x, y) != canvas.at(200 + x, y);
        }
    }
    EXPECT_EQ(same_as_plain, 200 * 100);
    EXPECT_GT(differs_from_plain, 0);
    const uint32_t background = RGB(0, 50, 150);
    EXPECT_GT(ink_in(canvas, RECT{200, 0, 400, 100}, background, 0).pixels, 0);
}

TEST(DrawBoard, LongTextsRunOnIntoTheNextColumnUnderItsOpaqueBoxes) {
    // Nine digits of a 72-pixel font are wider than a 200-pixel cell; nothing clips them.
    Canvas canvas(400, 100);
    ASSERT_TRUE(canvas.ready());
    canvas.draw(board(1, 2, {"123456789", ""}));
    const Ink spill = ink_in(canvas, RECT{200, 0, 400, 100}, RGB(0, 50, 150), RGB(240, 240, 240));
    EXPECT_GT(spill.text_pixels, 0) << describe(spill);

    // A text in the next column paints its whole character box in the background colour over
    // the spill, so inside that box it looks as if drawn alone.
    canvas.draw(board(1, 2, {"123456789", "5"}));
    Canvas alone(400, 100);
    ASSERT_TRUE(alone.ready());
    alone.draw(board(1, 2, {"", "5"}));
    SIZE box{};
    HGDIOBJ previous = SelectObject(alone.dc, GetStockObject(SYSTEM_FONT));
    LOGFONTA description{};
    description.lfHeight = 72;
    description.lfPitchAndFamily = FIXED_PITCH | FF_MODERN;
    std::strcpy(description.lfFaceName, "Arial CE");
    HFONT font = CreateFontIndirectA(&description);
    SelectObject(alone.dc, font);
    ASSERT_TRUE(GetTextExtentPoint32A(alone.dc, "5", 1, &box));
    SelectObject(alone.dc, previous);
    DeleteObject(font);
    ASSERT_GT(box.cx, 0);
    ASSERT_LE(box.cy, 100);
    int differing = 0;
    for (int y = 0; y < box.cy; ++y) {
        for (int x = 200; x < 200 + box.cx; ++x) {
            differing += canvas.at(x, y) != alone.at(x, y);
        }
    }
    EXPECT_EQ(differing, 0) << "box " << box.cx << " x " << box.cy;
}

TEST(DrawBoard, HighlightSwapsTheColoursOfTheNewestCellOnly) {
    Canvas canvas(400, 200);
    ASSERT_TRUE(canvas.ready());
    const uint32_t background = RGB(0, 50, 150);
    const uint32_t text = RGB(240, 240, 240);
    BoardCopy copy = board(2, 2, {"11", "22", "33"});
    copy.extensions.highlight_ms = 5000;
    copy.highlighted = 2;
    canvas.draw(copy);
    // The third cell (second column, top) is filled with the text colour, its digits in the
    // background colour; the others are drawn as ever.
    const RECT highlighted{200, 0, 400, 100};
    const Ink swapped = ink_in(canvas, highlighted, text, background);
    EXPECT_GT(swapped.text_pixels, 50) << describe(swapped);
    EXPECT_EQ(canvas.at(399, 99), text);
    EXPECT_EQ(canvas.at(399, 100), background);
    const Ink plain = ink_in(canvas, RECT{0, 0, 200, 100}, background, text);
    EXPECT_GT(plain.text_pixels, 50) << describe(plain);
    EXPECT_EQ(canvas.at(199, 99), background);

    // With the highlight off the same copy is drawn plain.
    copy.extensions.highlight_ms = 0;
    canvas.draw(copy);
    EXPECT_EQ(canvas.at(399, 99), background);
}

TEST(DrawBoard, FitKeepsTheWidestNumberInsideItsCell) {
    // 2 x 3 at 960 x 540: four digits at the described height run into the next column.
    Canvas canvas(960, 540);
    ASSERT_TRUE(canvas.ready());
    const uint32_t background = RGB(0, 50, 150);
    const uint32_t text = RGB(240, 240, 240);
    BoardCopy copy = board(2, 3, {"1011", "", "", "", "", ""});
    canvas.draw(copy);
    const Ink spilled = ink_in(canvas, RECT{320, 0, 640, 270}, background, text);
    ASSERT_GT(spilled.pixels, 0) << "the case must overflow without fit";
    const Ink tall = ink_in(canvas, RECT{0, 0, 320, 270}, background, text);

    copy.extensions.fit_text = true;
    canvas.fill(kSentinel);
    canvas.draw(copy);
    const Ink fitted = ink_in(canvas, RECT{0, 0, 320, 270}, background, text);
    EXPECT_EQ(ink_in(canvas, RECT{320, 0, 960, 540}, background, text).pixels, 0);
    EXPECT_LE(fitted.right, 320) << describe(fitted);
    // As large as fits: the ink reaches most of the way across, and only shrinks when it must.
    EXPECT_GT(fitted.right, 320 * 8 / 10) << describe(fitted);
    EXPECT_LT(fitted.bottom - fitted.top, tall.bottom - tall.top);

    // A number that already fits keeps the described height: the picture is as without fit.
    BoardCopy narrow = board(2, 3, {"1"});
    canvas.draw(narrow);
    Canvas fit_on(960, 540);
    ASSERT_TRUE(fit_on.ready());
    narrow.extensions.fit_text = true;
    fit_on.draw(narrow);
    int differing = 0;
    for (int y = 0; y < 540; ++y) {
        for (int x = 0; x < 960; ++x) {
            differing += canvas.at(x, y) != fit_on.at(x, y);
        }
    }
    EXPECT_EQ(differing, 0);
}

TEST(DrawBoard, ZonesShowNamesDimmedPreparingReadyAndOverdueFrames) {
    Canvas canvas(960, 540);
    ASSERT_TRUE(canvas.ready());
    expect_zones_picture(canvas);
}

TEST(DrawBoard, ColoursTakeTheLowEightBitsOfEachField) {
    Canvas canvas(200, 100);
    ASSERT_TRUE(canvas.ready());
    BoardCopy copy = board(1, 1, {"8"});
    copy.settings.back_red = 356;
    copy.settings.back_green = 1;
    copy.settings.back_blue = 2;
    copy.settings.text_red = -1;
    copy.settings.text_green = 256 + 7;
    copy.settings.text_blue = 3;
    canvas.draw(copy);
    const uint32_t background = RGB(100, 1, 2);
    const uint32_t text = RGB(255, 7, 3);
    EXPECT_EQ(canvas.at(199, 99), background);
    EXPECT_EQ(canvas.at(0, 0), background);
    const Ink ink = ink_in(canvas, whole(canvas), background, text);
    EXPECT_GT(ink.text_pixels, 0) << describe(ink);
}

TEST(DrawBoard, DegenerateGridsShowOnlyTheBackground) {
    const uint32_t background = RGB(0, 50, 150);
    struct Case {
        const char* what;
        int32_t rows;
        int32_t columns;
        int width;
        int height;
    };
    const Case cases[] = {
        {"no rows", 0, 2, 960, 540},
        {"negative columns", 4, -3, 960, 540},
        {"1000 x 1000 on 960 x 540", 1000, 1000, 960, 540},
        {"largest grid", INT32_MAX, INT32_MAX, 960, 540},
        {"client narrower than the columns", 4, 2, 1, 3},
        {"client lower than the rows", 4, 2, 960, 3},
    };
    for (const Case& c : cases) {
        Canvas canvas(c.width, c.height);
        ASSERT_TRUE(canvas.ready()) << c.what;
        canvas.draw(full_board(c.rows, c.columns));
        // The sentinel fill must be gone too: the background covers the whole client area.
        const Ink ink = ink_in(canvas, whole(canvas), background, 0);
        EXPECT_EQ(ink.pixels, 0) << c.what << ": " << describe(ink);
    }
}

TEST(DrawBoard, GridsBeyondTheSlotsLeaveTheRestEmpty) {
    // 20 x 20 on 960 x 540: cells of 48 x 27, font 19; only the first 100 cells (five columns)
    // have a slot behind them.
    Canvas canvas(960, 540);
    ASSERT_TRUE(canvas.ready());
    std::vector<std::string> texts;
    for (int k = 0; k < kSlotCount; ++k) {
        texts.push_back(std::to_string(k + 1));
    }
    const BoardCopy copy = board(20, 20, texts);
    canvas.draw(copy);
    const BoardLayout layout = board_layout(960, 540, copy.settings);
    ASSERT_EQ(layout.cell_width, 48);
    ASSERT_EQ(layout.cell_height, 27);
    ASSERT_EQ(layout.font_height, 19);
    const uint32_t background = RGB(0, 50, 150);
    const uint32_t text = RGB(240, 240, 240);
    int ink_in_cells = 0;
    for (int k = 0; k < kSlotCount; ++k) {
        const CellOrigin origin = cell_origin(layout, k);
        const RECT cell{origin.x, origin.y, origin.x + layout.cell_width,
                        origin.y + layout.cell_height};
        const Ink ink = ink_in(canvas, cell, background, text);
        EXPECT_GT(ink.text_pixels, 0) << "slot " << k << ": " << describe(ink);
        ink_in_cells += ink.pixels;
    }
    const Ink everywhere = ink_in(canvas, whole(canvas), background, text);
    EXPECT_EQ(everywhere.pixels, ink_in_cells) << "ink outside the cells of its column";
    const Ink beyond = ink_in(canvas, RECT{5 * 48, 0, 960, 540}, background, text);
    EXPECT_EQ(beyond.pixels, 0) << describe(beyond);
}

TEST(DrawBoard, HandsTheContextBackAsItFoundIt) {
    Canvas canvas(200, 100);
    ASSERT_TRUE(canvas.ready());
    const HGDIOBJ brush = GetCurrentObject(canvas.dc, OBJ_BRUSH);
    const HGDIOBJ font = GetCurrentObject(canvas.dc, OBJ_FONT);
    canvas.draw(board(1, 1, {"12"}));
    EXPECT_EQ(GetCurrentObject(canvas.dc, OBJ_BRUSH), brush);
    EXPECT_EQ(GetCurrentObject(canvas.dc, OBJ_FONT), font);
    canvas.draw(board(0, 1, {"12"}));
    EXPECT_EQ(GetCurrentObject(canvas.dc, OBJ_BRUSH), brush);
    EXPECT_EQ(GetCurrentObject(canvas.dc, OBJ_FONT), font);
}

namespace {

// What a recorded draw selected: every font it made, and the one in the context at each text.
struct FontRecord {
    std::vector<std::pair<DWORD, LOGFONTW>> made;  // handle index, description
    DWORD selected = 0;
    std::vector<LOGFONTW> at_text;
};

int CALLBACK note_font_records(HDC, HANDLETABLE*, const ENHMETARECORD* record, int, LPARAM param) {
    FontRecord& fonts = *reinterpret_cast<FontRecord*>(param);
    if (record->iType == EMR_EXTCREATEFONTINDIRECTW) {
        const auto* made = reinterpret_cast<const EMREXTCREATEFONTINDIRECTW*>(record);
        fonts.made.emplace_back(made->ihFont, made->elfw.elfLogFont);
    } else if (record->iType == EMR_SELECTOBJECT) {
        fonts.selected = reinterpret_cast<const EMRSELECTOBJECT*>(record)->ihObject;
    } else if (record->iType == EMR_EXTTEXTOUTW || record->iType == EMR_EXTTEXTOUTA) {
        for (const auto& made : fonts.made) {
            if (made.first == fonts.selected) {
                fonts.at_text.push_back(made.second);
            }
        }
    }
    return 1;
}

}  // namespace

// The font as the context received it, recorded by the system's own metafile context rather
// than rebuilt here from what the code is believed to ask for.
TEST(DrawBoard, TextIsDrawnInTheDescribedFont) {
    HDC recorder = CreateEnhMetaFileA(nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(recorder, nullptr);
    const BoardCopy copy = board(4, 2, {"57", "58"});
    draw_board(recorder, 960, 540, copy);
    HENHMETAFILE recording = CloseEnhMetaFile(recorder);
    ASSERT_NE(recording, nullptr);
    FontRecord fonts;
    EnumEnhMetaFile(nullptr, recording, note_font_records, &fonts, nullptr);
    DeleteEnhMetaFile(recording);

    ASSERT_GE(fonts.at_text.size(), 2u) << "no text drawn in a font of the draw's own";
    const int expected_height = board_layout(960, 540, copy.settings).font_height;
    for (const LOGFONTW& font : fonts.at_text) {
        EXPECT_EQ(std::wstring(font.lfFaceName), L"Arial CE");
        EXPECT_EQ(font.lfHeight, expected_height);
        EXPECT_EQ(font.lfWidth, 0);
        EXPECT_EQ(font.lfWeight, 0);
        EXPECT_EQ(font.lfCharSet, 0);
        EXPECT_EQ(font.lfPitchAndFamily, FIXED_PITCH | FF_MODERN);
        EXPECT_EQ(font.lfItalic, 0);
        EXPECT_EQ(font.lfUnderline, 0);
        EXPECT_EQ(font.lfStrikeOut, 0);
    }
}

TEST(DrawBoard, ManyDrawsLeakNoObjects) {
    // Wine's GetGuiResources reports 0; its handle table (about 65 000 GDI objects) does fill up.
    // So draw often enough that one leaked brush or font per draw would exhaust it, and check the
    // last picture against one drawn before: a missing brush leaves the fill undone, a missing
    // font draws the digits in the context's default font.
    Canvas canvas(80, 50);
    Canvas reference(80, 50);
    ASSERT_TRUE(canvas.ready());
    ASSERT_TRUE(reference.ready());
    constexpr int kDraws = 70000;
    BoardCopy copy = board(1, 1, {"78"});
    copy.settings.back_red = (kDraws - 1) & 0xFF;
    reference.draw(copy);
    const DWORD objects_before = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    for (int i = 0; i < kDraws; ++i) {
        copy.settings.back_red = i & 0xFF;
        draw_board(canvas.dc, canvas.width, canvas.height, copy);
    }
    GdiFlush();
    const DWORD objects_after = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    EXPECT_EQ(objects_after, objects_before);
    int differing = 0;
    for (int y = 0; y < canvas.height; ++y) {
        for (int x = 0; x < canvas.width; ++x) {
            differing += canvas.at(x, y) != reference.at(x, y);
        }
    }
    EXPECT_EQ(differing, 0);
    const uint32_t background = RGB((kDraws - 1) & 0xFF, 50, 150);
    EXPECT_GT(ink_in(canvas, whole(canvas), background, RGB(240, 240, 240)).text_pixels, 0);
}

namespace {

LRESULT CALLBACK board_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_PAINT) {
        paint_board(window);
        return 0;
    }
    return DefWindowProcA(window, message, wparam, lparam);
}

}  // namespace

TEST(PaintBoard, PaintsTheLiveBoardIntoTheWindow) {
    {
        LiveBoard& live = live_board();
        std::lock_guard<std::mutex> hold(live.lock);
        live.settings = default_settings();
        live.settings.rows = 2;
        live.settings.columns = 2;
        live.settings.back_red = 30;
        live.table = SlotTable{};
        std::strcpy(live.table.slots[0], "5");
        std::strcpy(live.table.slots[3], "#61");
    }
    const HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSA window_class{};
    window_class.lpfnWndProc = board_window_proc;
    window_class.hInstance = instance;
    window_class.lpszClassName = "PelivorPaintTest";
    ASSERT_TRUE(RegisterClassA(&window_class));
    HWND window = CreateWindowExA(0,                       // no extended style
                                  "PelivorPaintTest", "",  // class, title
                                  WS_POPUP | WS_VISIBLE,   // no frame: client = window
                                  0, 0, 300, 200,          // position and size
                                  nullptr, nullptr, instance,
                                  nullptr);  // no creation data
    ASSERT_NE(window, nullptr);
    UpdateWindow(window);  // the paint message, handled before it returns
    RECT left_to_paint{};
    EXPECT_FALSE(GetUpdateRect(window, &left_to_paint, FALSE));

    RECT client{};
    GetClientRect(window, &client);
    ASSERT_EQ(client.right, 300);
    ASSERT_EQ(client.bottom, 200);
    Canvas shown(300, 200);
    Canvas expected(300, 200);
    ASSERT_TRUE(shown.ready());
    ASSERT_TRUE(expected.ready());
    HDC window_dc = GetDC(window);
    BitBlt(shown.dc, 0, 0, 300, 200,  // destination and size
           window_dc, 0, 0, SRCCOPY);
    ReleaseDC(window, window_dc);
    GdiFlush();
    expected.draw(copy_board(live_board()));
    DestroyWindow(window);
    UnregisterClassA("PelivorPaintTest", instance);

    int differing = 0;
    for (int y = 0; y < 200; ++y) {
        for (int x = 0; x < 300; ++x) {
            differing += shown.at(x, y) != expected.at(x, y);
        }
    }
    EXPECT_EQ(differing, 0);
    const uint32_t background = RGB(30, 50, 150);
    const uint32_t text = RGB(240, 240, 240);
    EXPECT_GT(ink_in(shown, RECT{0, 0, 150, 100}, background, text).text_pixels, 0);
    EXPECT_EQ(ink_in(shown, RECT{0, 100, 150, 200}, background, text).pixels, 0);
    EXPECT_EQ(ink_in(shown, RECT{150, 0, 300, 100}, background, text).pixels, 0);
    EXPECT_GT(ink_in(shown, RECT{150, 100, 300, 200}, background, text).text_pixels, 0);
}

namespace {

// Set by the window procedure below as a paint begins, so the stand-in receiver can send its
// second text while the window thread is in the middle of paint_board.
std::atomic<bool> painting{false};

LRESULT CALLBACK racing_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_PAINT) {
        painting.store(true);
        paint_board(window);
        return 0;
    }
    return DefWindowProcA(window, message, wparam, lparam);
}

// Stands in for the receiver thread: each round applies "1" and asks for a repaint, waits for
// that paint to begin, lets a varying moment pass, then applies "888" and asks again.
struct Station {
    HWND window = nullptr;
    std::atomic<int> asked{0};
    std::atomic<int> served{0};
    std::atomic<bool> quit{false};
};

// As the receiver does: the text onto the board, then a repaint asked for when it was accepted.
void deliver(const Station& station, const char* text) {
    char buffer[4];
    std::strcpy(buffer, text);
    if (receive_text(live_board(), buffer, std::strlen(buffer))) {
        InvalidateRect(station.window, nullptr, FALSE);
    }
}

void station_main(Station& station) {
    std::minstd_rand random(20261208);
    int served = 0;
    while (!station.quit.load()) {
        if (station.asked.load() == served) {
            std::this_thread::yield();
            continue;
        }
        deliver(station, "1");
        const auto give_up = std::chrono::steady_clock::now() + std::chrono::milliseconds(50);
        while (!painting.load() && std::chrono::steady_clock::now() < give_up) {
        }
        for (volatile unsigned spin = random() % 20000; spin > 0; --spin) {
        }
        deliver(station, "888");
        station.served.store(++served);
    }
}

void pump_messages() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        DispatchMessageA(&message);
    }
}

}  // namespace

TEST(PaintBoard, TextAcceptedAsAPaintBeginsIsDrawn) {
    {
        LiveBoard& live = live_board();
        std::lock_guard<std::mutex> hold(live.lock);
        live.settings = default_settings();
        live.settings.rows = 1;
        live.settings.columns = 1;
        live.table = SlotTable{};
    }
    const HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSA window_class{};
    window_class.lpfnWndProc = racing_window_proc;
    window_class.hInstance = instance;
    window_class.lpszClassName = "PelivorPaintRace";
    ASSERT_TRUE(RegisterClassA(&window_class));
    Station station;
    station.window = CreateWindowExA(0,                       // no extended style
                                     "PelivorPaintRace", "",  // class, title
                                     WS_POPUP | WS_VISIBLE,   // no frame: client = window
                                     0, 0, 120, 60,           // position and size
                                     nullptr, nullptr, instance,
                                     nullptr);  // no creation data
    ASSERT_NE(station.window, nullptr);
    std::thread receiver(station_main, std::ref(station));
    Canvas shown(120, 60);
    Canvas expected(120, 60);
    ASSERT_TRUE(shown.ready());
    ASSERT_TRUE(expected.ready());
    // Each round ends with "888" on the board; the window must show it once the paints asked
    // for have been handled. The second text of a round lands at a varying moment of the paint
    // that the first one asked for.
    constexpr int kRounds = 300;
    int stale = 0;
    for (int round = 1; round <= kRounds; ++round) {
        painting.store(false);
        station.asked.store(round);
        while (station.served.load() < round) {
            pump_messages();
        }
        pump_messages();
        HDC window_dc = GetDC(station.window);
        BitBlt(shown.dc, 0, 0, 120, 60,  // destination and size
               window_dc, 0, 0, SRCCOPY);
        ReleaseDC(station.window, window_dc);
        GdiFlush();
        expected.draw(copy_board(live_board()));
        bool same = true;
        for (int y = 0; y < 60 && same; ++y) {
            for (int x = 0; x < 120 && same; ++x) {
                same = shown.at(x, y) == expected.at(x, y);
            }
        }
        stale += same ? 0 : 1;
    }
    station.quit.store(true);
    receiver.join();
    DestroyWindow(station.window);
    UnregisterClassA("PelivorPaintRace", instance);
    EXPECT_EQ(stale, 0) << "rounds whose last text was never drawn, of " << kRounds;
}
