// The order board: a fixed table of 100 text slots and the rule that applies each received text
// to it. Portable: no platform headers.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int kSlotCount = 100;
constexpr int kSlotSize = 10;
constexpr int kMaxTextLength = kSlotSize - 1;

// Slot k occupies bytes 10k to 10k+9 of one contiguous 1000-byte block; empty when its first byte
// is NUL.
struct SlotTable {
    char slots[kSlotCount][kSlotSize];
};
static_assert(sizeof(SlotTable) == kSlotCount * kSlotSize, "the table is one 1000-byte block");

// rows x columns, bounded to 0..100; 0 when either is 0 or less. Never overflows.
int active_count(int32_t rows, int32_t columns);

// Cuts a datagram down to its text in place: every one of the length bytes that is neither an
// ASCII digit nor '#' becomes NUL. buffer[length] must already be NUL.
void clean_text(char* buffer, size_t length);

// The last non-empty slot among the first `active`; "" when they are all empty.
const char* newest_entry(const SlotTable& table, int active);

// Applies one text to the first `active` slots. Returns whether it was accepted (the board must
// then be redrawn). Refused: a duplicate of the newest entry, a text longer than 9 characters,
// any text when no slot is active, and an empty text on an empty board.
bool accept_text(SlotTable& table, int active, const char* text);

// Monotonic milliseconds at which each slot's entry was accepted, kept beside the table (which
// stays one 1000-byte block) and moved in step with it by the same shifts and compaction.
struct ArrivalTimes {
    int64_t ms[kSlotCount];
};

// accept_text that also moves the arrival times with their entries and stamps the new one `now`.
bool accept_text(SlotTable& table, int active, const char* text, ArrivalTimes* times, int64_t now);

// Empties every active entry equal to `text` byte for byte, and the others close up in their
// order. Returns how many went; inactive slots are left alone. `times` may be null.
int remove_text(SlotTable& table, int active, const char* text, ArrivalTimes* times);

// Empties every active slot. Returns how many held an entry.
int clear_board(SlotTable& table, int active);

// Removes every active entry that has stood `expire_ms` or longer at `now`, closing up as
// remove_text does. Returns how many went.
int expire_entries(SlotTable& table, ArrivalTimes& times, int active, int64_t now,
                   int64_t expire_ms);
