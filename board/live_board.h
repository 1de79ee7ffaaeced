// The process-wide board: the slot table and the live settings, behind the one lock that keeps
// datagram updates, drawing and settings changes apart, and the loading and saving of the live
// settings. Portable; it sits above the rules (board/board.h, settings/settings.h).
#pragma once

#include <atomic>
#include <mutex>

#include "board/board.h"
#include "settings/settings.h"

struct LiveBoard {
    std::mutex lock;
    SlotTable table{};
    BoardSettings settings{};
    // A repaint was asked of the window and its paint has not yet begun.
    std::atomic<bool> repaint_pending{false};
};

// What drawing needs, copied under the lock so the picture is made without holding it.
struct BoardCopy {
    SlotTable table;
    BoardSettings settings;
};

LiveBoard& live_board();

BoardCopy copy_board(LiveBoard& board);

// Cleans one received datagram (buffer[length] must be NUL) and applies it under the lock, with
// the grid as it stands at that moment. Returns whether the board changed.
bool receive_text(LiveBoard& board, char* buffer, size_t length);

// Whether a change should ask the window for a repaint: only when none is pending, so a burst of
// numbers costs one request per paint, not one per number. Called after the change is made.
bool repaint_needed(LiveBoard& board);

// Called by the shell's paint once the window is validated and before copy_board: a change made
// after this asks again, and one made before it is in the copy.
void repaint_begun(LiveBoard& board);

// Fills the live record from the file; a missing or short file gives the defaults, written back.
void load_settings(LiveBoard& board, const char* path = kSettingsFile);

// Writes the live record to the file; a failure is silent and leaves the old file intact.
void save_settings(LiveBoard& board, const char* path = kSettingsFile);

// Replaces the live record (the dialog's OK) and saves it.
void store_settings(LiveBoard& board, const BoardSettings& settings,
                    const char* path = kSettingsFile);
