// The dialogs' rules, read row by row from the field table: what a box shows, and what its entry
// stores.
#include "core/dialog_entries.h"

namespace {

// The leading digits of a box's text, and where they end.
struct Digits {
    uint32_t value;
    bool overflow;  // more than 32 bits
    const char* end;
};

Digits read_digits(const char* text) {
    uint64_t value = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        value = value * 10 + static_cast<uint64_t>(*text - '0');
        if (value > UINT32_MAX) {
            return Digits{0, true, text};
        }
    }
    return Digits{static_cast<uint32_t>(value), false, text};
}

uint32_t shown_entry(const SettingField& row, int32_t field) {
    if (row.box == FieldBox::kCheck) {
        return field != 0 ? 1 : 0;
    }
    if (row.tail == nullptr || row.beyond == Beyond::kAsIs) {
        return static_cast<uint32_t>(field);
    }
    if (row.beyond == Beyond::kOff) {
        return field >= 0 && field <= row.most ? static_cast<uint32_t>(field) : 0;
    }
    const int32_t bounded = field <= 0 ? 0 : field < row.most ? field : row.most;
    return static_cast<uint32_t>((bounded + row.unit - 1) / row.unit);
}

int32_t stored_field(const SettingField& row, uint32_t entry) {
    if (row.box == FieldBox::kCheck) {
        return entry != 0 ? 1 : 0;
    }
    if (row.tail == nullptr) {
        return static_cast<int32_t>(entry % row.modulus);
    }
    if (row.beyond == Beyond::kAsIs) {
        return static_cast<int32_t>(entry);
    }
    if (row.beyond == Beyond::kOff) {
        return entry <= static_cast<uint32_t>(row.most) ? static_cast<int32_t>(entry) : 0;
    }
    const uint32_t most = static_cast<uint32_t>(row.most / row.unit);
    return static_cast<int32_t>(entry < most ? entry : most) * row.unit;
}

}  // namespace

DialogEntries entries_of(const BoardSettings& settings) {
    DialogEntries shown{};
    for (int i = 0; i < kRecordFieldCount; ++i) {
        shown.box[i] = shown_entry(kSettingFields[i], settings.*kSettingFields[i].setting);
    }
    return shown;
}

EntriesVerdict judge_entries(const DialogEntries& entries) {
    EntriesVerdict verdict{kNoField, {}};
    for (int i = 0; i < kRecordFieldCount; ++i) {
        const SettingField& row = kSettingFields[i];
        const int32_t field = stored_field(row, entries.box[i]);
        verdict.settings.*row.setting = field;
        if (row.required && field == 0 && verdict.refused == kNoField) {
            verdict.refused = i;
        }
    }
    return verdict;
}

ServiceEntries service_entries_of(const ExtensionFields& fields) {
    ServiceEntries shown{};
    for (int i = 0; i < kTailFieldCount; ++i) {
        const SettingField& row = kSettingFields[kRecordFieldCount + i];
        shown.box[i] = shown_entry(row, fields.*row.tail);
    }
    return shown;
}

ExtensionFields judge_service_entries(const ServiceEntries& entries,
                                      const ExtensionFields& loaded) {
    ExtensionFields fields = loaded;
    for (int i = 0; i < kTailFieldCount; ++i) {
        const SettingField& row = kSettingFields[kRecordFieldCount + i];
        if (shown_in_dialog(row) && entries.box[i] != shown_entry(row, loaded.*row.tail)) {
            fields.*row.tail = stored_field(row, entries.box[i]);
        }
    }
    return fields;
}

uint32_t service_entry_value(const char* text) {
    const Digits read = read_digits(text);
    return read.overflow ? UINT32_MAX : read.value;
}

uint32_t entry_value(const char* text) {
    const Digits read = read_digits(text);
    return read.overflow || *read.end != '\0' ? 0 : read.value;
}

uint32_t box_value(int field, const char* text) {
    return field < kRecordFieldCount ? entry_value(text) : service_entry_value(text);
}
