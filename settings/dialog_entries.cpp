// The settings dialog's OK rule: the two reductions, and refusing an empty grid.
#include "settings/dialog_entries.h"

#include "res/resource.h"

EntriesVerdict judge_entries(const DialogEntries& entries) {
    EntriesVerdict verdict{};
    BoardSettings& s = verdict.settings;
    s.rows = reduce_grid_entry(entries.rows);
    s.columns = reduce_grid_entry(entries.columns);
    s.back_red = reduce_colour_entry(entries.back_red);
    s.back_green = reduce_colour_entry(entries.back_green);
    s.back_blue = reduce_colour_entry(entries.back_blue);
    s.text_red = reduce_colour_entry(entries.text_red);
    s.text_green = reduce_colour_entry(entries.text_green);
    s.text_blue = reduce_colour_entry(entries.text_blue);
    s.show_frame = entries.show_frame ? 1 : 0;
    if (s.rows == 0) {
        verdict.refused_box = IDC_ROWS;
    } else if (s.columns == 0) {
        verdict.refused_box = IDC_COLUMNS;
    }
    return verdict;
}

uint32_t entry_value(const char* text) {
    uint64_t value = 0;
    for (const char* c = text; *c != '\0'; ++c) {
        if (*c < '0' || *c > '9') {
            return 0;
        }
        value = value * 10 + static_cast<uint64_t>(*c - '0');
        if (value > UINT32_MAX) {
            return 0;
        }
    }
    return static_cast<uint32_t>(value);
}
