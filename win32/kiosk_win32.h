// What a board left running on a shop's screen needs from Windows: the display and the machine
// kept awake, and on a frameless board a pointer that gets out of the way (the rule is the
// controller's; here are the Windows calls it makes and the messages it is fed).
#pragma once

#include <windows.h>

#include <cstdint>

#include "live/controller.h"

// The Windows calls used here, as a table: the program uses the real ones, tests fakes that record.
struct KioskOps {
    EXECUTION_STATE(WINAPI* set_thread_execution_state)(EXECUTION_STATE flags);
    HCURSOR(WINAPI* set_cursor)(HCURSOR cursor);
    BOOL(WINAPI* get_cursor_pos)(POINT* point);
    HWND(WINAPI* window_from_point)(POINT point);
    UINT_PTR(WINAPI* set_timer)(HWND window, UINT_PTR id, UINT elapse_ms, TIMERPROC proc);
    BOOL(WINAPI* kill_timer)(HWND window, UINT_PTR id);
};

// Tests only: the calls to use from now on (the real ones when `ops` is null).
void use_kiosk_ops(const KioskOps* ops);

// Its own number, apart from any other timer the main window may run.
constexpr UINT_PTR kPointerTimerId = 0x504B;

// Keeps the display on and the machine awake until kiosk_release; both on the window thread.
void kiosk_keep_awake();
void kiosk_release();

// The pointer over `window` feeds `controller`. Windows reports no crossings: the pointer counts
// as over the board, and each tick looks whether it is.
void kiosk_watch_pointer(HWND window, Controller* controller);

// The pointer's part of the shell table.
void kiosk_arm_pointer_timer(HWND window, uint32_t wait_ms);
void kiosk_cancel_pointer_timer(HWND window);
void kiosk_show_pointer(bool shown);

// For the main window's procedure: true when the message was answered, with its result.
bool kiosk_pointer_message(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                           LRESULT* result);
