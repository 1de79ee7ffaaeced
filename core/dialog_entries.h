// What the settings dialog's OK makes of the boxes as typed: the record to store, or the box the
// operator has to correct first. Portable, so the rule is tested without a window.
#pragma once

#include <cstdint>

#include "core/settings.h"

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

// The second dialog, "Obsluga zamówien": minutes before a number leaves, seconds of highlight,
// and three check boxes.
struct ServiceEntries {
    uint32_t expire_minutes;
    uint32_t highlight_seconds;
    bool chime;
    bool commands;
    bool fit_text;
};

// What the dialog shows for the fields the file holds: bounded as the board uses them, expiry in
// whole minutes rounded up.
ServiceEntries service_entries_of(const ExtensionFields& fields);

// The fields OK stores. An entry left as shown keeps the field as the file held it; a changed one
// is bounded (at most 24 hours, 1 hour of highlight) and a flag becomes 1 or 0.
ExtensionFields judge_service_entries(const ServiceEntries& entries, const ExtensionFields& loaded);

// A digits-only box of the second dialog read as a number; a number too large for 32 bits gives
// the largest there is, so it is bounded rather than taken as 0.
uint32_t service_entry_value(const char* text);

// An edit box's text read as an unsigned decimal number: empty, not all digits, or above
// 4294967295 gives 0, as the Windows dialog reads its boxes.
uint32_t entry_value(const char* text);
