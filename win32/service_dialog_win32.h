// The second dialog "Obsluga zamówien" (dialog resource IDD_SERVICE): its procedure, for
// DialogBoxParamA. Windows only.
#pragma once

#include <windows.h>

// Shows the extension fields as "setup.dat" holds them; OK stores the entries in the live record
// and the file and ends the dialog with 1; Escape or closing ends it with 2.
INT_PTR CALLBACK service_dialog_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
