// The board's update rule: duplicate test, append after the newest entry, drop the oldest entry of
// a full board, then close up any gaps so the entries run unbroken from slot 0. Removal, clearing
// and expiry empty entries and close up with the same compaction.
#include "core/board.h"

#include <cstring>

#include "core/protocol.h"

namespace {

bool slot_empty(const SlotTable& table, int k) {
    return table.slots[k][0] == '\0';
}

// The rule is written once; kTimed picks at compile time whether arrival times move with their
// entries, so the plain rule costs what it did before times existed.
template <bool kTimed>
void copy_slot(SlotTable& table, ArrivalTimes* times, int from, int to) {
    std::memcpy(table.slots[to], table.slots[from], kSlotSize);
    if (kTimed) {
        times->ms[to] = times->ms[from];
    }
}

void put_text(SlotTable& table, int k, const char* text, size_t length) {
    std::memcpy(table.slots[k], text, length);
    table.slots[k][length] = '\0';
}

template <bool kTimed>
void compact(SlotTable& table, ArrivalTimes* times, int active) {
    int i = 0;
    int removed = 0;
    while (removed < active && i < active) {
        if (!slot_empty(table, i)) {
            ++i;
            continue;
        }
        for (int j = i + 1; j < active; ++j) {
            copy_slot<kTimed>(table, times, j, j - 1);
        }
        table.slots[active - 1][0] = '\0';
        ++removed;
    }
}

int bounded_active(int active) {
    return active > kSlotCount ? kSlotCount : active;
}

// Empties the active entries `leaves` picks and closes up the rest.
template <typename Leaves>
int remove_where(SlotTable& table, ArrivalTimes* times, int active, Leaves leaves) {
    active = bounded_active(active);
    int removed = 0;
    for (int k = 0; k < active; ++k) {
        if (!slot_empty(table, k) && leaves(k)) {
            table.slots[k][0] = '\0';
            ++removed;
        }
    }
    if (removed > 0) {
        if (times != nullptr) {
            compact<true>(table, times, active);
        } else {
            compact<false>(table, nullptr, active);
        }
    }
    return removed;
}

template <bool kTimed>
bool accept_with(SlotTable& table, int active, const char* text, ArrivalTimes* times, int64_t now) {
    if (active <= 0) {
        return false;
    }
    active = bounded_active(active);
    // A longer text cannot be shown whole, and a cut one would be a number nobody sent.
    const size_t length = strnlen(text, kMaxTextLength + 1);
    if (length > kMaxTextLength) {
        return false;
    }
    if (std::strcmp(text, newest_entry(table, active)) == 0) {
        return false;
    }
    const int last = active - 1;
    if (!slot_empty(table, last)) {
        for (int j = 1; j < active; ++j) {
            copy_slot<kTimed>(table, times, j, j - 1);
        }
    }
    put_text(table, last, text, length);
    if (kTimed) {
        times->ms[last] = now;
    }
    compact<kTimed>(table, times, active);
    return true;
}

}  // namespace

const char* newest_entry(const SlotTable& table, int active) {
    for (int k = active - 1; k >= 0; --k) {
        if (!slot_empty(table, k)) {
            return table.slots[k];
        }
    }
    return "";
}

int active_count(int32_t rows, int32_t columns) {
    if (rows <= 0 || columns <= 0) {
        return 0;
    }
    const int64_t product = static_cast<int64_t>(rows) * columns;
    return product > kSlotCount ? kSlotCount : static_cast<int>(product);
}

void clean_text(char* buffer, size_t length) {
    for (size_t i = 0; i < length; ++i) {
        if (!is_number_byte(buffer[i])) {
            buffer[i] = '\0';
        }
    }
}

bool accept_text(SlotTable& table, int active, const char* text) {
    return accept_with<false>(table, active, text, nullptr, 0);
}

bool accept_text(SlotTable& table, int active, const char* text, ArrivalTimes* times, int64_t now) {
    return times != nullptr ? accept_with<true>(table, active, text, times, now)
                            : accept_with<false>(table, active, text, nullptr, now);
}

int remove_text(SlotTable& table, int active, const char* text, ArrivalTimes* times) {
    return remove_where(table, times, active,
                        [&](int k) { return std::strncmp(table.slots[k], text, kSlotSize) == 0; });
}

int clear_board(SlotTable& table, int active) {
    return remove_where(table, nullptr, active, [](int) { return true; });
}

int expire_entries(SlotTable& table, ArrivalTimes& times, int active, int64_t now,
                   int64_t expire_ms) {
    return remove_where(table, &times, active,
                        [&](int k) { return now - times.ms[k] >= expire_ms; });
}
