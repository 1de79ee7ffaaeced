// The pointer-hiding rule of a frameless board.
#include "core/pointer_idle.h"

PointerIdle pointer_idle_start(uint32_t now_ms) {
    PointerIdle idle{};
    idle.last_move_ms = now_ms;
    return idle;
}

PointerChange pointer_moved(PointerIdle* idle, int x, int y, uint32_t now_ms) {
    if (idle->position_known && x == idle->x && y == idle->y) {
        return PointerChange::kNone;
    }
    idle->position_known = true;
    idle->x = x;
    idle->y = y;
    idle->last_move_ms = now_ms;
    if (!idle->hidden) {
        return PointerChange::kNone;
    }
    idle->hidden = false;
    return PointerChange::kShow;
}

PointerChange pointer_tick(PointerIdle* idle, bool over_board, uint32_t now_ms) {
    // Unsigned difference: right across the tick's wrap after 49.7 days, which a shop's board sees.
    if (idle->hidden || !over_board || now_ms - idle->last_move_ms < kPointerIdleMs) {
        return PointerChange::kNone;
    }
    idle->hidden = true;
    return PointerChange::kHide;
}
