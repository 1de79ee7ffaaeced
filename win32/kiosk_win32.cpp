// Keep-awake and pointer hiding for the board, on top of the portable rule in core/pointer_idle.h.
#include "win32/kiosk_win32.h"

#include "core/pointer_idle.h"

namespace {

const KioskOps kRealOps = {
    SetThreadExecutionState,
    SetCursor,
    GetCursorPos,
    WindowFromPoint,
    GetTickCount,
    SetTimer,
    KillTimer,
};

const KioskOps* g_ops = &kRealOps;

// All of it lives on the window thread: the timer and the window's messages arrive there.
HWND g_watched = nullptr;
bool g_timer_running = false;
PointerIdle g_idle{};
HCURSOR g_shown_cursor = nullptr;

void start_timer(HWND window);

void apply(PointerChange change) {
    if (change == PointerChange::kHide) {
        g_shown_cursor = g_ops->set_cursor(nullptr);
    } else if (change == PointerChange::kShow) {
        g_ops->set_cursor(g_shown_cursor != nullptr ? g_shown_cursor
                                                    : LoadCursorA(nullptr, IDC_ARROW));
    }
}

void CALLBACK pointer_timer(HWND, UINT, UINT_PTR, DWORD) {
    POINT point{};
    // Only over the board itself: the pointer stays where the settings dialog is being used.
    const bool over_board =
        g_ops->get_cursor_pos(&point) != FALSE && g_ops->window_from_point(point) == g_watched;
    apply(pointer_tick(&g_idle, over_board, g_ops->get_tick_count()));
    // Only a movement can bring it back, and that arrives as a message: an idle board with its
    // pointer hidden wakes for nothing.
    if (g_idle.hidden) {
        g_ops->kill_timer(g_watched, kPointerTimerId);
        g_timer_running = false;
    }
}

void start_timer(HWND window) {
    g_timer_running =
        g_ops->set_timer(window, kPointerTimerId, kPointerTimerMs, pointer_timer) != 0;
}

}  // namespace

void use_kiosk_ops(const KioskOps* ops) {
    g_ops = ops != nullptr ? ops : &kRealOps;
}

void kiosk_keep_awake() {
    g_ops->set_thread_execution_state(ES_CONTINUOUS | ES_DISPLAY_REQUIRED | ES_SYSTEM_REQUIRED);
}

void kiosk_release() {
    if (g_watched != nullptr) {
        g_ops->kill_timer(g_watched, kPointerTimerId);
        g_watched = nullptr;
        g_timer_running = false;
    }
    g_ops->set_thread_execution_state(ES_CONTINUOUS);
}

void kiosk_watch_pointer(HWND window, bool framed) {
    if (framed) {
        return;
    }
    g_idle = pointer_idle_start(g_ops->get_tick_count());
    g_shown_cursor = nullptr;
    start_timer(window);
    if (g_timer_running) {
        g_watched = window;
    }
}

bool kiosk_pointer_message(HWND window, UINT message, WPARAM, LPARAM lParam, LRESULT* result) {
    if (window != g_watched || g_watched == nullptr) {
        return false;
    }
    if (message == WM_MOUSEMOVE) {
        // Client coordinates, signed: a captured pointer can report beyond the window's edges.
        const int x = static_cast<short>(LOWORD(lParam));
        const int y = static_cast<short>(HIWORD(lParam));
        apply(pointer_moved(&g_idle, x, y, g_ops->get_tick_count()));
        if (!g_idle.hidden && !g_timer_running) {
            start_timer(window);
        }
        return false;  // default processing as before
    }
    if (message == WM_SETCURSOR && g_idle.hidden && LOWORD(lParam) == HTCLIENT) {
        // Default processing would put the class's arrow back on every pointer message.
        g_ops->set_cursor(nullptr);
        *result = TRUE;
        return true;
    }
    return false;
}
