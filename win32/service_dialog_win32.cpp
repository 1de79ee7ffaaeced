// The second dialog's procedure: reloads "setup.dat", shows its extension fields and the note on a
// PIN of 0, and on OK hands the entries to judge_service_entries and stores what it gives.
#include "win32/service_dialog_win32.h"

#include "core/dialog_entries.h"
#include "live/controller.h"
#include "live/live_board.h"
#include "win32/dialog_proc_win32.h"

namespace {

// The fields as shown, which an entry left alone keeps. The dialog is modal: one at a time.
ExtensionFields g_shown{};
bool g_said_refused = false;

// Below OK, in a row the dialog grows by, so the template stays as it is when all is well. Placed
// from OK's own place, so rows added above it move the message with it.
void say_port_refused(HWND dialog) {
    RECT ok{};
    GetWindowRect(GetDlgItem(dialog, IDOK), &ok);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&ok), 2);
    RECT row{12, 4, 227, 12};  // in dialog units, from OK's bottom edge
    MapDialogRect(dialog, &row);
    row.top += ok.bottom;
    row.bottom += ok.bottom;
    RECT grow{0, 0, 0, 14};
    MapDialogRect(dialog, &grow);
    RECT frame{};
    GetWindowRect(dialog, &frame);
    SetWindowPos(dialog, nullptr, 0, 0, frame.right - frame.left,
                 frame.bottom - frame.top + grow.bottom, SWP_NOMOVE | SWP_NOZORDER);
    const HWND text = CreateWindowExA(0, "STATIC", kWebPortRefused, WS_CHILD | WS_VISIBLE | SS_LEFT,
                                      row.left, row.top, row.right - row.left, row.bottom - row.top,
                                      dialog, nullptr, GetModuleHandleA(nullptr), nullptr);
    SendMessageA(text, WM_SETFONT, SendMessageA(dialog, WM_GETFONT, 0, 0), TRUE);
}

void show_fields(HWND dialog) {
    g_shown = dialog_snapshot(live_board()).fields;
    g_said_refused = false;
    SetDlgItemTextA(dialog, IDC_NO_PIN_NOTE, kNoPinNote);
    // An ANSI dialog hands its controls the template's texts in the ANSI code page, where a
    // Polish letter such as 'ł' may have no place; the voice's caption is given whole.
    wchar_t caption[64] = {};
    MultiByteToWideChar(CP_UTF8, 0, kSettingFields[field_index(&ExtensionFields::voice)].caption,
                        -1, caption, 64);
    SetDlgItemTextW(dialog, IDC_VOICE, caption);
    const ServiceEntries shown = service_entries_of(g_shown);
    show_entries(dialog, kRecordFieldCount, kTailFieldCount, shown.box);
}

void confirm_fields(HWND dialog) {
    ServiceEntries entries{};
    read_entries(dialog, kRecordFieldCount, kTailFieldCount, entries.box);
    g_shown = judge_service_entries(entries, g_shown);
    store_extensions(live_board(), g_shown);
    if (!controller_apply_web(board_controller()) && !g_said_refused) {
        g_said_refused = true;
        say_port_refused(dialog);
        return;
    }
    EndDialog(dialog, IDOK);
}

}  // namespace

INT_PTR CALLBACK service_dialog_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
    return answer_dialog(dialog, message, wparam, show_fields, confirm_fields);
}
