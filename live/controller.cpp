// The board's rules between the shared board and a shell's toolkit, once for every shell.
#include "live/controller.h"

#include <cstring>
#include <mutex>

#include "live/receiver.h"
#include "live/speaker.h"

namespace {

// The controller whose hooks the receiver calls. Written on the shell's thread before the hooks
// are stored and after the receiver is joined, so the receiver thread reads it safely.
Controller* g_hooked = nullptr;

void repaint_hook() {
    controller_board_changed(*g_hooked);
}

void chime_hook() {
    g_hooked->ops->play_chime(g_hooked->shell);
}

// The chime as the speaker plays it, in its turn before a call.
void speaker_chime(void* context) {
    Controller& c = *static_cast<Controller*>(context);
    c.ops->play_chime(c.shell);
}

// With the voice on, the chime and the call wait their turns in the speaker; without, the chime
// sounds at once as it always has.
void sound(Controller& c, const Outcome& outcome) {
    if (!outcome.voice) {
        if (outcome.chime) {
            c.ops->play_chime(c.shell);
        }
    } else if (c.speaker != nullptr && (outcome.chime || outcome.call[0] != '\0')) {
        speaker_push(*c.speaker, outcome.chime, outcome.call, false);
    }
}

void voice_hook(const Outcome& outcome) {
    sound(*g_hooked, outcome);
}

void arm_round(Controller& c, int64_t due) {
    if (due == kNever) {
        if (c.round_armed) {
            c.ops->cancel_timer(c.shell, ShellTimer::kRound);
            c.round_armed = false;
        }
        return;
    }
    int64_t wait = due - c.board->clock();
    wait = wait < 0 ? 0 : wait;
    wait = wait < kLongestWaitMs ? wait : kLongestWaitMs;
    c.ops->arm_timer(c.shell, ShellTimer::kRound, static_cast<uint32_t>(wait));
    c.round_armed = true;
}

// Either dialog reloaded the whole file, and a paint may change what is on show.
void schedule_round(Controller& c) {
    arm_round(c, next_timer_round(*c.board));
}

uint32_t pointer_now(const Controller& c) {
    return static_cast<uint32_t>(c.board->clock());  // the rule copes with the wrap
}

void keep_counting(Controller& c) {
    const bool counting = c.watching && c.over_board && !c.pointer.hidden;
    if (counting && !c.ticking) {
        c.ops->arm_timer(c.shell, ShellTimer::kPointer, kPointerTickMs);
    } else if (!counting && c.ticking) {
        c.ops->cancel_timer(c.shell, ShellTimer::kPointer);
    }
    c.ticking = counting;
}

void apply_pointer(Controller& c, PointerChange change) {
    if (change != PointerChange::kNone) {
        c.ops->show_pointer(c.shell, change == PointerChange::kShow);
    }
    keep_counting(c);
}

void web_board_changed(Controller& c) {
    if (c.web != nullptr) {
        c.web->board_changed(c.web->context);
    }
}

void stop_web(Controller& c) {
    if (c.web != nullptr && c.web_port != 0) {
        c.web->stop(c.web->context);
    }
    c.web_port = 0;
}

void open_dialog(Controller& c, DialogKind kind) {
    c.dialog_open = true;
    c.ops->open_dialog(c.shell, kind);
}

}  // namespace

Controller& board_controller() {
    static Controller controller = [] {
        Controller made{};
        made.board = &live_board();
        made.receiver = &board_receiver();
        made.settings_path = kSettingsFile;
        made.speaker = &board_speaker();
        return made;
    }();
    return controller;
}

bool controller_start(Controller& c) {
    LiveBoard& board = *c.board;
    {
        std::lock_guard<std::mutex> hold(board.lock);
        std::memset(&board.table, 0, sizeof board.table);
    }
    load_settings(board, c.settings_path);
    if (c.receiver != nullptr) {
        start_receiver(*c.receiver);
    }
    c.framed = board.settings.show_frame != 0;  // only this thread writes the settings
    return c.framed;
}

void controller_window_ready(Controller& c) {
    if (c.speaker != nullptr) {
        c.speaker->play_chime = speaker_chime;
        c.speaker->chime_context = &c;
    }
    if (c.receiver != nullptr) {
        g_hooked = &c;
        c.receiver->repaint_hook.store(repaint_hook);
        c.receiver->chime_hook.store(chime_hook);
        c.receiver->voice_hook.store(voice_hook);
    }
    if (!c.framed) {
        c.watching = true;
        c.pointer = pointer_idle_start(pointer_now(c));
        keep_counting(c);
    }
    c.window_ready = true;
    controller_apply_web(c);  // a port that cannot be bound leaves the board as it is
}

void controller_stop(Controller& c) {
    c.window_ready = false;
    stop_web(c);  // before the receiver: no change through the web after the board stops
    if (c.receiver != nullptr) {
        c.receiver->repaint_hook.store(nullptr);
        c.receiver->chime_hook.store(nullptr);
        c.receiver->voice_hook.store(nullptr);
        stop_receiver(*c.receiver);  // the thread must be joined before the program ends
        if (g_hooked == &c) {
            g_hooked = nullptr;
        }
    }
    if (c.speaker != nullptr) {
        speaker_stop(*c.speaker);  // after everything that pushes to it
    }
    arm_round(c, kNever);
    c.watching = false;
    keep_counting(c);
}

void controller_board_changed(Controller& c) {
    web_board_changed(c);
    if (repaint_needed(*c.board)) {
        c.ops->request_repaint(c.shell);
    }
}

bool controller_key(Controller& c, BoardKey key) {
    if (c.dialog_open) {
        return true;  // as a Windows owner of a modal dialog takes none
    }
    // With Alt held Windows types no character at all, not even Escape's.
    if (key.alt) {
        return false;
    }
    if (key.typed && key.character == kEscapeCharacter) {
        c.ops->quit(c.shell);
        return true;
    }
    // F-keys type no character, so F2 takes nothing from the keys below.
    if (key.function_key == 2) {
        open_dialog(c, DialogKind::kService);
        return true;
    }
    if (!key.typed) {
        return false;
    }
    // New settings show at the next repaint, which the next number requests.
    open_dialog(c, DialogKind::kSettings);
    return true;
}

BoardCopy controller_paint_begun(Controller& c) {
    repaint_begun(*c.board);
    return copy_board(*c.board);
}

void controller_painted(Controller& c) {
    repaint_ended(*c.board);
    schedule_round(c);
}

void controller_timer_fired(Controller& c, ShellTimer timer) {
    if (timer == ShellTimer::kPointer) {
        controller_pointer_tick(c, c.over_board);
        return;
    }
    const TimerRound round = run_timer_round(*c.board);
    if (round.repaint) {
        controller_board_changed(c);
    }
    if (round.voice && c.window_ready && c.speaker != nullptr) {
        if (round.chime && round.reminders == 0) {
            speaker_push(*c.speaker, true, nullptr, false);
        }
        for (int i = 0; i < round.reminders; ++i) {
            speaker_push(*c.speaker, round.chime && i == 0, round.reminder[i], true);
        }
    } else if (round.chime && c.window_ready) {
        c.ops->play_chime(c.shell);
    }
    arm_round(c, round.due);
}

void controller_dialog_closed(Controller& c, DialogKind kind, bool stored) {
    c.dialog_open = false;
    if (kind == DialogKind::kService && stored) {
        controller_board_changed(c);
    } else if (stored) {
        web_board_changed(c);  // colours or grid: the pages redraw
    }
    if (stored) {
        controller_apply_web(c);  // both dialogs reload the file, which may have been edited
    }
    schedule_round(c);
}

bool controller_apply_web(Controller& c) {
    if (c.web == nullptr || !c.window_ready) {
        return true;
    }
    WebSettings wanted{};
    {
        std::lock_guard<std::mutex> hold(c.board->lock);
        wanted = web_settings_of(c.board->tail);
    }
    const int32_t pin = wanted.access == StaffAccess::kLocked ? kWebLocked : wanted.pin;
    if (wanted.port == c.web_port) {
        if (c.web_port != 0 && pin != c.web_pin) {
            c.web->set_pin(c.web->context, pin);
            c.web_pin = pin;
        }
        return true;
    }
    stop_web(c);
    if (wanted.port == 0) {
        return true;
    }
    if (!c.web->start(c.web->context, static_cast<uint16_t>(wanted.port), pin)) {
        return false;
    }
    c.web_port = wanted.port;
    c.web_pin = pin;
    return true;
}

void controller_web_changed(Controller& c, Outcome outcome) {
    if (outcome.repaint) {
        controller_board_changed(c);
    }
    sound(c, outcome);
}

void controller_pointer_moved(Controller& c, int x, int y) {
    if (!c.watching) {
        return;
    }
    c.over_board = true;
    apply_pointer(c, pointer_moved(&c.pointer, x, y, pointer_now(c)));
}

void controller_pointer_over(Controller& c, bool over) {
    c.over_board = over;
    if (c.watching) {
        keep_counting(c);
    }
}

void controller_pointer_tick(Controller& c, bool over_board) {
    if (!c.ticking) {
        return;  // one already cancelled, still on its way
    }
    apply_pointer(c, pointer_tick(&c.pointer, over_board, pointer_now(c)));
}
