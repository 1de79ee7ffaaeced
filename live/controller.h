// The board's controller: every rule of a running board that is not a toolkit's (the start and
// stop order, keys to actions, repaint coalescing, what follows a dialog, the extensions' timer,
// the chime, the pointer's stillness). A shell fills one ShellOps table with what only its toolkit
// can do and forwards its events here. Portable.
#pragma once

#include <cstdint>

#include "core/pointer_idle.h"
#include "core/settings.h"
#include "live/live_board.h"

struct Receiver;
struct Speaker;

// The shell's two timers: the extensions' round (expiry and the highlight) and the pointer's tick.
enum class ShellTimer { kRound, kPointer };
enum class DialogKind { kSettings, kService };

// How often a frameless board looks whether its pointer has been still long enough.
constexpr uint32_t kPointerTickMs = 250;
// The longest wait a timer is armed for: a round due later than this cannot be, as the bounds of
// the fields keep every wait within a day.
constexpr uint32_t kLongestWaitMs = 0x7FFFFFFF;
// The character Escape types.
constexpr uint32_t kEscapeCharacter = 27;

// What only a toolkit can do. Every call but request_repaint and play_chime comes on the shell's
// own thread; those two may come from the receiver thread.
struct ShellOps {
    void (*request_repaint)(void* shell);
    // The timer fires after wait_ms and every wait_ms after that until armed again or cancelled;
    // cancelling one that is not armed does nothing.
    void (*arm_timer)(void* shell, ShellTimer timer, uint32_t wait_ms);
    void (*cancel_timer)(void* shell, ShellTimer timer);
    void (*play_chime)(void* shell);
    // The shell calls controller_dialog_closed once it has gone, whether it was modal or not.
    void (*open_dialog)(void* shell, DialogKind kind);
    void (*quit)(void* shell);
    void (*show_pointer)(void* shell, bool shown);
};

// A key as the board sees it: whether it types a character and which (Escape types 27; Ctrl+2
// types 0), the number of a function key (2 for F2; 0: none), and whether Alt is held.
struct BoardKey {
    bool typed;
    uint32_t character;
    int function_key;
    bool alt;
};

// The web side as the controller drives it (web/web_front.h fills it for the programs); a
// controller without one opens nothing but the receiver's socket.
struct WebOps {
    // Serves on `port`, changes guarded by `pin` (0: none; kWebLocked: none allowed). False, with
    // nothing started, when the port cannot be bound.
    bool (*start)(void* context, uint16_t port, int32_t pin);
    // Nothing left open; the server's thread joined.
    void (*stop)(void* context);
    void (*set_pin)(void* context, int32_t pin);
    // Any thread; cheap, and does nothing while no server runs.
    void (*board_changed)(void* context);
    void* context;
};

// A PIN no bearer matches: every change through the web refused (401) while staff access is locked.
constexpr int32_t kWebLocked = -1;

struct Controller {
    LiveBoard* board;
    Receiver* receiver;  // nullptr: none to start or hook
    const char* settings_path;
    const ShellOps* ops;
    void* shell;
    bool framed;
    bool dialog_open;
    bool round_armed;
    // A frameless board's pointer: hidden after stillness over the board, back on movement.
    bool watching;
    bool over_board;
    bool ticking;
    PointerIdle pointer;
    const WebOps* web;  // nullptr: no web side
    Speaker* speaker;   // nullptr: no voice
    bool window_ready;
    int32_t web_port;  // serving on it; 0: not serving
    int32_t web_pin;   // as handed to the server
};

// The process's controller, over live_board(), board_receiver() and "setup.dat"; the shell sets
// its ops and context before the start.
Controller& board_controller();

// Clears the table, loads the settings and starts the receiver, in that order. Returns whether the
// board is framed; the shell then makes its window.
bool controller_start(Controller& controller);

// The window exists: from now on changes ask for repaints and numbers chime, and a frameless board
// watches its pointer.
void controller_window_ready(Controller& controller);

// The way out, after the shell's loop: no more requests, the receiver joined, no timer left.
void controller_stop(Controller& controller);

// From any thread, after the board changed: asks for one repaint until its paint has begun, so a
// burst of numbers costs one request per paint.
void controller_board_changed(Controller& controller);

// Returns whether the key was taken: Escape quits, F2 opens the second dialog, any other character
// the settings dialog; Alt combinations and keys while a dialog is open do nothing.
bool controller_key(Controller& controller, BoardKey key);

// Called by the paint once the window is validated: a change made after this asks again, and one
// made before it is in the copy returned for drawing.
BoardCopy controller_paint_begun(Controller& controller);
// After the paint: the extensions' round armed for what is now on show.
void controller_painted(Controller& controller);

void controller_timer_fired(Controller& controller, ShellTimer timer);

// `stored` after an OK that saved.
void controller_dialog_closed(Controller& controller, DialogKind kind, bool stored);

// Brings the web side in line with the settings' PVX2 block: started, restarted on a new port,
// stopped at 0, the PIN changed in place. Returns false when the wanted port cannot be bound (the
// board runs on without it); the F2 dialog's OK calls it before it closes, to say so.
bool controller_apply_web(Controller& controller);

// The web side changed the board (server thread): a repaint and a chime as for a datagram.
void controller_web_changed(Controller& controller, Outcome outcome);

// The pointer reported over the board at (x, y), as the window's coordinates.
void controller_pointer_moved(Controller& controller, int x, int y);
// The pointer crossed into or out of the board. The stillness is counted only while a shown pointer
// is over the board, so an idle board runs no timer.
void controller_pointer_over(Controller& controller, bool over);
// One tick of the pointer's timer, for a shell that learns only by looking at each tick whether the
// pointer is over the board (controller_timer_fired uses the crossings reported).
void controller_pointer_tick(Controller& controller, bool over_board);
