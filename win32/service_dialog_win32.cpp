// The second dialog's procedure: reloads "setup.dat", shows its extension fields, and on OK hands
// the entries to judge_service_entries and stores what it gives.
#include "win32/service_dialog_win32.h"

#include "core/dialog_entries.h"
#include "live/live_board.h"
#include "win32/dialog_proc_win32.h"

namespace {

// The fields as shown, which an entry left alone keeps. The dialog is modal: one at a time.
ExtensionFields g_shown{};

void show_fields(HWND dialog) {
    g_shown = dialog_snapshot(live_board()).fields;
    const ServiceEntries shown = service_entries_of(g_shown);
    show_entries(dialog, kRecordFieldCount, kTailFieldCount, shown.box);
}

void confirm_fields(HWND dialog) {
    ServiceEntries entries{};
    read_entries(dialog, kRecordFieldCount, kTailFieldCount, entries.box);
    store_extensions(live_board(), judge_service_entries(entries, g_shown));
    EndDialog(dialog, IDOK);
}

}  // namespace

INT_PTR CALLBACK service_dialog_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
    return answer_dialog(dialog, message, wparam, show_fields, confirm_fields);
}
