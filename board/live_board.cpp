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

bool repaint_needed(LiveBoard& board) {
    return !board.repaint_pending.exchange(true);
}

void repaint_begun(LiveBoard& board) {
    board.repaint_pending.store(false);
}

void load_settings(LiveBoard& board, const char* path) {
    BoardSettings loaded{};
    const bool whole = read_settings_file(path, &loaded);
    {
        std::lock_guard<std::mutex> hold(board.lock);
        board.settings = whole ? loaded : default_settings();
    }
    if (!whole) {
        save_settings(board, path);
    }
}

void save_settings(LiveBoard& board, const char* path) {
    BoardSettings settings;
    {
        std::lock_guard<std::mutex> hold(board.lock);
        settings = board.settings;
    }
    write_settings_file(path, settings);
}

void store_settings(LiveBoard& board, const BoardSettings& settings, const char* path) {
    {
        std::lock_guard<std::mutex> hold(board.lock);
        board.settings = settings;
    }
    write_settings_file(path, settings);
}
