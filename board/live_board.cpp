// The lock discipline around the shared board: every write of the table or the settings, and
// every copy taken for drawing, holds the lock for the few bytes it touches, never for file or
// socket work.
#include "board/live_board.h"

LiveBoard& live_board() {
    static LiveBoard board;
    return board;
}

BoardCopy copy_board(LiveBoard& board) {
    std::lock_guard<std::mutex> hold(board.lock);
    return BoardCopy{board.table, board.settings};
}

bool receive_text(LiveBoard& board, char* buffer, size_t length) {
    clean_text(buffer, length);
    std::lock_guard<std::mutex> hold(board.lock);
    return accept_text(board.table, active_count(board.settings.rows, board.settings.columns),
                       buffer);
}
