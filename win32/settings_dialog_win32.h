// The settings dialog "Parametry" (dialog resource IDD_SETTINGS): its procedure, for
// DialogBoxParamA. Windows only.
#pragma once

#include <windows.h>

// Shows the settings as "setup.dat" holds them; OK stores the reduced entries in the live record
// and the file and ends the dialog with 1, unless the grid would be empty; Cancel ends it with 2.
INT_PTR CALLBACK settings_dialog_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
