// What a board left running on a shop's screen needs from Windows: the display and the machine
// kept awake, and on a frameless board a pointer that gets out of the way.
#pragma once

#include <windows.h>

// The Windows calls used here, as a table: the program uses the real ones, tests fakes that record.
struct KioskOps {
    EXECUTION_STATE(WINAPI* set_thread_execution_state)(EXECUTION_STATE flags);
    HCURSOR(WINAPI* set_cursor)(HCURSOR cursor);
    BOOL(WINAPI* get_cursor_pos)(POINT* point);
    HWND(WINAPI* window_from_point)(POINT point);
    DWORD(WINAPI* get_tick_count)();
    UINT_PTR(WINAPI* set_timer)(HWND window, UINT_PTR id, UINT elapse_ms, TIMERPROC proc);
    BOOL(WINAPI* kill_timer)(HWND window, UINT_PTR id);
};

// Tests only: the calls to use from now on (the real ones when `ops` is null).
void use_kiosk_ops(const KioskOps* ops);

// Its own number, apart from any other timer the main window may run.
constexpr UINT_PTR kPointerTimerId = 0x504B;
constexpr UINT kPointerTimerMs = 250;

// Keeps the display on and the machine awake until kiosk_release; both on the window thread.
void kiosk_keep_awake();
void kiosk_release();

// Starts watching the pointer over `window`, only when the board is frameless.
void kiosk_watch_pointer(HWND window, bool framed);

// For the main window's procedure: true when the message was answered, with its result.
bool kiosk_pointer_message(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                           LRESULT* result);
