// What the two dialogs show for the fields of "setup.dat" and what their OK makes of the boxes as
// typed, row by row of core/setting_fields.h: the record to store, or the field whose box the
// operator has to correct first. Portable, so the rules are tested without a window.
#pragma once

#include <cstdint>

#include "core/setting_fields.h"

// The settings dialog's boxes, one per record row in the table's order: an edit box read as an
// unsigned number (empty or unreadable: 0), a check box as 1 or 0.
struct DialogEntries {
    uint32_t box[kRecordFieldCount];
};

struct EntriesVerdict {
    // kNoField when `settings` is to be stored; otherwise the row of the box to send the focus to.
    int refused;
    BoardSettings settings;
};

// What the settings dialog shows: a field as its unsigned 32-bit pattern, as the boxes take digits
// only; the check box checked for any field but 0.
DialogEntries entries_of(const BoardSettings& settings);

// Grid entries keep the remainder of division by 11 and colours their low 8 bits; the check box
// stores 1 or 0. A grid with no rows or no columns would show nothing, so it is refused, rows
// checked first.
EntriesVerdict judge_entries(const DialogEntries& entries);

// The second dialog, "Obsluga zamówien": one entry per tail row, minutes before a number leaves,
// seconds of highlight, three check boxes, the web page's port and the staff PIN, the zones' check
// box and the seconds before a waiting number is cued. A row shown in no dialog has no box, and
// its entry is never read.
struct ServiceEntries {
    uint32_t box[kTailFieldCount];
};

// What the dialog shows for the fields the file holds: bounded as the board uses them, expiry in
// whole minutes rounded up, a port the board counts as off as 0, the PIN as held.
ServiceEntries service_entries_of(const ExtensionFields& fields);

// The fields OK stores. An entry left as shown keeps the field as the file held it; a changed one
// is bounded (at most 24 hours, 1 hour of highlight or of waiting), a flag becomes 1 or 0, a port
// above 65535 0 (off), and the PIN is stored as typed. A field no dialog shows stays as loaded.
ExtensionFields judge_service_entries(const ServiceEntries& entries, const ExtensionFields& loaded);

// What the second dialog says, once, when its OK stored a web port that cannot be bound; the next
// OK closes it, the board running without the web side.
constexpr const char kWebPortRefused[] = "Port zajety lub niedostepny";

// A digits-only box of the second dialog read as a number; a number too large for 32 bits gives
// the largest there is, so it is bounded rather than taken as 0.
uint32_t service_entry_value(const char* text);

// An edit box's text read as an unsigned decimal number: empty, not all digits, or above
// 4294967295 gives 0, as the Windows dialog reads its boxes.
uint32_t entry_value(const char* text);

// A box's text read as its dialog reads it: the settings dialog's as entry_value, the second
// dialog's as service_entry_value.
uint32_t box_value(int field, const char* text);
