// What the two settings dialogs' procedures share: show on opening, store on OK, nothing on
// Escape or closing, and the control that holds each field's box. Windows only.
#pragma once

#include <windows.h>

#include <cstdint>

#include "core/dialog_entries.h"
#include "core/setting_fields.h"
#include "res/resource.h"

// Each row of the field table that a dialog shows to its control in the dialog templates.
struct FieldControl {
    int field;
    int id;
};
inline constexpr FieldControl kFieldControls[] = {
    {field_index(&BoardSettings::rows), IDC_ROWS},
    {field_index(&BoardSettings::columns), IDC_COLUMNS},
    {field_index(&BoardSettings::back_red), IDC_BACK_RED},
    {field_index(&BoardSettings::back_green), IDC_BACK_GREEN},
    {field_index(&BoardSettings::back_blue), IDC_BACK_BLUE},
    {field_index(&BoardSettings::text_red), IDC_TEXT_RED},
    {field_index(&BoardSettings::text_green), IDC_TEXT_GREEN},
    {field_index(&BoardSettings::text_blue), IDC_TEXT_BLUE},
    {field_index(&BoardSettings::show_frame), IDC_SHOW_FRAME},
    {field_index(&ExtensionFields::expire_seconds), IDC_EXPIRE_MINUTES},
    {field_index(&ExtensionFields::highlight_seconds), IDC_HIGHLIGHT_SECONDS},
    {field_index(&ExtensionFields::chime), IDC_CHIME},
    {field_index(&ExtensionFields::commands), IDC_COMMANDS},
    {field_index(&ExtensionFields::fit_text), IDC_FIT_TEXT},
    {field_index(&ExtensionFields::web_port), IDC_WEB_PORT},
    {field_index(&ExtensionFields::staff_pin), IDC_STAFF_PIN},
    {field_index(&ExtensionFields::zones), IDC_ZONES},
    {field_index(&ExtensionFields::overdue_seconds), IDC_OVERDUE_SECONDS},
    {field_index(&ExtensionFields::voice), IDC_VOICE},
};

constexpr int control_of(int field) {
    for (const FieldControl& c : kFieldControls) {
        if (c.field == field) {
            return c.id;
        }
    }
    return 0;
}

constexpr bool every_shown_field_has_a_control() {
    int shown = 0;
    for (int i = 0; i < kFieldCount; ++i) {
        if ((control_of(i) != 0) != shown_in_dialog(kSettingFields[i])) {
            return false;
        }
        shown += shown_in_dialog(kSettingFields[i]) ? 1 : 0;
    }
    return sizeof kFieldControls / sizeof kFieldControls[0] == static_cast<size_t>(shown);
}
static_assert(every_shown_field_has_a_control(),
              "a shown field with no box in the templates, or a kept one with a box");

// The boxes of `count` rows from `first` show `entries`. Rows with no box are passed over, here
// and in reading.
inline void show_entries(HWND dialog, int first, int count, const uint32_t* entries) {
    for (int i = 0; i < count; ++i) {
        const int id = control_of(first + i);
        if (!shown_in_dialog(kSettingFields[first + i])) {
            continue;
        }
        if (kSettingFields[first + i].box == FieldBox::kCheck) {
            CheckDlgButton(dialog, id, entries[i] != 0 ? BST_CHECKED : BST_UNCHECKED);
        } else {
            SetDlgItemInt(dialog, id, entries[i], FALSE);
        }
    }
}

// What those boxes hold as typed. The settings dialog's are read by the platform, which
// entry_value follows; the second dialog's by box_value.
inline void read_entries(HWND dialog, int first, int count, uint32_t* entries) {
    for (int i = 0; i < count; ++i) {
        const int field = first + i;
        const int id = control_of(field);
        if (!shown_in_dialog(kSettingFields[field])) {
            continue;
        }
        if (kSettingFields[field].box == FieldBox::kCheck) {
            entries[i] = IsDlgButtonChecked(dialog, id) == BST_CHECKED ? 1 : 0;
        } else if (field < kRecordFieldCount) {
            // Empty, unreadable or too large for 32 bits: the platform gives 0.
            entries[i] = GetDlgItemInt(dialog, id, nullptr, FALSE);
        } else {
            char text[32] = {};
            GetDlgItemTextA(dialog, id, text, sizeof text);
            entries[i] = box_value(field, text);
        }
    }
}

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
