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
