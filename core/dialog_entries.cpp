// The settings dialog's OK rule: the two reductions, and refusing an empty grid.
#include "core/dialog_entries.h"

#include "res/resource.h"

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

}  // namespace

EntriesVerdict judge_entries(const DialogEntries& entries) {
    EntriesVerdict verdict{};
    BoardSettings& s = verdict.settings;
    s.rows = reduce_grid_entry(entries.rows);
    s.columns = reduce_grid_entry(entries.columns);
    s.back_red = reduce_colour_entry(entries.back_red);
    s.back_green = reduce_colour_entry(entries.back_green);
    s.back_blue = reduce_colour_entry(entries.back_blue);
    s.text_red = reduce_colour_entry(entries.text_red);
    s.text_green = reduce_colour_entry(entries.text_green);
    s.text_blue = reduce_colour_entry(entries.text_blue);
    s.show_frame = entries.show_frame ? 1 : 0;
    if (s.rows == 0) {
        verdict.refused_box = IDC_ROWS;
    } else if (s.columns == 0) {
        verdict.refused_box = IDC_COLUMNS;
    }
    return verdict;
}

ServiceEntries service_entries_of(const ExtensionFields& fields) {
    SettingsTail tail{};
    tail.present = true;
    tail.fields = fields;
    const Extensions on = extensions_of(tail);
    ServiceEntries shown{};
    shown.expire_minutes = static_cast<uint32_t>((on.expire_ms / 1000 + 59) / 60);
    shown.highlight_seconds = static_cast<uint32_t>(on.highlight_ms / 1000);
    shown.chime = on.chime;
    shown.commands = on.commands;
    shown.fit_text = on.fit_text;
    return shown;
}

ExtensionFields judge_service_entries(const ServiceEntries& entries,
                                      const ExtensionFields& loaded) {
    const ServiceEntries shown = service_entries_of(loaded);
    const auto bounded = [](uint32_t entry, int32_t most) {
        return entry < static_cast<uint32_t>(most) ? static_cast<int32_t>(entry) : most;
    };
    const auto flag = [](bool entry, bool was, int32_t as_loaded) {
        return entry == was ? as_loaded : (entry ? 1 : 0);
    };
    ExtensionFields fields = loaded;
    if (entries.expire_minutes != shown.expire_minutes) {
        fields.expire_seconds = bounded(entries.expire_minutes, kMaxExpireSeconds / 60) * 60;
    }
    if (entries.highlight_seconds != shown.highlight_seconds) {
        fields.highlight_seconds = bounded(entries.highlight_seconds, kMaxHighlightSeconds);
    }
    fields.chime = flag(entries.chime, shown.chime, loaded.chime);
    fields.commands = flag(entries.commands, shown.commands, loaded.commands);
    fields.fit_text = flag(entries.fit_text, shown.fit_text, loaded.fit_text);
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
