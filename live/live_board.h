// The process-wide board: the slot table and the live settings, behind the one lock that keeps
// datagram updates, drawing and settings changes apart, and the loading and saving of the live
// settings. Portable; it sits above the rules (core/board.h, core/extensions.h,
// core/settings.h).
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include "core/board.h"
#include "core/draw.h"
#include "core/extensions.h"
#include "core/settings.h"
#include "core/voice.h"
#include "core/zones.h"

// Monotonic milliseconds.
int64_t monotonic_ms();

struct LiveBoard {
    std::mutex lock;
    SlotTable table{};
    // With two zones on, the numbers being prepared (core/zones.h); empty otherwise.
    SlotTable preparing{};
    // What removals and clears took, for staff to put back.
    UndoLog undo{};
    BoardSettings settings{};
    // What the file holds after its 36 bytes, and what the board makes of it.
    SettingsTail tail{};
    Extensions extensions{};
    // Kept in step with the table only while expiry or the highlight is on.
    ArrivalTimes arrivals{};
    bool timing = false;
    int64_t highlight_until = kNever;  // a repaint is due then, to draw the highlight away
    int64_t last_chime = kNever;
    // With the overdue cue: numbers that became overdue up to here have been drawn and chimed.
    int64_t overdue_checked = 0;
    // With the voice on: the latest numbers called, for the web page.
    VoiceCalls calls{};
    int64_t (*clock)() = monotonic_ms;
    // A repaint was asked of the window and its paint has not yet begun.
    std::atomic<bool> repaint_pending{false};
    // From a paint's beginning to its end.
    std::atomic<bool> painting{false};
    // Called on the window's thread as each paint ends (the web side, waiting to go second).
    std::atomic<void (*)()> paint_ended_hook{nullptr};
};

LiveBoard& live_board();

// What drawing needs (core/draw.h), copied under the lock.
BoardCopy copy_board(LiveBoard& board);

// Cleans one received datagram (buffer[length] must be NUL) and applies it under the lock, with
// the grid as it stands at that moment. Returns whether the board changed.
bool receive_text(LiveBoard& board, char* buffer, size_t length);

// What one datagram asks of the shell.
struct Outcome {
    bool repaint;  // the board changed
    bool chime;    // a new number arrived, chime on, and the last chime was long enough ago
    // With the voice on, the chime and the call take their turns in the speaker (live/speaker.h).
    bool voice = false;
    char call[kSlotSize] = {};  // a number that became ready, to be called; "" for none
};

// receive_text with the extensions: with commands on, a datagram starting with '-' removes the
// entries equal to the text after it (its leading digits and '#', as any number is read), or
// clears the board when nothing but line ends, spaces and tabs follows; anything else after the
// dash changes nothing. With two zones on, one starting with '+' puts the number after it in the
// preparing zone (nothing after it that reads as a number: no change), and a plain number is
// ready and leaves the preparing zone.
Outcome receive_datagram(LiveBoard& board, char* buffer, size_t length);

// A cleaned number put in the preparing zone, for a front end. False, changing nothing, when the
// board has no such zone (two zones off).
bool prepare_number(LiveBoard& board, const char* text, Outcome* outcome);

// Puts back what the latest removal or clear took (core/zones.h).
Outcome undo_removal(LiveBoard& board);

// Removes the active entries equal to `text` byte for byte (already cleaned), or empties the board,
// whether or not datagram commands are on: for a front end that guards these itself.
Outcome remove_number(LiveBoard& board, const char* text);
Outcome clear_numbers(LiveBoard& board);

// Whether `text` stands in the ready zone now: a call whose number has gone is not said.
bool shown_ready(LiveBoard& board, const char* text);

// The expiry and highlight timer's round at the clock's present reading: removes what has stood
// long enough. `due` is when the next round should run (kNever: no timer needed).
struct TimerRound {
    bool repaint;
    int64_t due;
    bool chime = false;  // a ready number has just become overdue, chime on and allowed
    // With the voice on, the numbers that have just become overdue, to be called once more
    // (no more than may wait their turn).
    bool voice = false;
    int reminders = 0;
    char reminder[kVoiceWaiting][kSlotSize] = {};
};
TimerRound run_timer_round(LiveBoard& board);

// When the next timer round is due, without running one (after a paint or a settings change).
int64_t next_timer_round(LiveBoard& board);
// Whether a change should ask the window for a repaint: only when none is pending, so a burst of
// numbers costs one request per paint, not one per number. Called after the change is made.
bool repaint_needed(LiveBoard& board);

// Called by the shell's paint once the window is validated and before copy_board: a change made
// after this asks again, and one made before it is in the copy.
void repaint_begun(LiveBoard& board);
// Called by the shell once the paint is on screen.
void repaint_ended(LiveBoard& board);
// Whether the window has a change asked for and not yet drawn to the end: what else would take
// the processor from it can wait that long.
bool window_behind(const LiveBoard& board);

// Fills the live record from the file; a missing or short file gives the defaults, written back.
void load_settings(LiveBoard& board, const char* path = kSettingsFile);

// Writes the live record to the file; a failure is silent and leaves the old file intact.
void save_settings(LiveBoard& board, const char* path = kSettingsFile);

// What a dialog shows, so that none takes the lock: "setup.dat" reloaded first (load_settings),
// then the live record and the tail's fields (all 0 without a tail) as they then stand. OK hands
// back what to store through store_settings or store_extensions.
struct DialogSnapshot {
    BoardSettings settings;
    ExtensionFields fields;
};
DialogSnapshot dialog_snapshot(LiveBoard& board, const char* path = kSettingsFile);

// Replaces the live record (the dialog's OK) and saves it.
void store_settings(LiveBoard& board, const BoardSettings& settings,
                    const char* path = kSettingsFile);

// Replaces the extension fields (the second dialog's OK) and saves. A file without a tail gets one
// only when a field is not 0, a tail without the second block gets it only when the port, the PIN
// or a third block's field is not 0, and the third block comes only with one of its own.
void store_extensions(LiveBoard& board, const ExtensionFields& fields,
                      const char* path = kSettingsFile);
