// The lock discipline around the shared board: every write of the table or the settings, and
// every copy taken for drawing, holds the lock for the few bytes it touches, never for file or
// socket work.
#include "live/live_board.h"

#include <chrono>
#include <cstring>
#include <utility>

#include "core/protocol.h"
#include "live/settings_file.h"

namespace {

int active_of(const LiveBoard& board) {
    return active_count(board.settings.rows, board.settings.columns);
}

// Under the lock. Arrival times are kept only while a rule reads them; when one is switched on,
// what is already on show counts as arriving now.
void put_tail(LiveBoard& board, SettingsTail tail) {
    const bool had_overdue = board.extensions.zones && board.extensions.overdue_ms > 0;
    board.tail = std::move(tail);
    board.extensions = extensions_of(board.tail);
    const bool timing = board.extensions.expire_ms > 0 || board.extensions.highlight_ms > 0 ||
                        board.extensions.zones;
    if (timing && !board.timing) {
        const int64_t now = board.clock();
        for (int64_t& at : board.arrivals.ms) {
            at = now;
        }
    }
    // What already waits when the cue is switched on is marked, not chimed for.
    if (board.extensions.zones && board.extensions.overdue_ms > 0 && !had_overdue) {
        board.overdue_checked = board.clock();
    }
    board.timing = timing;
    // A highlight drawn from now on must also be drawn away when its time is up; a round already
    // due for one drawn before stays due.
    const int64_t highlight_ms = board.extensions.highlight_ms;
    if (highlight_ms > 0) {
        const int slot = highlighted_slot(board.table, board.arrivals, active_of(board),
                                          board.clock(), highlight_ms);
        if (slot >= 0 && board.arrivals.ms[slot] + highlight_ms < board.highlight_until) {
            board.highlight_until = board.arrivals.ms[slot] + highlight_ms;
        }
    }
}

// Under the lock. When the next ready number becomes overdue after `after`; kNever for none.
int64_t next_overdue(const LiveBoard& board, int64_t after) {
    const int64_t overdue_ms = board.extensions.overdue_ms;
    int64_t next = kNever;
    if (!board.extensions.zones || overdue_ms <= 0) {
        return next;
    }
    const int active = active_of(board);
    for (int k = 0; k < active; ++k) {
        const int64_t at = board.arrivals.ms[k] + overdue_ms;
        if (board.table.slots[k][0] != '\0' && at > after && at < next) {
            next = at;
        }
    }
    return next;
}

// Under the lock.
int64_t due_of(const LiveBoard& board) {
    int64_t due = board.highlight_until;
    const int64_t overdue = next_overdue(board, board.overdue_checked);
    due = overdue < due ? overdue : due;
    if (board.extensions.expire_ms > 0) {
        const int64_t expiry =
            next_expiry(board.table, board.arrivals, active_of(board), board.extensions.expire_ms);
        due = expiry < due ? expiry : due;
    }
    return due;
}

// Whether what follows a datagram's first byte is nothing but line ends, spaces and tabs, as a till
// may add to a clearing "-". Read before cleaning, which would make any other byte look the same.
bool blank_after_first(const char* buffer, size_t length) {
    for (size_t i = 1; i < length; ++i) {
        if (!is_blank_byte(buffer[i])) {
            return false;
        }
    }
    return true;
}

}  // namespace

int64_t monotonic_ms() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

LiveBoard& live_board() {
    static LiveBoard board;
    return board;
}

BoardCopy copy_board(LiveBoard& board) {
    std::lock_guard<std::mutex> hold(board.lock);
    BoardCopy copy{board.table, board.settings, board.extensions, -1};
    if (board.extensions.highlight_ms > 0) {
        copy.highlighted = highlighted_slot(board.table, board.arrivals, active_of(board),
                                            board.clock(), board.extensions.highlight_ms);
    }
    if (board.extensions.voice) {
        copy.calls = board.calls;
    }
    if (board.extensions.zones) {
        copy.preparing = board.preparing;
        copy.arrivals = board.arrivals;
        copy.now_ms = board.clock();
    }
    return copy;
}

bool receive_text(LiveBoard& board, char* buffer, size_t length) {
    return receive_datagram(board, buffer, length).repaint;
}

Outcome receive_datagram(LiveBoard& board, char* buffer, size_t length) {
    const bool dash = length > 0 && buffer[0] == kCommandDash;
    const bool plus = length > 0 && buffer[0] == kPreparingPlus;
    const bool blank = dash && blank_after_first(buffer, length);
    clean_text(buffer, length);  // the '-' too: with commands off it leaves the empty text
    std::lock_guard<std::mutex> hold(board.lock);
    const int active = active_of(board);
    const Extensions& on = board.extensions;
    ArrivalTimes* const times = board.timing ? &board.arrivals : nullptr;
    Outcome outcome{};
    if (on.commands && dash) {
        // One stray byte after the dash must not empty the whole board: what is neither a number
        // nor blank is no command at all.
        const char* text = buffer + 1;
        if (text[0] != '\0' || blank) {
            outcome.repaint = take_off(board.table, times, board.preparing, active,
                                       text[0] != '\0' ? text : nullptr, board.undo) > 0;
        }
        return outcome;
    }
    if (on.zones && plus) {
        // As with the dash: what does not read as a number after it is no word at all.
        outcome.repaint = prepare_text(board.table, times, board.preparing, active, buffer + 1);
        return outcome;
    }
    const int64_t now = times != nullptr || on.chime ? board.clock() : 0;
    // A number already on show that arrives again is not called again.
    const bool called = on.voice && buffer[0] != '\0' && !holds_text(board.table, active, buffer);
    outcome.repaint = accept_text(board.table, active, buffer, times, now);
    if (outcome.repaint && buffer[0] != '\0' && on.zones) {
        remove_text(board.preparing, active, buffer, nullptr);
    }
    if (outcome.repaint && buffer[0] != '\0') {
        if (on.highlight_ms > 0) {
            board.highlight_until = now + on.highlight_ms;
        }
        outcome.chime = on.chime && chime_allowed(&board.last_chime, now);
    }
    outcome.voice = on.voice;
    if (outcome.repaint && called) {
        strncpy(outcome.call, buffer, kMaxTextLength);
        log_call(board.calls, buffer, false);
    }
    return outcome;
}

Outcome remove_number(LiveBoard& board, const char* text) {
    std::lock_guard<std::mutex> hold(board.lock);
    ArrivalTimes* const times = board.timing ? &board.arrivals : nullptr;
    Outcome outcome{};
    outcome.repaint = text[0] != '\0' && take_off(board.table, times, board.preparing,
                                                  active_of(board), text, board.undo) > 0;
    return outcome;
}

Outcome clear_numbers(LiveBoard& board) {
    std::lock_guard<std::mutex> hold(board.lock);
    ArrivalTimes* const times = board.timing ? &board.arrivals : nullptr;
    Outcome outcome{};
    outcome.repaint =
        take_off(board.table, times, board.preparing, active_of(board), nullptr, board.undo) > 0;
    return outcome;
}

bool prepare_number(LiveBoard& board, const char* text, Outcome* outcome) {
    std::lock_guard<std::mutex> hold(board.lock);
    *outcome = Outcome{};
    if (!board.extensions.zones) {
        return false;
    }
    ArrivalTimes* const times = board.timing ? &board.arrivals : nullptr;
    outcome->repaint = prepare_text(board.table, times, board.preparing, active_of(board), text);
    return true;
}

Outcome undo_removal(LiveBoard& board) {
    std::lock_guard<std::mutex> hold(board.lock);
    ArrivalTimes* const times = board.timing ? &board.arrivals : nullptr;
    Outcome outcome{};
    outcome.repaint = undo_last(board.table, times, board.preparing, active_of(board), board.undo);
    return outcome;
}

TimerRound run_timer_round(LiveBoard& board) {
    std::lock_guard<std::mutex> hold(board.lock);
    const int64_t now = board.clock();
    TimerRound round{};
    if (board.extensions.expire_ms > 0) {
        round.repaint = expire_entries(board.table, board.arrivals, active_of(board), now,
                                       board.extensions.expire_ms) > 0;
    }
    if (board.highlight_until <= now) {
        board.highlight_until = kNever;
        round.repaint = true;
    }
    // A number left waiting gets its mark, the chime once more, and with the voice its call.
    if (next_overdue(board, board.overdue_checked) <= now) {
        round.repaint = true;
        round.chime = board.extensions.chime && chime_allowed(&board.last_chime, now);
        round.voice = board.extensions.voice;
        const int active = active_of(board);
        for (int k = 0; k < active && round.voice && round.reminders < kVoiceWaiting; ++k) {
            const int64_t at = board.arrivals.ms[k] + board.extensions.overdue_ms;
            if (board.table.slots[k][0] != '\0' && at > board.overdue_checked && at <= now) {
                strncpy(round.reminder[round.reminders++], board.table.slots[k], kMaxTextLength);
                log_call(board.calls, board.table.slots[k], true);
            }
        }
    }
    board.overdue_checked = now > board.overdue_checked ? now : board.overdue_checked;
    round.due = due_of(board);
    return round;
}

bool shown_ready(LiveBoard& board, const char* text) {
    std::lock_guard<std::mutex> hold(board.lock);
    return holds_text(board.table, active_of(board), text);
}

int64_t next_timer_round(LiveBoard& board) {
    std::lock_guard<std::mutex> hold(board.lock);
    return due_of(board);
}

bool repaint_needed(LiveBoard& board) {
    return !board.repaint_pending.exchange(true);
}

void repaint_begun(LiveBoard& board) {
    board.painting.store(true);
    board.repaint_pending.store(false);
}

void repaint_ended(LiveBoard& board) {
    board.painting.store(false);
    if (void (*hook)() = board.paint_ended_hook.load()) {
        hook();
    }
}

bool window_behind(const LiveBoard& board) {
    return board.repaint_pending.load() || board.painting.load();
}

void load_settings(LiveBoard& board, const char* path) {
    BoardSettings loaded{};
    SettingsTail tail{};
    FileKind kind = FileKind::kMissing;
    const bool whole = read_settings_file(path, &loaded, &tail, &kind);
    const BoardSettings settings = whole ? loaded : default_settings();
    {
        std::lock_guard<std::mutex> hold(board.lock);
        board.settings = settings;
        put_tail(board, std::move(tail));
    }
    if (whole || kind == FileKind::kOther) {
        return;  // a FIFO, device or socket is never written
    }
    // Short of the 36 bytes, nothing of the file is kept: the defaults alone are written back.
    if (kind == FileKind::kPlain) {
        write_settings_file(path, settings, SettingsTail{});
        return;
    }
    // Only a new file: a link to nothing planted at the name must not make the board create
    // what it points to.
    create_settings_file(path, settings, SettingsTail{});
}

void save_settings(LiveBoard& board, const char* path) {
    BoardSettings settings;
    SettingsTail tail;
    {
        std::lock_guard<std::mutex> hold(board.lock);
        settings = board.settings;
        tail = board.tail;
    }
    write_settings_file(path, settings, tail);
}

DialogSnapshot dialog_snapshot(LiveBoard& board, const char* path) {
    load_settings(board, path);
    std::lock_guard<std::mutex> hold(board.lock);
    return DialogSnapshot{board.settings,
                          board.tail.present ? board.tail.fields : ExtensionFields{}};
}

void store_settings(LiveBoard& board, const BoardSettings& settings, const char* path) {
    {
        std::lock_guard<std::mutex> hold(board.lock);
        board.settings = settings;
    }
    save_settings(board, path);
}

void store_extensions(LiveBoard& board, const ExtensionFields& fields, const char* path) {
    {
        std::lock_guard<std::mutex> hold(board.lock);
        SettingsTail tail = board.tail;
        const ExtensionFields none{};
        tail.present = tail.present || std::memcmp(&fields, &none, sizeof fields) != 0;
        const bool zones = fields.zones != 0 || fields.overdue_seconds != 0 || fields.voice != 0 ||
                           fields.reserved != 0;
        tail.zones_present = tail.zones_present || zones;
        tail.web_present =
            tail.web_present || fields.web_port != 0 || fields.staff_pin != 0 || tail.zones_present;
        tail.fields = fields;
        put_tail(board, std::move(tail));
    }
    save_settings(board, path);
}
