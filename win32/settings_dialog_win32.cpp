// The settings dialog's procedure: fills the boxes from "setup.dat", and on OK hands the entries
// to judge_entries and either stores the result or sends the operator back to a box.
#include "win32/settings_dialog_win32.h"

#include "core/dialog_entries.h"
#include "live/live_board.h"
#include "win32/dialog_proc_win32.h"

namespace {

void show_settings(HWND dialog) {
    const DialogEntries shown = entries_of(dialog_snapshot(live_board()).settings);
    show_entries(dialog, 0, kRecordFieldCount, shown.box);
}

void confirm_settings(HWND dialog) {
    DialogEntries entries{};
    read_entries(dialog, 0, kRecordFieldCount, entries.box);
    const EntriesVerdict verdict = judge_entries(entries);
    if (verdict.refused != kNoField) {
        MessageBeep(MB_ICONWARNING);
        const HWND box = GetDlgItem(dialog, control_of(verdict.refused));
        // The dialog's own way of moving the focus, so the default button follows it.
        SendMessageA(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(box), TRUE);
        SendMessageA(box, EM_SETSEL, 0, -1);  // the whole entry, ready to be typed over
        return;
    }
    store_settings(live_board(), verdict.settings);
    EndDialog(dialog, IDOK);
}

}  // namespace

INT_PTR CALLBACK settings_dialog_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
    return answer_dialog(dialog, message, wparam, show_settings, confirm_settings);
}
