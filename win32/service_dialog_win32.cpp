// The second dialog's procedure: reloads "setup.dat", shows its extension fields, and on OK hands
// the entries to judge_service_entries and stores what it gives.
#include "win32/service_dialog_win32.h"

#include "live/live_board.h"
#include "res/resource.h"
#include "core/dialog_entries.h"
#include "win32/dialog_proc_win32.h"

namespace {

ExtensionFields live_fields() {
    LiveBoard& board = live_board();
    std::lock_guard<std::mutex> hold(board.lock);
    return board.tail.present ? board.tail.fields : ExtensionFields{};
}

void show_fields(HWND dialog) {
    load_settings(live_board());
    const ServiceEntries shown = service_entries_of(live_fields());
    SetDlgItemInt(dialog, IDC_EXPIRE_MINUTES, shown.expire_minutes, FALSE);
    SetDlgItemInt(dialog, IDC_HIGHLIGHT_SECONDS, shown.highlight_seconds, FALSE);
    CheckDlgButton(dialog, IDC_CHIME, shown.chime ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(dialog, IDC_COMMANDS, shown.commands ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(dialog, IDC_FIT_TEXT, shown.fit_text ? BST_CHECKED : BST_UNCHECKED);
}

uint32_t read_box(HWND dialog, int box) {
    char text[32] = {};
    GetDlgItemTextA(dialog, box, text, sizeof text);
    return service_entry_value(text);
}

bool read_check(HWND dialog, int box) {
    return IsDlgButtonChecked(dialog, box) == BST_CHECKED;
}

void confirm_fields(HWND dialog) {
    ServiceEntries entries{};
    entries.expire_minutes = read_box(dialog, IDC_EXPIRE_MINUTES);
    entries.highlight_seconds = read_box(dialog, IDC_HIGHLIGHT_SECONDS);
    entries.chime = read_check(dialog, IDC_CHIME);
    entries.commands = read_check(dialog, IDC_COMMANDS);
    entries.fit_text = read_check(dialog, IDC_FIT_TEXT);
    store_extensions(live_board(), judge_service_entries(entries, live_fields()));
    EndDialog(dialog, IDOK);
}

}  // namespace

INT_PTR CALLBACK service_dialog_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
    return answer_dialog(dialog, message, wparam, show_fields, confirm_fields);
}
