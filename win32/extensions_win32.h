// The main window's part in the extensions: the second dialog on F2, the one timer that expiry and
// the highlight share, and the chime. Windows only; the rules they follow are portable.
#pragma once

#include <windows.h>

// The main window's only timer: set while an entry is to expire or a highlight to end.
constexpr UINT_PTR kExtensionTimerId = 1;

// Opens "Obsluga zamówien" modally; after OK the board is redrawn with what it stored.
void open_service_dialog(HWND window);

// Sets the timer for the next round that is due, or stops it when none is. Cheap when nothing is
// on: no timer is ever set then.
void schedule_extension_timer(HWND window);

// WM_TIMER for kExtensionTimerId: one round of expiry and highlight, a repaint when it changed
// the picture, and the timer set for the next.
void run_extension_timer(HWND window);

// Plays the built-in chime without waiting for it; from any thread.
void play_chime();

// The seam tests count plays through: what play_chime calls (the resource through PlaySound
// unless replaced).
void set_chime_player(void (*player)());
void play_chime_resource();
