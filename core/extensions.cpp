// Expiry, highlight and chime timing, over plain records and a clock reading passed in.
#include "core/extensions.h"

int64_t next_expiry(const SlotTable& table, const ArrivalTimes& times, int active,
                    int64_t expire_ms) {
    int64_t due = kNever;
    for (int k = 0; k < active && k < kSlotCount; ++k) {
        if (table.slots[k][0] != '\0' && times.ms[k] + expire_ms < due) {
            due = times.ms[k] + expire_ms;
        }
    }
    return due;
}

int highlighted_slot(const SlotTable& table, const ArrivalTimes& times, int active, int64_t now,
                     int64_t highlight_ms) {
    if (highlight_ms <= 0) {
        return -1;
    }
    for (int k = (active < kSlotCount ? active : kSlotCount) - 1; k >= 0; --k) {
        if (table.slots[k][0] != '\0') {
            return now - times.ms[k] < highlight_ms ? k : -1;
        }
    }
    return -1;
}

bool chime_allowed(int64_t* last, int64_t now) {
    if (*last != kNever && now - *last < kChimeGapMs) {
        return false;
    }
    *last = now;
    return true;
}
