// Every field of "setup.dat" once: the record's nine in the file's order, then the tail's in
// theirs, each with the box a dialog shows it in and the rule its entries follow. The file codec,
// both dialogs and their OK rules read this table. Portable.
#pragma once

#include <cstdint>

#include "core/settings.h"

// kKept: kept as the file holds it and shown in no dialog (a field for what comes later).
enum class FieldBox { kDigits, kCheck, kKept };

// What a tail field beyond 0 to `most` counts as: the nearer bound; off (a port nobody typed is
// never opened); or nothing (the PIN, which the box shows and stores as typed, and whose every
// value beyond locks the changes rather than open them).
enum class Beyond { kBound, kOff, kAsIs };

struct SettingField {
    int32_t BoardSettings::*setting;  // a field of the 36 bytes, shown in the settings dialog; or
    int32_t ExtensionFields::*tail;   // one of the tail's, shown in the second dialog
    FieldBox box;
    const char* caption;  // beside the box, or the check box's own; nullptr: its group's only
    const char* group;    // the group box it stands in; nullptr: none
    // The record's entries keep their remainder of division by `modulus` (none for a check box),
    // and a `required` one that leaves 0 is refused.
    uint32_t modulus;
    bool required;
    // The tail's fields count as 0 when negative and at most `most` (in the file's unit); the box
    // shows them in units of `unit` of the file's, rounded up.
    int32_t most;
    int32_t unit;
    Beyond beyond;
};

namespace field_rows {

constexpr SettingField grid(int32_t BoardSettings::*setting, const char* caption) {
    return {setting, nullptr, FieldBox::kDigits, caption, nullptr, 11, true, 0, 1, Beyond::kBound};
}
constexpr SettingField colour(int32_t BoardSettings::*setting, const char* group) {
    return {setting, nullptr, FieldBox::kDigits, nullptr, group, 256, false, 0, 1, Beyond::kBound};
}
constexpr SettingField check(int32_t BoardSettings::*setting, const char* caption) {
    return {setting, nullptr, FieldBox::kCheck, caption, nullptr, 0, false, 0, 1, Beyond::kBound};
}
constexpr SettingField timed(int32_t ExtensionFields::*tail, const char* caption, int32_t most,
                             int32_t unit) {
    return {nullptr, tail, FieldBox::kDigits, caption, nullptr, 0, false,
            most,    unit, Beyond::kBound};
}
constexpr SettingField web(int32_t ExtensionFields::*tail, const char* caption, int32_t most,
                           Beyond beyond) {
    return {nullptr, tail, FieldBox::kDigits, caption, nullptr, 0, false, most, 1, beyond};
}
constexpr SettingField check(int32_t ExtensionFields::*tail, const char* caption) {
    return {nullptr, tail, FieldBox::kCheck, caption, nullptr, 0, false, 0, 1, Beyond::kBound};
}
constexpr SettingField kept(int32_t ExtensionFields::*tail) {
    return {nullptr, tail, FieldBox::kKept, nullptr, nullptr, 0, false, 0, 1, Beyond::kAsIs};
}

}  // namespace field_rows

// The captions are the dialog templates' own, byte for byte.
inline constexpr SettingField kSettingFields[] = {
    field_rows::grid(&BoardSettings::rows, "Ilosc zamówien w pionie:"),
    field_rows::grid(&BoardSettings::columns, "Ilosc zamówien w poziomie:"),
    field_rows::colour(&BoardSettings::back_red, "Kolor tla (RGB)"),
    field_rows::colour(&BoardSettings::back_green, "Kolor tla (RGB)"),
    field_rows::colour(&BoardSettings::back_blue, "Kolor tla (RGB)"),
    field_rows::colour(&BoardSettings::text_red, "Kolor napisów (RGB)"),
    field_rows::colour(&BoardSettings::text_green, "Kolor napisów (RGB)"),
    field_rows::colour(&BoardSettings::text_blue, "Kolor napisów (RGB)"),
    field_rows::check(&BoardSettings::show_frame, "Po uruchomieniu nie ukrywaj menu i ramki"),
    field_rows::timed(&ExtensionFields::expire_seconds,
                      "Usuwaj numer po (minuty, 0 = nigdy):", kMaxExpireSeconds, 60),
    field_rows::timed(&ExtensionFields::highlight_seconds,
                      "Wyrózniaj nowy numer (sekundy, 0 = nie):", kMaxHighlightSeconds, 1),
    field_rows::check(&ExtensionFields::chime, "Dzwiek przy nowym numerze"),
    field_rows::check(&ExtensionFields::commands,
                      "Przyjmuj polecenia: -57 usuwa 57, - czysci tablice"),
    field_rows::check(&ExtensionFields::fit_text, "Dopasuj numery do komórek"),
    field_rows::web(&ExtensionFields::web_port, "Strona WWW, port (0 = wylaczona):", kMaxWebPort,
                    Beyond::kOff),
    field_rows::web(&ExtensionFields::staff_pin, "PIN obslugi (0 = bez PIN-u):", kMaxStaffPin,
                    Beyond::kAsIs),
    field_rows::check(&ExtensionFields::zones, "Dwie strefy: w przygotowaniu / gotowe"),
    field_rows::timed(&ExtensionFields::overdue_seconds,
                      "Przypomnij po (sekundy, 0 = nie):", kMaxOverdueSeconds, 1),
    field_rows::check(&ExtensionFields::voice, "Wywołuj numery głosem"),
    field_rows::kept(&ExtensionFields::reserved),
};

// Whether the dialogs give the row a box. A kept row has none anywhere, so no OK can write it.
constexpr bool shown_in_dialog(const SettingField& row) {
    return row.box != FieldBox::kKept;
}

// Said under the PIN's box in the second dialog, on both boards: no field of its own, so the file
// and the table stay as they are.
inline constexpr char kNoPinNote[] = "PIN 0: kazdy w sieci sklepu moze zmieniac numery na tablicy.";

constexpr int kFieldCount = static_cast<int>(sizeof kSettingFields / sizeof kSettingFields[0]);
constexpr int kRecordFieldCount = static_cast<int>(sizeof(BoardSettings) / sizeof(int32_t));
constexpr int kTailFieldCount = static_cast<int>(sizeof(ExtensionFields) / sizeof(int32_t));
constexpr int kNoField = -1;
// The second block's rows, then the third's, close the table.
constexpr int kFirstWebField = kRecordFieldCount + static_cast<int>(kExtensionFieldCount);
constexpr int kFirstZonesField = kFirstWebField + static_cast<int>(kWebFieldCount);

// A field's row in the table; kNoField for none.
constexpr int field_index(int32_t BoardSettings::*setting) {
    for (int i = 0; i < kFieldCount; ++i) {
        if (kSettingFields[i].setting == setting) {
            return i;
        }
    }
    return kNoField;
}
constexpr int field_index(int32_t ExtensionFields::*tail) {
    for (int i = 0; i < kFieldCount; ++i) {
        if (kSettingFields[i].tail == tail) {
            return i;
        }
    }
    return kNoField;
}

// The record's rows come first, then the tail's, each part with one row per field.
constexpr bool rows_in_two_parts() {
    for (int i = 0; i < kFieldCount; ++i) {
        const bool record = i < kRecordFieldCount;
        if ((kSettingFields[i].setting != nullptr) != record ||
            (kSettingFields[i].tail != nullptr) == record) {
            return false;
        }
        for (int j = 0; j < i; ++j) {
            if (record ? kSettingFields[j].setting == kSettingFields[i].setting
                       : kSettingFields[j].tail == kSettingFields[i].tail) {
                return false;
            }
        }
    }
    return kFieldCount == kRecordFieldCount + kTailFieldCount;
}
static_assert(rows_in_two_parts(), "one row for every field, the record's first");
static_assert(field_index(&ExtensionFields::web_port) == kFirstWebField &&
                  field_index(&ExtensionFields::staff_pin) == kFirstWebField + 1 &&
                  field_index(&ExtensionFields::zones) == kFirstZonesField &&
                  field_index(&ExtensionFields::reserved) == kFieldCount - 1 &&
                  kFirstZonesField + static_cast<int>(kZonesFieldCount) == kFieldCount,
              "the second and third blocks' rows last, in the file's order");
