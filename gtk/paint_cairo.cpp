// The board drawn with cairo and Pango: the draw loop of core/draw.h over a painter of filled
// rectangles and Pango layouts, each text on an opaque box, as GDI draws it.
#include "gtk/paint_cairo.h"

#include <pango/pangocairo.h>

#include "core/draw.h"

namespace {

constexpr const char kFace[] = "Liberation Mono";
// Liberation Mono's ascent plus descent, in font units of its 2048-unit em: GDI's positive font
// height asks for a character cell of that many pixels, Pango for an em of the given size.
constexpr double kCellPerEm = 2320.0 / 2048.0;

void set_colour(cairo_t* cr, uint32_t colour) {
    cairo_set_source_rgb(cr, (colour & 0xFFu) / 255.0, ((colour >> 8) & 0xFFu) / 255.0,
                         ((colour >> 16) & 0xFFu) / 255.0);
}

PangoFontDescription* board_font(int height) {
    PangoFontDescription* font = pango_font_description_new();
    pango_font_description_set_family(font, kFace);
    // A height of 0 asks the font system for its own size, as GDI does.
    if (height > 0) {
        pango_font_description_set_absolute_size(font, height / kCellPerEm * PANGO_SCALE);
    }
    return font;
}

// One PangoLayout carries the chosen font through measuring and drawing.
struct CairoPainter {
    cairo_t* cr;
    PangoLayout* text;
};

void fill_area(void* context, int x, int y, int width, int height, uint32_t colour) {
    cairo_t* cr = static_cast<CairoPainter*>(context)->cr;
    set_colour(cr, colour);
    cairo_rectangle(cr, x, y, width, height);
    cairo_fill(cr);
}

void choose_font(void* context, int height) {
    PangoFontDescription* font = board_font(height);
    pango_layout_set_font_description(static_cast<CairoPainter*>(context)->text, font);
    pango_font_description_free(font);
}

int measure_text(void* context, const char* text, int length) {
    PangoLayout* layout = static_cast<CairoPainter*>(context)->text;
    pango_layout_set_text(layout, text, length);
    int width = 0;
    pango_layout_get_pixel_size(layout, &width, nullptr);
    return width;
}

void draw_text(void* context, int x, int y, const char* text, int length, uint32_t ink,
               uint32_t box) {
    if (length == 0) {
        return;
    }
    const CairoPainter& p = *static_cast<CairoPainter*>(context);
    pango_layout_set_text(p.text, text, length);
    int width = 0;
    int height = 0;
    pango_layout_get_pixel_size(p.text, &width, &height);
    // Opaque: a text running on into the next column is covered by that column's boxes.
    fill_area(context, x, y, width, height, box);
    set_colour(p.cr, ink);
    cairo_move_to(p.cr, x, y);
    pango_cairo_show_layout(p.cr, p.text);
}

}  // namespace

void draw_board(cairo_t* cr, int width, int height, const BoardCopy& copy) {
    CairoPainter p{cr, pango_cairo_create_layout(cr)};
    draw_board_with(Painter{&p, fill_area, choose_font, measure_text, draw_text}, width, height,
                    copy);
    g_object_unref(p.text);
}
