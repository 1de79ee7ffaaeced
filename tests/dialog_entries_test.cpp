// The settings dialog's OK rule without a window: entries reduced field by field, and a grid that
// would show nothing sent back to its box.
#include <gtest/gtest.h>

#include <cstring>

#include "res/resource.h"
#include "core/dialog_entries.h"

namespace {

DialogEntries typed(uint32_t rows, uint32_t columns) {
    DialogEntries e{};
    e.rows = rows;
    e.columns = columns;
    e.back_green = 50;
    e.back_blue = 150;
    e.text_red = e.text_green = e.text_blue = 240;
    return e;
}

}  // namespace

TEST(DialogEntries, AcceptedEntriesAreReducedFieldByField) {
    DialogEntries e{12, 25, 300, 256, 0, 255, 1000, 4294967295u, true};
    EntriesVerdict v = judge_entries(e);
    EXPECT_EQ(v.refused_box, 0);
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
    EXPECT_EQ(v.refused_box, 0);
    EXPECT_EQ(v.settings.rows, 4);
    EXPECT_EQ(v.settings.columns, 2);
    EXPECT_EQ(v.settings.back_blue, 150);
    EXPECT_EQ(v.settings.show_frame, 0);
}

TEST(DialogEntries, GridEntriesAboveTheSignedRangeStillFit) {
    EntriesVerdict v = judge_entries(typed(2147483659u, 4294967295u));
    EXPECT_EQ(v.refused_box, 0);
    EXPECT_EQ(v.settings.rows, 2);
    EXPECT_EQ(v.settings.columns, 3);
    v = judge_entries(typed(10, 10));
    EXPECT_EQ(v.refused_box, 0);
    EXPECT_EQ(v.settings.rows * v.settings.columns, 100);
}

TEST(DialogEntries, EmptyGridIsRefusedRowsFirst) {
    for (uint32_t none : {0u, 11u, 22u, 4294967292u}) {
        SCOPED_TRACE(none);
        EXPECT_EQ(judge_entries(typed(none, 2)).refused_box, IDC_ROWS);
        EXPECT_EQ(judge_entries(typed(4, none)).refused_box, IDC_COLUMNS);
        EXPECT_EQ(judge_entries(typed(none, none)).refused_box, IDC_ROWS);
    }
    EXPECT_EQ(judge_entries(typed(1, 1)).refused_box, 0);
}

TEST(ServiceEntries, ShownBoundedWithExpiryInMinutesRoundedUp) {
    const ServiceEntries shown = service_entries_of(ExtensionFields{90, 100000, 7, 0, -1});
    EXPECT_EQ(shown.expire_minutes, 2u);
    EXPECT_EQ(shown.highlight_seconds, 3600u);
    EXPECT_TRUE(shown.chime);
    EXPECT_FALSE(shown.commands);
    EXPECT_TRUE(shown.fit_text);
    EXPECT_EQ(service_entries_of(ExtensionFields{-60, -1, 0, 0, 0}).expire_minutes, 0u);
    EXPECT_EQ(service_entries_of(ExtensionFields{INT32_MAX, 0, 0, 0, 0}).expire_minutes, 1440u);
}

TEST(ServiceEntries, UnchangedEntriesKeepTheFileChangedOnesAreBounded) {
    const ExtensionFields loaded{90, 100000, 7, 0, -1};
    const ServiceEntries shown = service_entries_of(loaded);
    const ExtensionFields same = judge_service_entries(shown, loaded);
    EXPECT_EQ(std::memcmp(&same, &loaded, sizeof same), 0);

    ServiceEntries changed = shown;
    changed.expire_minutes = 5;
    changed.highlight_seconds = 4000;
    changed.chime = false;
    changed.commands = true;
    const ExtensionFields stored = judge_service_entries(changed, loaded);
    EXPECT_EQ(stored.expire_seconds, 300);
    EXPECT_EQ(stored.highlight_seconds, 3600);
    EXPECT_EQ(stored.chime, 0);
    EXPECT_EQ(stored.commands, 1);
    EXPECT_EQ(stored.fit_text, -1);

    changed.expire_minutes = UINT32_MAX;
    EXPECT_EQ(judge_service_entries(changed, loaded).expire_seconds, 86400);
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
