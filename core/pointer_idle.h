// When a frameless board hides the mouse pointer: after a few seconds of stillness, and back on
// the first real movement. Portable; the controller feeds it the pointer and the clock.
#pragma once

#include <cstdint>

// Stillness before the pointer goes. Long enough that an operator reaching for the mouse keeps it.
constexpr uint32_t kPointerIdleMs = 3000;

struct PointerIdle {
    bool hidden;
    bool position_known;
    int x;
    int y;
    uint32_t last_move_ms;  // a millisecond tick that wraps, as the system's does
};

enum class PointerChange { kNone, kHide, kShow };

// The state at `now_ms`: pointer shown, position not yet seen, stillness counted from now.
PointerIdle pointer_idle_start(uint32_t now_ms);

// The pointer was reported at (x, y). A report at the last position is not movement: systems send
// one when the pointer's shape or the window under it changes, and hiding it must not undo itself.
PointerChange pointer_moved(PointerIdle* idle, int x, int y, uint32_t now_ms);

// A periodic check: hides the pointer once it has been still long enough while over the board.
PointerChange pointer_tick(PointerIdle* idle, bool over_board, uint32_t now_ms);
