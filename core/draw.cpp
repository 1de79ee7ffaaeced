// The board's picture as numbers: how the client area splits into cells, how large the digits
// are, which colours and which text each cell gets.
#include "core/draw.h"

#include <algorithm>
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

namespace {

// The two colours half and half, each channel rounded down.
uint32_t mix(uint32_t a, uint32_t b) {
    uint32_t mixed = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        mixed |= ((((a >> shift) & 0xFFu) + ((b >> shift) & 0xFFu)) / 2) << shift;
    }
    return mixed;
}

}  // namespace

ZonesLayout zones_layout(int width, int height, const BoardSettings& settings) {
    ZonesLayout zones{};
    const BoardLayout colours = board_layout(0, 0, settings);
    zones.background = colours.background;
    zones.text = colours.text;
    zones.dimmed = mix(colours.text, colours.background);
    zones.preparing.ink = zones.dimmed;
    zones.ready.ink = zones.text;
    if (width <= 0 || height <= 0) {
        zones.preparing.grid = colours;
        zones.ready.grid = colours;
        return zones;
    }
    zones.band_height = std::min(height, std::max(height / kZoneBand, kZoneMinBand));
    zones.band_font = font_height(zones.band_height);
    zones.preparing.width = width / kZoneSplit;
    zones.ready.x = zones.preparing.width;
    zones.ready.width = width - zones.preparing.width;
    for (ZoneLayout* zone : {&zones.preparing, &zones.ready}) {
        zone->grid_y = zones.band_height;
        zone->grid = board_layout(zone->width, height - zones.band_height, settings);
    }
    zones.preparing.grid.font_height =
        zones.preparing.grid.font_height * kPreparingFontNumerator / kPreparingFontDenominator;
    // Never more than half the cell, so a frame stays inside its own cell.
    const BoardLayout& ready = zones.ready.grid;
    zones.frame = std::min({std::max(ready.cell_height / kOverdueFrame, kOverdueMinFrame),
                            ready.cell_height / 2, ready.cell_width / 2});
    return zones;
}

CellOrigin zone_cell_origin(const ZoneLayout& zone, int k) {
    const CellOrigin in_grid = cell_origin(zone.grid, k);
    return CellOrigin{zone.x + in_grid.x, zone.grid_y + in_grid.y};
}

std::string zones_layout_json() {
    std::string out = "{\"split\":" + std::to_string(kZoneSplit);
    out += ",\"band\":" + std::to_string(kZoneBand);
    out += ",\"band_min\":" + std::to_string(kZoneMinBand);
    out += ",\"preparing_font\":[" + std::to_string(kPreparingFontNumerator) + "," +
           std::to_string(kPreparingFontDenominator) + "]";
    out += ",\"frame\":" + std::to_string(kOverdueFrame);
    out += ",\"frame_min\":" + std::to_string(kOverdueMinFrame);
    out += ",\"titles\":[\"";
    out += kPreparingTitle;
    out += "\",\"";
    out += kReadyTitle;
    out += "\"]}";
    return out;
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
    int cells;
    const SlotTable* table;
};

// The widest drawn text on the board in the board's font at `height`, as the painter measures it.
TextWidth widest_text(void* context, int height) {
    const Measuring& m = *static_cast<const Measuring*>(context);
    m.painter->font(m.painter->context, height);
    TextWidth widest{0, 0};
    for (int k = 0; k < m.cells; ++k) {
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

struct Title {
    const Painter* painter;
    const char* text;
    int length;
};

TextWidth title_width(void* context, int height) {
    const Title& t = *static_cast<const Title*>(context);
    t.painter->font(t.painter->context, height);
    return TextWidth{t.painter->measure(t.painter->context, t.text, t.length), t.length};
}

// Both names at one height, the largest at which each fits its zone, centred in their bands.
void draw_titles(const Painter& painter, const ZonesLayout& zones) {
    Title titles[] = {{&painter, kPreparingTitle, static_cast<int>(sizeof kPreparingTitle) - 1},
                      {&painter, kReadyTitle, static_cast<int>(sizeof kReadyTitle) - 1}};
    const ZoneLayout* areas[] = {&zones.preparing, &zones.ready};
    int font = zones.band_font;
    for (int i = 0; i < 2; ++i) {
        font = std::min(font, fit_font_height(font, areas[i]->width, title_width, &titles[i]));
    }
    painter.font(painter.context, font);
    for (int i = 0; i < 2; ++i) {
        const int width = painter.measure(painter.context, titles[i].text, titles[i].length);
        painter.text(painter.context, areas[i]->x + std::max(0, (areas[i]->width - width) / 2),
                     std::max(0, (zones.band_height - font) / 2), titles[i].text, titles[i].length,
                     zones.text, zones.background);
    }
}

// One zone's numbers, its font fitted as the whole board's is, each text inset by `inset`, the
// highlighted cell (-1: none) as on the board without zones.
void draw_zone_numbers(const Painter& painter, const ZonesLayout& zones, const ZoneLayout& zone,
                       const SlotTable& table, int inset, bool fit, int highlighted) {
    if (zone.grid.cells == 0) {
        return;
    }
    int font = zone.grid.font_height;
    if (fit) {
        Measuring measuring{&painter, zone.grid.cells, &table};
        font = fit_font_height(font, zone.grid.cell_width - 2 * inset, widest_text, &measuring);
    }
    painter.font(painter.context, font);
    for (int k = 0; k < zone.grid.cells; ++k) {
        const CellOrigin o = zone_cell_origin(zone, k);
        const DrawnText shown = drawn_text(table.slots[k]);
        if (k == highlighted) {
            painter.fill(painter.context, o.x, o.y, zone.grid.cell_width, zone.grid.cell_height,
                         zones.text);
            painter.text(painter.context, o.x + inset, o.y + inset, shown.text, shown.length,
                         zones.background, zones.text);
        } else {
            painter.text(painter.context, o.x + inset, o.y + inset, shown.text, shown.length,
                         zone.ink, zones.background);
        }
    }
}

void draw_zones(const Painter& painter, int width, int height, const BoardCopy& copy) {
    const ZonesLayout zones = zones_layout(width, height, copy.settings);
    painter.fill(painter.context, 0, 0, width, height, zones.background);
    if (zones.band_height == 0) {
        return;
    }
    draw_titles(painter, zones);
    const bool fit = copy.extensions.fit_text;
    draw_zone_numbers(painter, zones, zones.preparing, copy.preparing, 0, fit, -1);
    // Every ready number sits inside the frame's width, so none moves when its frame appears.
    const ZoneLayout& ready = zones.ready;
    const int highlighted = copy.extensions.highlight_ms > 0 ? copy.highlighted : -1;
    draw_zone_numbers(painter, zones, ready, copy.table, zones.frame, fit, highlighted);
    // After every text, so a number running on past its cell never breaks a frame. The newest
    // number is hardly overdue; where both hold, its fill says more at a glance than a frame.
    const int w = ready.grid.cell_width;
    const int h = ready.grid.cell_height;
    const int f = zones.frame;
    for (int k = 0; k < ready.grid.cells && f > 0; ++k) {
        if (k == highlighted || !overdue_slot(copy, k)) {
            continue;
        }
        const CellOrigin o = zone_cell_origin(ready, k);
        painter.fill(painter.context, o.x, o.y, w, f, zones.text);
        painter.fill(painter.context, o.x, o.y + h - f, w, f, zones.text);
        painter.fill(painter.context, o.x, o.y + f, f, h - 2 * f, zones.text);
        painter.fill(painter.context, o.x + w - f, o.y + f, f, h - 2 * f, zones.text);
    }
}

}  // namespace

void draw_board_with(const Painter& painter, int width, int height, const BoardCopy& copy) {
    if (copy.extensions.zones) {
        draw_zones(painter, width, height, copy);
        return;
    }
    const BoardLayout layout = board_layout(width, height, copy.settings);
    painter.fill(painter.context, 0, 0, width, height, layout.background);
    // A degenerate grid (no rows or columns, or cells under a pixel) shows the background alone.
    if (layout.cells == 0) {
        return;
    }
    int font = layout.font_height;
    if (copy.extensions.fit_text) {
        Measuring measuring{&painter, layout.cells, &copy.table};
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
