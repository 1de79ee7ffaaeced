// The settings dialog's procedure: fills the boxes from "setup.dat", and on OK hands the entries
// to judge_entries and either stores the result or sends the operator back to a box.
#include "win32/settings_dialog_win32.h"

#include "live/live_board.h"
#include "res/resource.h"
#include "core/dialog_entries.h"
#include "win32/dialog_proc_win32.h"
#include "core/settings.h"

namespace {

void show_settings(HWND dialog) {
    LiveBoard& board = live_board();
    load_settings(board);
    BoardSettings s;
    {
        std::lock_guard<std::mutex> hold(board.lock);
        s = board.settings;
    }
    const int32_t fields[] = {s.rows,      s.columns,  s.back_red,   s.back_green,
                              s.back_blue, s.text_red, s.text_green, s.text_blue};
    int box = IDC_ROWS;
    for (int32_t field : fields) {
        // Unsigned, as the boxes take digits only: a negative field from the file shows as its
        // 32-bit pattern.
        SetDlgItemInt(dialog, box++, static_cast<UINT>(field), FALSE);
    }
    CheckDlgButton(dialog, IDC_SHOW_FRAME, s.show_frame != 0 ? BST_CHECKED : BST_UNCHECKED);
}

uint32_t read_box(HWND dialog, int box) {
    // Empty, unreadable or too large for 32 bits: the platform gives 0.
    return GetDlgItemInt(dialog, box, nullptr, FALSE);
}

void confirm_settings(HWND dialog) {
    DialogEntries entries{};
    entries.rows = read_box(dialog, IDC_ROWS);
    entries.columns = read_box(dialog, IDC_COLUMNS);
    entries.back_red = read_box(dialog, IDC_BACK_RED);
    entries.back_green = read_box(dialog, IDC_BACK_GREEN);
    entries.back_blue = read_box(dialog, IDC_BACK_BLUE);
    entries.text_red = read_box(dialog, IDC_TEXT_RED);
    entries.text_green = read_box(dialog, IDC_TEXT_GREEN);
    entries.text_blue = read_box(dialog, IDC_TEXT_BLUE);
    entries.show_frame = SendDlgItemMessageA(dialog, IDC_SHOW_FRAME, BM_GETCHECK, 0, 0) != 0;

    const EntriesVerdict verdict = judge_entries(entries);
    if (verdict.refused_box != 0) {
        MessageBeep(MB_ICONWARNING);
        const HWND box = GetDlgItem(dialog, verdict.refused_box);
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
