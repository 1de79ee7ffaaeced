// What the settings dialog's OK makes of the boxes as typed: the record to store, or the box the
// operator has to correct first. Portable, so the rule is tested without a window.
#pragma once

#include <cstdint>

#include "settings/settings.h"

// The eight edit boxes read as unsigned numbers (empty or unreadable: 0), and the check box.
struct DialogEntries {
    uint32_t rows;
    uint32_t columns;
    uint32_t back_red;
    uint32_t back_green;
    uint32_t back_blue;
    uint32_t text_red;
    uint32_t text_green;
    uint32_t text_blue;
    bool show_frame;
};

struct EntriesVerdict {
    // 0 when `settings` is to be stored; otherwise the id of the box to send the focus to.
    int refused_box;
    BoardSettings settings;
};

// A grid with no rows or no columns would show nothing, so it is refused, rows checked first.
EntriesVerdict judge_entries(const DialogEntries& entries);

// An edit box's text read as an unsigned decimal number: empty, not all digits, or above
// 4294967295 gives 0, as the Windows dialog reads its boxes.
uint32_t entry_value(const char* text);
