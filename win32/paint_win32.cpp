// The board drawn with GDI: background, then every slot's text at its cell's top-left corner,
// column by column. Nothing is kept between paints.
#include "win32/paint_win32.h"

#include <cstring>

#include "core/draw.h"
#include "live/controller.h"
#ifdef PELIVOR_PAINT_TIMESTAMPS
#include "win32/paint_timestamps.h"
#endif

namespace {

HFONT create_board_font(int height) {
    LOGFONTA description{};
    description.lfHeight = height;  // positive: the character cell's height in pixels
    description.lfPitchAndFamily = FIXED_PITCH | FF_MODERN;
    std::strcpy(description.lfFaceName, "Arial CE");
    return CreateFontIndirectA(&description);
}

struct Measuring {
    HDC dc;
    const BoardLayout* layout;
    const SlotTable* table;
};

// The widest drawn text on the board in the board's font at `height`, as GDI measures it.
TextWidth widest_text(void* context, int height) {
    const Measuring& m = *static_cast<const Measuring*>(context);
    TextWidth widest{0, 0};
    HFONT font = create_board_font(height);
    if (!font) {
        return widest;
    }
    HGDIOBJ previous = SelectObject(m.dc, font);
    for (int k = 0; k < m.layout->cells; ++k) {
        const DrawnText shown = drawn_text(m.table->slots[k]);
        SIZE size{};
        if (shown.length > 0 && GetTextExtentPoint32A(m.dc, shown.text, shown.length, &size) &&
            size.cx > widest.width) {
            widest = TextWidth{size.cx, shown.length};
        }
    }
    SelectObject(m.dc, previous);
    DeleteObject(font);
    return widest;
}

// The newest cell of a highlight: filled with the text colour, its number in the background's.
void draw_highlighted(HDC dc, const BoardLayout& layout, const CellOrigin& origin,
                      const DrawnText& shown) {
    const RECT cell{origin.x, origin.y, origin.x + layout.cell_width,
                    origin.y + layout.cell_height};
    HBRUSH brush = CreateSolidBrush(layout.text);
    if (brush) {
        FillRect(dc, &cell, brush);
        DeleteObject(brush);
    }
    SetTextColor(dc, layout.background);
    SetBkColor(dc, layout.text);
    TextOutA(dc, origin.x, origin.y, shown.text, shown.length);
    SetTextColor(dc, layout.text);
    SetBkColor(dc, layout.background);
}

void draw_texts(HDC dc, const BoardLayout& layout, const BoardCopy& copy) {
    const SlotTable& table = copy.table;
    int height = layout.font_height;
    if (copy.extensions.fit_text) {
        Measuring measuring{dc, &layout, &table};
        height = fit_font_height(height, layout.cell_width, widest_text, &measuring);
    }
    HFONT font = create_board_font(height);
    HGDIOBJ previous_font = font ? SelectObject(dc, font) : nullptr;
    SetTextColor(dc, layout.text);
    // The background mode stays opaque: each string's box is filled with the background colour.
    SetBkColor(dc, layout.background);
    SetTextAlign(dc, 0);  // TA_LEFT | TA_TOP | TA_NOUPDATECP
    const int highlighted = copy.extensions.highlight_ms > 0 ? copy.highlighted : -1;
    for (int k = 0; k < layout.cells; ++k) {
        const CellOrigin origin = cell_origin(layout, k);
        const DrawnText shown = drawn_text(table.slots[k]);
        if (k == highlighted) {
            draw_highlighted(dc, layout, origin, shown);
        } else {
            TextOutA(dc, origin.x, origin.y, shown.text, shown.length);
        }
    }
    if (previous_font) {
        SelectObject(dc, previous_font);
    }
    if (font) {
        DeleteObject(font);
    }
}

}  // namespace

void draw_board(HDC dc, int width, int height, const BoardCopy& copy) {
    if (!dc) {
        return;
    }
    const BoardLayout layout = board_layout(width, height, copy.settings);
    const RECT whole{0, 0, width, height};
    HBRUSH brush = CreateSolidBrush(layout.background);
    HGDIOBJ previous_brush = brush ? SelectObject(dc, brush) : nullptr;
    if (brush) {
        FillRect(dc, &whole, brush);
    }
    // A degenerate grid (no rows or columns, or cells under a pixel) shows the background alone.
    if (layout.cells > 0) {
        draw_texts(dc, layout, copy);
    }
    if (previous_brush) {
        SelectObject(dc, previous_brush);
    }
    if (brush) {
        DeleteObject(brush);
    }
}

void paint_board(HWND window) {
    PAINTSTRUCT paint{};
    HDC dc = BeginPaint(window, &paint);
    // Copied only once BeginPaint has validated the window and the pending request is cleared: a
    // text accepted before that is in the copy, and one accepted after it invalidates the window
    // again and brings another paint. A copy taken earlier could miss a text whose repaint
    // request BeginPaint then swallowed. The lock is held for the copy only, never for drawing.
    const BoardCopy copy = controller_paint_begun(board_controller());
    RECT client{};
    GetClientRect(window, &client);
    draw_board(dc, client.right, client.bottom, copy);
    EndPaint(window, &paint);
#ifdef PELIVOR_PAINT_TIMESTAMPS
    log_paint(copy);
#endif
}
