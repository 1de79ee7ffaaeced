// The board drawn with cairo and Pango: background, then every slot's text at its cell's top-left
// corner, column by column, each on an opaque box of the background colour, as GDI draws it.
#include "gtk/paint_cairo.h"

#include <pango/pangocairo.h>

#include <utility>

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

struct Measuring {
    PangoLayout* text;
    const BoardLayout* layout;
    const SlotTable* table;
};

// The widest drawn text on the board in the board's font at `height`, as Pango lays it out.
TextWidth widest_text(void* context, int height) {
    const Measuring& m = *static_cast<const Measuring*>(context);
    PangoFontDescription* font = board_font(height);
    pango_layout_set_font_description(m.text, font);
    pango_font_description_free(font);
    TextWidth widest{0, 0};
    for (int k = 0; k < m.layout->cells; ++k) {
        const DrawnText shown = drawn_text(m.table->slots[k]);
        if (shown.length == 0) {
            continue;
        }
        pango_layout_set_text(m.text, shown.text, shown.length);
        int width = 0;
        pango_layout_get_pixel_size(m.text, &width, nullptr);
        if (width > widest.width) {
            widest = TextWidth{width, shown.length};
        }
    }
    return widest;
}

void draw_texts(cairo_t* cr, const BoardLayout& layout, const BoardCopy& copy) {
    const SlotTable& table = copy.table;
    PangoLayout* text = pango_cairo_create_layout(cr);
    int height = layout.font_height;
    if (copy.extensions.fit_text) {
        Measuring measuring{text, &layout, &table};
        height = fit_font_height(height, layout.cell_width, widest_text, &measuring);
    }
    PangoFontDescription* font = board_font(height);
    pango_layout_set_font_description(text, font);
    const int highlighted = copy.extensions.highlight_ms > 0 ? copy.highlighted : -1;
    for (int k = 0; k < layout.cells; ++k) {
        const DrawnText shown = drawn_text(table.slots[k]);
        const CellOrigin origin = cell_origin(layout, k);
        // The newest cell of a highlight: filled with the text colour, its number in the
        // background's.
        uint32_t box = layout.background;
        uint32_t ink = layout.text;
        if (k == highlighted) {
            std::swap(box, ink);
            set_colour(cr, box);
            cairo_rectangle(cr, origin.x, origin.y, layout.cell_width, layout.cell_height);
            cairo_fill(cr);
        }
        if (shown.length == 0) {
            continue;
        }
        pango_layout_set_text(text, shown.text, shown.length);
        int width = 0;
        int text_height = 0;
        pango_layout_get_pixel_size(text, &width, &text_height);
        // Opaque: a text running on into the next column is covered by that column's boxes.
        set_colour(cr, box);
        cairo_rectangle(cr, origin.x, origin.y, width, text_height);
        cairo_fill(cr);
        set_colour(cr, ink);
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
        draw_texts(cr, layout, copy);
    }
}
