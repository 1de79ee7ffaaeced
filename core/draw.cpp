// The board's picture as numbers: how the client area splits into cells, how large the digits
// are, which colours and which text each cell gets.
#include "core/draw.h"

#include <cstring>

uint32_t pack_colour(int32_t red, int32_t green, int32_t blue) {
    const auto low8 = [](int32_t field) { return static_cast<uint32_t>(field) & 0xFFu; };
    return low8(red) + low8(green) * 256u + low8(blue) * 65536u;
}

int font_height(int cell_height) {
    // Each product is cut towards zero before it is used further; for every cell height a
    // window can have this equals the integer floor(floor(9 * ch / 10) * 8 / 10).
    const int ninety = static_cast<int>(cell_height * 0.9);
    return static_cast<int>(ninety * 0.8);
}

BoardLayout board_layout(int width, int height, const BoardSettings& settings) {
    BoardLayout layout{};
    layout.background = pack_colour(settings.back_red, settings.back_green, settings.back_blue);
    layout.text = pack_colour(settings.text_red, settings.text_green, settings.text_blue);
    if (settings.rows <= 0 || settings.columns <= 0 || width <= 0 || height <= 0) {
        return layout;
    }
    layout.rows = settings.rows;
    layout.cell_width = width / settings.columns;
    layout.cell_height = height / settings.rows;
    layout.font_height = font_height(layout.cell_height);
    if (layout.cell_width > 0 && layout.cell_height > 0) {
        // Cells past the 100th have no slot behind them and stay background.
        layout.cells = active_count(settings.rows, settings.columns);
    }
    return layout;
}

CellOrigin cell_origin(const BoardLayout& layout, int k) {
    const int column = k / layout.rows;
    const int row = k % layout.rows;
    return CellOrigin{column * layout.cell_width, row * layout.cell_height};
}

DrawnText drawn_text(const char (&slot)[kSlotSize]) {
    const char* text = slot;
    size_t length = strnlen(slot, kMaxTextLength);
    if (length > 0 && text[0] == '#') {
        ++text;
        --length;
    }
    return DrawnText{text, static_cast<int>(length)};
}

bool fits_cell(TextWidth text, int cell_width) {
    if (text.characters <= 0) {
        return true;
    }
    // width + width / characters / 4 <= cell_width, without rounding.
    const int64_t spare = static_cast<int64_t>(cell_width) - text.width;
    return 4 * text.characters * spare >= text.width;
}

int fit_font_height(int described, int cell_width, WidestText widest, void* context) {
    if (described <= 1 || fits_cell(widest(context, described), cell_width)) {
        return described;
    }
    // Invariant: `fits` fits (or is the floor of 1), `too_wide` does not.
    int fits = 1;
    int too_wide = described;
    while (too_wide - fits > 1) {
        const int middle = fits + (too_wide - fits) / 2;
        if (fits_cell(widest(context, middle), cell_width)) {
            fits = middle;
        } else {
            too_wide = middle;
        }
    }
    return fits;
}

namespace {

struct Measuring {
    const Painter* painter;
    const BoardLayout* layout;
    const SlotTable* table;
};

// The widest drawn text on the board in the board's font at `height`, as the painter measures it.
TextWidth widest_text(void* context, int height) {
    const Measuring& m = *static_cast<const Measuring*>(context);
    m.painter->font(m.painter->context, height);
    TextWidth widest{0, 0};
    for (int k = 0; k < m.layout->cells; ++k) {
        const DrawnText shown = drawn_text(m.table->slots[k]);
        if (shown.length == 0) {
            continue;
        }
        const int width = m.painter->measure(m.painter->context, shown.text, shown.length);
        if (width > widest.width) {
            widest = TextWidth{width, shown.length};
        }
    }
    return widest;
}

}  // namespace

void draw_board_with(const Painter& painter, int width, int height, const BoardCopy& copy) {
    const BoardLayout layout = board_layout(width, height, copy.settings);
    painter.fill(painter.context, 0, 0, width, height, layout.background);
    // A degenerate grid (no rows or columns, or cells under a pixel) shows the background alone.
    if (layout.cells == 0) {
        return;
    }
    int font = layout.font_height;
    if (copy.extensions.fit_text) {
        Measuring measuring{&painter, &layout, &copy.table};
        font = fit_font_height(font, layout.cell_width, widest_text, &measuring);
    }
    painter.font(painter.context, font);
    // Only the highlight's switch lets a copy's named slot show: a copy made by hand may name one.
    const int highlighted = copy.extensions.highlight_ms > 0 ? copy.highlighted : -1;
    for (int k = 0; k < layout.cells; ++k) {
        const CellOrigin origin = cell_origin(layout, k);
        const DrawnText shown = drawn_text(copy.table.slots[k]);
        if (k == highlighted) {
            painter.fill(painter.context, origin.x, origin.y, layout.cell_width, layout.cell_height,
                         layout.text);
            painter.text(painter.context, origin.x, origin.y, shown.text, shown.length,
                         layout.background, layout.text);
        } else {
            painter.text(painter.context, origin.x, origin.y, shown.text, shown.length, layout.text,
                         layout.background);
        }
    }
}

bool overdue_slot(const BoardCopy& copy, int k) {
    return copy.extensions.zones && copy.extensions.overdue_ms > 0 && k >= 0 && k < kSlotCount &&
           copy.table.slots[k][0] != '\0' &&
           copy.now_ms - copy.arrivals.ms[k] >= copy.extensions.overdue_ms;
}
