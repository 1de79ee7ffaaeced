// The timing rules of the optional extensions over the board and its arrival times: when entries
// expire, which cell is highlighted and until when, and how often the chime may sound. Every rule
// takes the clock's reading as an argument (monotonic milliseconds), so none of them sleeps.
// Portable.
#pragma once

#include <cstdint>

#include "core/board.h"

constexpr int64_t kNever = INT64_MAX;

// The least time between two chimes in a rush of numbers.
constexpr int64_t kChimeGapMs = 1000;

// When the first active entry will have stood `expire_ms`; kNever when none is on show.
int64_t next_expiry(const SlotTable& table, const ArrivalTimes& times, int active,
                    int64_t expire_ms);

// The slot of the newest entry while it is within `highlight_ms` of its arrival; -1 otherwise.
int highlighted_slot(const SlotTable& table, const ArrivalTimes& times, int active, int64_t now,
                     int64_t highlight_ms);

// Whether a chime may sound at `now`, given when the last one sounded (`*last`, updated when it
// may). At most one per kChimeGapMs; the first always may.
bool chime_allowed(int64_t* last, int64_t now);
