// The board drawn with cairo and Pango: background, then every slot's text at its cell's top-left
// corner, column by column, each on an opaque box of the background colour, as GDI draws it.
#include "ui/paint_cairo.h"

#include <pango/pangocairo.h>

#include "ui/draw.h"

namespace {

constexpr const char kFace[] = "Liberation Mono";
// Liberation Mono's ascent plus descent, in font units of its 2048-unit em: GDI's positive font
// height asks for a character cell of that many pixels, Pango for an em of the given size.
constexpr double kCellPerEm = 2320.0 / 2048.0;

void set_colour(cairo_t* cr, uint32_t colour) {
    cairo_set_source_rgb(cr, (colour & 0xFFu) / 255.0, ((colour >> 8) & 0xFFu) / 255.0,
                         ((colour >> 16) & 0xFFu) / 255.0);
}

void draw_texts(cairo_t* cr, const BoardLayout& layout, const SlotTable& table) {
    PangoLayout* text = pango_cairo_create_layout(cr);
    PangoFontDescription* font = pango_font_description_new();
    pango_font_description_set_family(font, kFace);
    // A height of 0 asks the font system for its own size, as GDI does.
    if (layout.font_height > 0) {
        pango_font_description_set_absolute_size(font,
                                                 layout.font_height / kCellPerEm * PANGO_SCALE);
    }
    pango_layout_set_font_description(text, font);
    for (int k = 0; k < layout.cells; ++k) {
        const DrawnText shown = drawn_text(table.slots[k]);
        if (shown.length == 0) {
            continue;
        }
        const CellOrigin origin = cell_origin(layout, k);
        pango_layout_set_text(text, shown.text, shown.length);
        int width = 0;
        int height = 0;
        pango_layout_get_pixel_size(text, &width, &height);
        // Opaque: a text running on into the next column is covered by that column's boxes.
        set_colour(cr, layout.background);
        cairo_rectangle(cr, origin.x, origin.y, width, height);
        cairo_fill(cr);
        set_colour(cr, layout.text);
        cairo_move_to(cr, origin.x, origin.y);
        pango_cairo_show_layout(cr, text);
    }
    pango_font_description_free(font);
    g_object_unref(text);
}

}  // namespace

void draw_board(cairo_t* cr, int width, int height, const BoardCopy& copy) {
    const BoardLayout layout = board_layout(width, height, copy.settings);
    set_colour(cr, layout.background);
    cairo_rectangle(cr, 0, 0, width, height);
    cairo_fill(cr);
    // A degenerate grid (no rows or columns, or cells under a pixel) shows the background alone.
    if (layout.cells > 0) {
        draw_texts(cr, layout, copy.table);
    }
}
