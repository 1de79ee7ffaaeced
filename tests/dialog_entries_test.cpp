// The dialogs' OK rules without a window: entries reduced field by field, a grid that would show
// nothing sent back to its box, and every row of the field table through the file and its dialog.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "core/dialog_entries.h"

namespace {

uint32_t& entry(DialogEntries& e, int32_t BoardSettings::*field) {
    return e.box[field_index(field)];
}

uint32_t& entry(ServiceEntries& e, int32_t ExtensionFields::*field) {
    return e.box[field_index(field) - kRecordFieldCount];
}

DialogEntries typed(uint32_t rows, uint32_t columns) {
    DialogEntries e{};
    entry(e, &BoardSettings::rows) = rows;
    entry(e, &BoardSettings::columns) = columns;
    entry(e, &BoardSettings::back_green) = 50;
    entry(e, &BoardSettings::back_blue) = 150;
    entry(e, &BoardSettings::text_red) = entry(e, &BoardSettings::text_green) =
        entry(e, &BoardSettings::text_blue) = 240;
    return e;
}

const int kRows = field_index(&BoardSettings::rows);
const int kColumns = field_index(&BoardSettings::columns);

}  // namespace

TEST(DialogEntries, AcceptedEntriesAreReducedFieldByField) {
    DialogEntries e{12, 25, 300, 256, 0, 255, 1000, 4294967295u, true};
    EntriesVerdict v = judge_entries(e);
    EXPECT_EQ(v.refused, kNoField);
    const BoardSettings& s = v.settings;
    EXPECT_EQ(s.rows, 1);
    EXPECT_EQ(s.columns, 3);
    EXPECT_EQ(s.back_red, 44);
    EXPECT_EQ(s.back_green, 0);
    EXPECT_EQ(s.back_blue, 0);
    EXPECT_EQ(s.text_red, 255);
    EXPECT_EQ(s.text_green, 232);
    EXPECT_EQ(s.text_blue, 255);
    EXPECT_EQ(s.show_frame, 1);

    v = judge_entries(typed(4, 2));
    EXPECT_EQ(v.refused, kNoField);
    EXPECT_EQ(v.settings.rows, 4);
    EXPECT_EQ(v.settings.columns, 2);
    EXPECT_EQ(v.settings.back_blue, 150);
    EXPECT_EQ(v.settings.show_frame, 0);
}

TEST(DialogEntries, GridEntriesAboveTheSignedRangeStillFit) {
    EntriesVerdict v = judge_entries(typed(2147483659u, 4294967295u));
    EXPECT_EQ(v.refused, kNoField);
    EXPECT_EQ(v.settings.rows, 2);
    EXPECT_EQ(v.settings.columns, 3);
    v = judge_entries(typed(10, 10));
    EXPECT_EQ(v.refused, kNoField);
    EXPECT_EQ(v.settings.rows * v.settings.columns, 100);
}

TEST(DialogEntries, EmptyGridIsRefusedRowsFirst) {
    for (uint32_t none : {0u, 11u, 22u, 4294967292u}) {
        SCOPED_TRACE(none);
        EXPECT_EQ(judge_entries(typed(none, 2)).refused, kRows);
        EXPECT_EQ(judge_entries(typed(4, none)).refused, kColumns);
        EXPECT_EQ(judge_entries(typed(none, none)).refused, kRows);
    }
    EXPECT_EQ(judge_entries(typed(1, 1)).refused, kNoField);
}

TEST(ServiceEntries, ShownBoundedWithExpiryInMinutesRoundedUp) {
    ServiceEntries shown = service_entries_of(ExtensionFields{90, 100000, 7, 0, -1});
    EXPECT_EQ(entry(shown, &ExtensionFields::expire_seconds), 2u);
    EXPECT_EQ(entry(shown, &ExtensionFields::highlight_seconds), 3600u);
    EXPECT_TRUE(entry(shown, &ExtensionFields::chime));
    EXPECT_FALSE(entry(shown, &ExtensionFields::commands));
    EXPECT_TRUE(entry(shown, &ExtensionFields::fit_text));
    ServiceEntries none = service_entries_of(ExtensionFields{-60, -1, 0, 0, 0});
    EXPECT_EQ(entry(none, &ExtensionFields::expire_seconds), 0u);
    ServiceEntries most = service_entries_of(ExtensionFields{INT32_MAX, 0, 0, 0, 0});
    EXPECT_EQ(entry(most, &ExtensionFields::expire_seconds), 1440u);
}

TEST(ServiceEntries, UnchangedEntriesKeepTheFileChangedOnesAreBounded) {
    const ExtensionFields loaded{90, 100000, 7, 0, -1};
    const ServiceEntries shown = service_entries_of(loaded);
    const ExtensionFields same = judge_service_entries(shown, loaded);
    EXPECT_EQ(std::memcmp(&same, &loaded, sizeof same), 0);

    ServiceEntries changed = shown;
    entry(changed, &ExtensionFields::expire_seconds) = 5;
    entry(changed, &ExtensionFields::highlight_seconds) = 4000;
    entry(changed, &ExtensionFields::chime) = 0;
    entry(changed, &ExtensionFields::commands) = 1;
    const ExtensionFields stored = judge_service_entries(changed, loaded);
    EXPECT_EQ(stored.expire_seconds, 300);
    EXPECT_EQ(stored.highlight_seconds, 3600);
    EXPECT_EQ(stored.chime, 0);
    EXPECT_EQ(stored.commands, 1);
    EXPECT_EQ(stored.fit_text, -1);

    entry(changed, &ExtensionFields::expire_seconds) = UINT32_MAX;
    EXPECT_EQ(judge_service_entries(changed, loaded).expire_seconds, 86400);
}

// A port the board counts as off shows as 0 and a changed one above 65535 is stored as off, never
// as a port nobody typed. The PIN shows as held and is stored as typed: a value beyond 8 digits
// locks the changes (web_settings_of) and must never turn into 0, no PIN.
TEST(ServiceEntries, WebPortOffBeyondItsRangePinAsTyped) {
    ExtensionFields loaded{};
    loaded.web_port = 70000;
    loaded.staff_pin = -7;
    ServiceEntries shown = service_entries_of(loaded);
    EXPECT_EQ(entry(shown, &ExtensionFields::web_port), 0u);
    EXPECT_EQ(entry(shown, &ExtensionFields::staff_pin), static_cast<uint32_t>(-7));
    const ExtensionFields same = judge_service_entries(shown, loaded);
    EXPECT_EQ(std::memcmp(&same, &loaded, sizeof same), 0);

    loaded.web_port = -1;
    shown = service_entries_of(loaded);
    EXPECT_EQ(entry(shown, &ExtensionFields::web_port), 0u);
    loaded.web_port = 8080;
    loaded.staff_pin = 1234;
    ServiceEntries changed = service_entries_of(loaded);
    EXPECT_EQ(entry(changed, &ExtensionFields::web_port), 8080u);
    EXPECT_EQ(entry(changed, &ExtensionFields::staff_pin), 1234u);
    for (const uint32_t port : {65536u, UINT32_MAX}) {
        entry(changed, &ExtensionFields::web_port) = port;
        EXPECT_EQ(judge_service_entries(changed, loaded).web_port, 0) << port;
    }
    entry(changed, &ExtensionFields::web_port) = 65535;
    EXPECT_EQ(judge_service_entries(changed, loaded).web_port, 65535);
    for (const uint32_t pin : {123456789u, UINT32_MAX}) {
        entry(changed, &ExtensionFields::staff_pin) = pin;
        EXPECT_EQ(judge_service_entries(changed, loaded).staff_pin, static_cast<int32_t>(pin));
    }
}

TEST(ServiceEntries, BoxesReadAsNumbersSaturating) {
    EXPECT_EQ(service_entry_value(""), 0u);
    EXPECT_EQ(service_entry_value("0"), 0u);
    EXPECT_EQ(service_entry_value("0042"), 42u);
    EXPECT_EQ(service_entry_value("4294967295"), 4294967295u);
    EXPECT_EQ(service_entry_value("4294967296"), 4294967295u);
    EXPECT_EQ(service_entry_value("99999999999999999999999"), 4294967295u);
    EXPECT_EQ(service_entry_value("12x3"), 12u);
}

TEST(DialogEntries, BoxTextReadsAsTheWindowsDialogReadsIt) {
    EXPECT_EQ(entry_value(""), 0u);
    EXPECT_EQ(entry_value("0"), 0u);
    EXPECT_EQ(entry_value("007"), 7u);
    EXPECT_EQ(entry_value("300"), 300u);
    EXPECT_EQ(entry_value("4294967295"), 4294967295u);
    // One past the 32-bit range, and far past it, read as 0 rather than wrapping.
    EXPECT_EQ(entry_value("4294967296"), 0u);
    EXPECT_EQ(entry_value("99999999999999999999999"), 0u);
    EXPECT_EQ(entry_value("12a"), 0u);
}

// Each row alone: the file holds its field where the table's order puts it and reads it back, its
// dialog shows it, and OK gives it back, left as shown or typed afresh into an empty record.
TEST(SettingFields, EveryRowRoundTripsThroughTheFileAndItsDialog) {
    for (int i = 0; i < kFieldCount; ++i) {
        const SettingField& row = kSettingFields[i];
        SCOPED_TRACE(i);
        // One that each reduction keeps as it is: the largest left by the remainder, the bound;
        // any for a field no dialog shows.
        const int32_t value = row.box == FieldBox::kCheck  ? 1
                              : row.box == FieldBox::kKept ? 12345
                              : row.tail != nullptr        ? row.most
                                                           : static_cast<int32_t>(row.modulus - 1);
        BoardSettings settings{};
        SettingsTail tail{true, {}, {}};
        const bool record = i < kRecordFieldCount;
        (record ? settings.*row.setting : tail.fields.*row.tail) = value;
        // The second block's rows are stored after its own marker, in a 72-byte file, and the
        // third's after theirs, in a 92-byte one.
        const bool web = i >= kFirstWebField;
        const bool zones = i >= kFirstZonesField;
        tail.web_present = web;
        tail.zones_present = zones;

        const std::vector<unsigned char> bytes = settings_file_bytes(settings, tail);
        const size_t at = record  ? 4 * static_cast<size_t>(i)
                          : zones ? kWebTailedFileSize + sizeof kZonesTailMarker +
                                        4 * static_cast<size_t>(i - kFirstZonesField)
                          : web ? kTailedFileSize + sizeof kWebTailMarker +
                                      4 * static_cast<size_t>(i - kFirstWebField)
                                : kSettingsFileSize + sizeof kTailMarker +
                                      4 * static_cast<size_t>(i - kRecordFieldCount);
        std::vector<unsigned char> want(zones ? kZonesTailedFileSize
                                        : web ? kWebTailedFileSize
                                              : kTailedFileSize,
                                        0);
        std::memcpy(&want[kSettingsFileSize], kTailMarker, sizeof kTailMarker);
        if (web) {
            std::memcpy(&want[kTailedFileSize], kWebTailMarker, sizeof kWebTailMarker);
        }
        if (zones) {
            std::memcpy(&want[kWebTailedFileSize], kZonesTailMarker, sizeof kZonesTailMarker);
        }
        for (size_t b = 0; b < 4; ++b) {
            want[at + b] = static_cast<unsigned char>(static_cast<uint32_t>(value) >> (8 * b));
        }
        EXPECT_EQ(bytes, want);
        BoardSettings read{};
        SettingsTail read_tail{};
        ASSERT_TRUE(decode_settings_file(bytes.data(), bytes.size(), &read, &read_tail));
        EXPECT_EQ((record ? read.*row.setting : read_tail.fields.*row.tail), value);
        EXPECT_EQ(read_tail.web_present, web);
        EXPECT_EQ(read_tail.zones_present, zones);
        EXPECT_TRUE(read_tail.kept.empty());

        if (record) {
            const EntriesVerdict shown = judge_entries(entries_of(settings));
            EXPECT_EQ(shown.settings.*row.setting, value);
            DialogEntries typed_alone{};
            typed_alone.box[i] = entries_of(settings).box[i];
            EXPECT_EQ(judge_entries(typed_alone).settings.*row.setting, value);
        } else {
            const ServiceEntries shown = service_entries_of(tail.fields);
            EXPECT_EQ(judge_service_entries(shown, tail.fields).*row.tail, value);
            // A field no dialog shows keeps what the file held, whatever its box says.
            EXPECT_EQ(judge_service_entries(shown, ExtensionFields{}).*row.tail,
                      row.box == FieldBox::kKept ? 0 : value);
        }
    }
}
