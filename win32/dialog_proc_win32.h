// What the two settings dialogs' procedures share: show on opening, store on OK, nothing on
// Escape or closing. Windows only.
#pragma once

#include <windows.h>

// The focus goes to the template's first tab stop; every other message is the platform's.
inline INT_PTR answer_dialog(HWND dialog, UINT message, WPARAM wparam, void (*show)(HWND),
                             void (*confirm)(HWND)) {
    if (message == WM_INITDIALOG) {
        show(dialog);
        return TRUE;
    }
    if (message != WM_COMMAND) {
        return FALSE;
    }
    switch (LOWORD(wparam)) {
        case IDOK:
            confirm(dialog);  // ends the dialog itself, unless it refuses the entries
            return TRUE;
        case IDCANCEL:
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        default:
            return FALSE;
    }
}
