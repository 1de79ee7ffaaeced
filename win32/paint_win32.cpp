// The board drawn with GDI: the draw loop of core/draw.h over a painter of brushes, one font and
// TextOutA. Nothing is kept between paints.
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

// The context's state through one draw, kept so that the calls are those GDI has always been
// given. The first fill is the background: its brush stays selected until the end. The texts'
// colours and alignment are set once, by the first text or the highlight's fill before it; a
// highlighted text sets its swapped colours and puts the usual ones back.
struct GdiPainter {
    HDC dc;
    uint32_t ink;  // the texts' usual colours
    uint32_t box;
    HBRUSH background = nullptr;
    HGDIOBJ previous_brush = nullptr;
    HFONT font = nullptr;
    HGDIOBJ previous_font = nullptr;
    bool texts_begun = false;
};

void begin_texts(GdiPainter& p) {
    if (p.texts_begun) {
        return;
    }
    p.texts_begun = true;
    SetTextColor(p.dc, p.ink);
    // The background mode stays opaque: each string's box is filled with the background colour.
    SetBkColor(p.dc, p.box);
    SetTextAlign(p.dc, 0);  // TA_LEFT | TA_TOP | TA_NOUPDATECP
}

void gdi_fill(void* context, int x, int y, int width, int height, uint32_t colour) {
    GdiPainter& p = *static_cast<GdiPainter*>(context);
    const RECT area{x, y, x + width, y + height};
    HBRUSH brush = CreateSolidBrush(colour);
    if (!brush) {
        return;
    }
    if (!p.background) {
        p.background = brush;
        p.previous_brush = SelectObject(p.dc, brush);
        FillRect(p.dc, &area, brush);
        return;
    }
    begin_texts(p);  // only the highlight's fill comes after the background's
    FillRect(p.dc, &area, brush);
    DeleteObject(brush);
}

void drop_font(GdiPainter& p) {
    if (p.previous_font) {
        SelectObject(p.dc, p.previous_font);
        p.previous_font = nullptr;
    }
    if (p.font) {
        DeleteObject(p.font);
        p.font = nullptr;
    }
}

void gdi_font(void* context, int height) {
    GdiPainter& p = *static_cast<GdiPainter*>(context);
    drop_font(p);
    p.font = create_board_font(height);
    p.previous_font = p.font ? SelectObject(p.dc, p.font) : nullptr;
}

int gdi_measure(void* context, const char* text, int length) {
    const GdiPainter& p = *static_cast<const GdiPainter*>(context);
    SIZE size{};
    return p.font && GetTextExtentPoint32A(p.dc, text, length, &size) ? size.cx : 0;
}

void gdi_text(void* context, int x, int y, const char* text, int length, uint32_t ink,
              uint32_t box) {
    GdiPainter& p = *static_cast<GdiPainter*>(context);
    begin_texts(p);
    if (ink == p.ink && box == p.box) {
        TextOutA(p.dc, x, y, text, length);
        return;
    }
    SetTextColor(p.dc, ink);
    SetBkColor(p.dc, box);
    TextOutA(p.dc, x, y, text, length);
    SetTextColor(p.dc, p.ink);
    SetBkColor(p.dc, p.box);
}

}  // namespace

void draw_board(HDC dc, int width, int height, const BoardCopy& copy) {
    if (!dc) {
        return;
    }
    const BoardLayout layout = board_layout(width, height, copy.settings);
    GdiPainter gdi{dc, layout.text, layout.background};
    draw_board_with(Painter{&gdi, gdi_fill, gdi_font, gdi_measure, gdi_text}, width, height, copy);
    drop_font(gdi);
    if (gdi.previous_brush) {
        SelectObject(dc, gdi.previous_brush);
    }
    if (gdi.background) {
        DeleteObject(gdi.background);
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
