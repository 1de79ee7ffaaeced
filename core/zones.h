// Numbers on their way: with two zones on, a number is first being prepared, then ready (the
// board's table, as ever), and stands in one zone at a time. Also the undo of what staff or a till
// took off by mistake. Portable: no platform headers.
#pragma once

#include <cstdint>

#include "core/board.h"

// Whether one of the first `active` entries equals `text` byte for byte.
bool holds_text(const SlotTable& table, int active, const char* text);

// The preparing zone holds as many numbers as the ready grid, oldest first from slot 0, the
// oldest dropped when a new one comes to a full zone. A number already there stays where it is.
// The text is taken off the ready zone. Returns whether either zone changed.
bool prepare_text(SlotTable& ready, ArrivalTimes* times, SlotTable& preparing, int active,
                  const char* text);

// One entry taken off the board, where it stood.
struct UndoItem {
    char text[kSlotSize];
    bool preparing;   // its zone
    int index;        // its place in that zone's order
    int64_t arrived;  // with a ready entry, when it became ready
};

// What one removal or clear took, in the zones' order.
struct UndoStep {
    int count;
    UndoItem items[2 * kSlotCount];
};

// The last kUndoSteps removals and clears (expiry is no mistake to undo), newest last.
constexpr int kUndoSteps = 10;
struct UndoLog {
    int count;
    int newest;  // the ring's index of the newest step
    UndoStep steps[kUndoSteps];
};

// Takes every active entry equal to `text` off both zones, or with `text` null every entry, and
// remembers them in `undo` as one step (none when nothing went). `times` may be null. Returns how
// many went.
int take_off(SlotTable& ready, ArrivalTimes* times, SlotTable& preparing, int active,
             const char* text, UndoLog& undo);

// Puts the newest step's entries back where they were, zone and order, except those put up again
// since, closing the step. A full zone drops its oldest for each. Returns whether the board
// changed; false also with nothing to undo.
bool undo_last(SlotTable& ready, ArrivalTimes* times, SlotTable& preparing, int active,
               UndoLog& undo);
