// The zones' moves and the undo ring, over the board's own slot rule (core/board.h).
#include "core/zones.h"

#include <cstring>

namespace {

int bounded(int active) {
    return active < 0 ? 0 : active > kSlotCount ? kSlotCount : active;
}

// Each entry's place is counted among the entries, not the slots: a grid made smaller and larger
// again can leave gaps, which the slot rule keeps and the place need not.
void remember(UndoStep& step, const SlotTable& table, const ArrivalTimes* times, int active,
              const char* text, bool preparing) {
    int place = 0;
    for (int k = 0; k < active; ++k) {
        if (table.slots[k][0] == '\0') {
            continue;
        }
        if (text == nullptr || std::strncmp(table.slots[k], text, kSlotSize) == 0) {
            UndoItem& item = step.items[step.count++];
            std::memcpy(item.text, table.slots[k], kSlotSize);
            item.preparing = preparing;
            item.index = place;
            item.arrived = times != nullptr ? times->ms[k] : 0;
        }
        ++place;
    }
}

// Puts `text` at `place` among the zone's entries (last when fewer stand), which then run
// unbroken from slot 0; a full zone drops its oldest.
void insert_at(SlotTable& table, ArrivalTimes* times, int active, int place, const char* text,
               int64_t arrived) {
    char entries[kSlotCount + 1][kSlotSize];
    int64_t at[kSlotCount + 1];
    int count = 0;
    for (int k = 0; k < active; ++k) {
        if (table.slots[k][0] != '\0') {
            if (count == place) {
                std::memcpy(entries[count], text, kSlotSize);
                at[count++] = arrived;
            }
            std::memcpy(entries[count], table.slots[k], kSlotSize);
            at[count++] = times != nullptr ? times->ms[k] : 0;
        }
    }
    if (count <= place) {
        std::memcpy(entries[count], text, kSlotSize);
        at[count++] = arrived;
    }
    const int dropped = count > active ? count - active : 0;
    for (int k = 0; k < active; ++k) {
        const int from = k + dropped;
        if (from < count) {
            std::memcpy(table.slots[k], entries[from], kSlotSize);
            if (times != nullptr) {
                times->ms[k] = at[from];
            }
        } else {
            table.slots[k][0] = '\0';
        }
    }
}

}  // namespace

bool holds_text(const SlotTable& table, int active, const char* text) {
    for (int k = 0; k < active; ++k) {
        if (table.slots[k][0] != '\0' && std::strncmp(table.slots[k], text, kSlotSize) == 0) {
            return true;
        }
    }
    return false;
}

bool prepare_text(SlotTable& ready, ArrivalTimes* times, SlotTable& preparing, int active,
                  const char* text) {
    active = bounded(active);
    if (active == 0 || text[0] == '\0' || strnlen(text, kSlotSize) > kMaxTextLength) {
        return false;
    }
    const bool was_ready = remove_text(ready, active, text, times) > 0;
    if (holds_text(preparing, active, text)) {
        return was_ready;
    }
    // The slot rule's own append, whose duplicate test cannot refuse what the zone does not hold.
    return accept_text(preparing, active, text) || was_ready;
}

int take_off(SlotTable& ready, ArrivalTimes* times, SlotTable& preparing, int active,
             const char* text, UndoLog& undo) {
    active = bounded(active);
    const int slot = (undo.newest + 1) % kUndoSteps;
    UndoStep& step = undo.steps[slot];
    step.count = 0;
    remember(step, ready, times, active, text, false);
    remember(step, preparing, nullptr, active, text, true);
    if (step.count == 0) {
        return 0;
    }
    undo.newest = slot;
    undo.count = undo.count < kUndoSteps ? undo.count + 1 : kUndoSteps;
    if (text != nullptr) {
        remove_text(ready, active, text, times);
        remove_text(preparing, active, text, nullptr);
    } else {
        clear_board(ready, active);
        clear_board(preparing, active);
    }
    return step.count;
}

bool undo_last(SlotTable& ready, ArrivalTimes* times, SlotTable& preparing, int active,
               UndoLog& undo) {
    active = bounded(active);
    if (undo.count == 0 || active == 0) {
        return false;
    }
    const UndoStep& step = undo.steps[undo.newest];
    undo.newest = (undo.newest + kUndoSteps - 1) % kUndoSteps;
    --undo.count;
    // Put up again since: it stays where the latest word put it. Decided before any goes back,
    // so a number that stood twice comes back twice.
    bool again[2 * kSlotCount];
    for (int i = 0; i < step.count; ++i) {
        again[i] = holds_text(ready, active, step.items[i].text) ||
                   holds_text(preparing, active, step.items[i].text);
    }
    bool changed = false;
    for (int i = 0; i < step.count; ++i) {
        const UndoItem& item = step.items[i];
        if (again[i]) {
            continue;
        }
        if (item.preparing) {
            insert_at(preparing, nullptr, active, item.index, item.text, 0);
        } else {
            insert_at(ready, times, active, item.index, item.text, item.arrived);
        }
        changed = true;
    }
    return changed;
}
