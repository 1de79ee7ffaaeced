// Keep-awake and the pointer's Windows calls for the board, under the controller's rule.
#include "win32/kiosk_win32.h"

namespace {

const KioskOps kRealOps = {
    SetThreadExecutionState, SetCursor, GetCursorPos, WindowFromPoint, SetTimer, KillTimer,
};

const KioskOps* g_ops = &kRealOps;

// All of it lives on the window thread: the timer and the window's messages arrive there.
HWND g_watched = nullptr;
Controller* g_controller = nullptr;
bool g_hidden = false;
HCURSOR g_shown_cursor = nullptr;

void CALLBACK pointer_timer(HWND, UINT, UINT_PTR, DWORD) {
    POINT point{};
    // Only over the board itself: the pointer stays where the settings dialog is being used.
    const bool over_board =
        g_ops->get_cursor_pos(&point) != FALSE && g_ops->window_from_point(point) == g_watched;
    controller_pointer_tick(*g_controller, over_board);
}

}  // namespace

void use_kiosk_ops(const KioskOps* ops) {
    g_ops = ops != nullptr ? ops : &kRealOps;
}

void kiosk_keep_awake() {
    g_ops->set_thread_execution_state(ES_CONTINUOUS | ES_DISPLAY_REQUIRED | ES_SYSTEM_REQUIRED);
}

void kiosk_release() {
    g_watched = nullptr;
    g_controller = nullptr;
    g_ops->set_thread_execution_state(ES_CONTINUOUS);
}

void kiosk_watch_pointer(HWND window, Controller* controller) {
    g_watched = window;
    g_controller = controller;
    g_hidden = false;
    g_shown_cursor = nullptr;
    controller_pointer_over(*controller, true);
}

void kiosk_arm_pointer_timer(HWND window, uint32_t wait_ms) {
    g_ops->set_timer(window, kPointerTimerId, wait_ms, pointer_timer);
}

void kiosk_cancel_pointer_timer(HWND window) {
    g_ops->kill_timer(window, kPointerTimerId);
}

void kiosk_show_pointer(bool shown) {
    g_hidden = !shown;
    if (!shown) {
        g_shown_cursor = g_ops->set_cursor(nullptr);
    } else {
        g_ops->set_cursor(g_shown_cursor != nullptr ? g_shown_cursor
                                                    : LoadCursorA(nullptr, IDC_ARROW));
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
        controller_pointer_moved(*g_controller, x, y);
        return false;  // default processing as before
    }
    if (message == WM_SETCURSOR && g_hidden && LOWORD(lParam) == HTCLIENT) {
        // Default processing would put the class's arrow back on every pointer message.
        g_ops->set_cursor(nullptr);
        *result = TRUE;
        return true;
    }
    return false;
}
