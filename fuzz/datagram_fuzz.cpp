// libFuzzer target: any sequence of datagrams, and grid changes between them, applied to the board
// as the receiver applies them, with commands switched on and off; aborts on the first datagram
// after which the table is wrong.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "live/live_board.h"

namespace {

// Input: one byte for the grid, then records until the input ends:
//   0xFF g       the operator changes the grid to g between two datagrams;
//   0xFE         commands are switched on, or off again;
//   0xFD         two zones are switched on, or off again;
//   L bytes...   one datagram of L bytes (L below 0xFD), shorter when the input runs out.
constexpr uint8_t kGridChange = 0xFF;
constexpr uint8_t kCommandsToggle = 0xFE;
constexpr uint8_t kZonesToggle = 0xFD;
constexpr uint8_t kVoiceToggle = 0xFC;

void toggle_zones(LiveBoard& board) {
    std::lock_guard<std::mutex> hold(board.lock);
    board.tail.present = board.tail.web_present = board.tail.zones_present = true;
    board.tail.fields.zones = board.tail.fields.zones == 0 ? 1 : 0;
    board.extensions = extensions_of(board.tail);
}

void toggle_voice(LiveBoard& board) {
    std::lock_guard<std::mutex> hold(board.lock);
    board.tail.present = board.tail.web_present = board.tail.zones_present = true;
    board.tail.fields.voice = board.tail.fields.voice == 0 ? 1 : 0;
    board.extensions = extensions_of(board.tail);
}

bool voice_on(LiveBoard& board) {
    std::lock_guard<std::mutex> hold(board.lock);
    return board.extensions.voice;
}

bool zones_on(LiveBoard& board) {
    std::lock_guard<std::mutex> hold(board.lock);
    return board.extensions.zones;
}

SlotTable preparing_of(LiveBoard& board) {
    std::lock_guard<std::mutex> hold(board.lock);
    return board.preparing;
}

void toggle_commands(LiveBoard& board) {
    std::lock_guard<std::mutex> hold(board.lock);
    board.tail.present = true;
    board.tail.fields.commands = board.tail.fields.commands == 0 ? 1 : 0;
    board.extensions = extensions_of(board.tail);
}

bool commands_on(LiveBoard& board) {
    std::lock_guard<std::mutex> hold(board.lock);
    return board.extensions.commands;
}

void require(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "board invariant broken: %s\n", what);
        std::abort();
    }
}

// Grid byte g: rows 1 + g % 100 and columns 1 + g / 100, so every active count from 1 to 100
// comes from some byte, and products above 100 too.
void set_grid(LiveBoard& board, uint8_t g) {
    std::lock_guard<std::mutex> hold(board.lock);
    board.settings.rows = 1 + g % 100;
    board.settings.columns = 1 + g / 100;
}

int active_slots(LiveBoard& board) {
    std::lock_guard<std::mutex> hold(board.lock);
    return active_count(board.settings.rows, board.settings.columns);
}

bool board_byte(char c) {
    return c == '#' || (c >= '0' && c <= '9');
}

bool slot_is(const SlotTable& table, int k, const char* text, size_t length) {
    return strnlen(table.slots[k], kSlotSize) == length &&
           std::memcmp(table.slots[k], text, length) == 0;
}

// The rule restated on a list of the active slots: the newest is the last non-empty one; unless
// the text is too long or equals it, the oldest goes when the last slot is taken, the text goes
// last, and the empty ones drop out. Fills `want` with the active slots to expect.
bool expected_after(const SlotTable& before, int n, const char* text, size_t length,
                    SlotTable& want) {
    const char* list[kSlotCount];
    const char* newest = "";
    for (int k = 0; k < n; ++k) {
        list[k] = before.slots[k];
        if (list[k][0] != '\0') {
            newest = list[k];
        }
    }
    if (length > kMaxTextLength ||
        (strnlen(newest, kSlotSize) == length && std::memcmp(newest, text, length) == 0)) {
        return false;
    }
    if (list[n - 1][0] != '\0') {
        for (int k = 1; k < n; ++k) {
            list[k - 1] = list[k];
        }
    }
    char last[kSlotSize] = {};
    std::memcpy(last, text, length);
    list[n - 1] = last;
    want = SlotTable{};
    int kept = 0;
    for (int k = 0; k < n; ++k) {
        if (list[k][0] != '\0') {
            std::memcpy(want.slots[kept++], list[k], strnlen(list[k], kSlotSize));
        }
    }
    return true;
}

void check_slots(const SlotTable& table) {
    for (int k = 0; k < kSlotCount; ++k) {
        const size_t length = strnlen(table.slots[k], kSlotSize);
        require(length <= kMaxTextLength, "a slot without its NUL");
        for (size_t i = 0; i < length; ++i) {
            require(board_byte(table.slots[k][i]), "a slot byte other than a digit or '#'");
        }
    }
}

// A command restated on the list of active slots: "-" alone (or with only line ends, spaces and
// tabs after it) empties them; "-" and a text takes every entry equal to it, and the rest close
// up. Fills `want`; returns whether anything went.
bool expected_command(const SlotTable& before, int n, const char* text, size_t length,
                      SlotTable& want) {
    want = SlotTable{};
    int kept = 0;
    for (int k = 0; k < n; ++k) {
        const size_t own = strnlen(before.slots[k], kSlotSize);
        const bool goes =
            own > 0 &&
            (length == 0 || (own == length && std::memcmp(before.slots[k], text, own) == 0));
        if (!goes && own > 0) {
            std::memcpy(want.slots[kept++], before.slots[k], own);
        }
    }
    int had = 0;
    for (int k = 0; k < n; ++k) {
        had += before.slots[k][0] != '\0';
    }
    if (kept == had) {
        want = before;  // nothing went, nothing moves
        return false;
    }
    return true;
}

bool zone_holds(const SlotTable& table, int n, const char* text, size_t length) {
    for (int k = 0; k < n; ++k) {
        if (length > 0 && slot_is(table, k, text, length)) {
            return true;
        }
    }
    return false;
}

// With two zones on, "+" and a number: it leaves the ready zone and stands once in the preparing
// zone, newest last unless it was there already; anything else after the plus changes nothing.
void feed_plus(LiveBoard& board, const uint8_t* bytes, size_t length) {
    const int n = active_slots(board);
    const char* const text = reinterpret_cast<const char*>(bytes) + 1;
    size_t argument = 0;
    while (1 + argument < length && board_byte(text[argument])) {
        ++argument;
    }
    const SlotTable ready_before = copy_board(board).table;
    const SlotTable preparing_before = preparing_of(board);
    std::unique_ptr<char[]> buffer(new char[length + 1]);
    std::memcpy(buffer.get(), bytes, length);
    buffer[length] = '\0';
    const bool changed = receive_text(board, buffer.get(), length);
    const SlotTable ready = copy_board(board).table;
    const SlotTable preparing = preparing_of(board);
    if (argument == 0 || argument > kMaxTextLength) {
        require(!changed && std::memcmp(&ready, &ready_before, sizeof ready) == 0 &&
                    std::memcmp(&preparing, &preparing_before, sizeof preparing) == 0,
                "a plus before no number changed the board");
        return;
    }
    SlotTable want;
    const bool left_ready = expected_command(ready_before, n, text, argument, want);
    for (int k = 0; k < n; ++k) {
        require(slot_is(ready, k, want.slots[k], strnlen(want.slots[k], kSlotSize)),
                "a prepared number is still ready, or another ready one went");
    }
    const bool was_preparing = zone_holds(preparing_before, n, text, argument);
    require(zone_holds(preparing, n, text, argument), "a prepared number is not preparing");
    require(changed == (left_ready || !was_preparing), "a plus reported the wrong change");
    int times = 0;
    for (int k = 0; k < n; ++k) {
        times += slot_is(preparing, k, text, argument) ? 1 : 0;
    }
    require(times == 1 || (was_preparing && times > 1), "a prepared number stands twice");
}

// Feeds one datagram through the receiver's path, in a buffer of exactly its length plus the
// NUL, so a read or write past it is caught. Returns whether it was accepted.
bool feed(LiveBoard& board, const uint8_t* bytes, size_t length) {
    if (length > 0 && bytes[0] == '+' && zones_on(board)) {
        feed_plus(board, bytes, length);
        return true;
    }
    const int n = active_slots(board);
    std::unique_ptr<char[]> buffer(new char[length + 1]);
    std::memcpy(buffer.get(), bytes, length);
    buffer[length] = '\0';
    size_t run = 0;
    while (run < length && board_byte(static_cast<char>(bytes[run]))) {
        ++run;
    }
    const char* const text = reinterpret_cast<const char*>(bytes);
    const SlotTable before = copy_board(board).table;
    SlotTable want;
    const bool command = length > 0 && bytes[0] == '-' && commands_on(board);
    size_t argument = 0;
    while (command && 1 + argument < length && board_byte(static_cast<char>(bytes[1 + argument]))) {
        ++argument;
    }
    bool blank = true;
    for (size_t i = 1; i < length; ++i) {
        const uint8_t c = bytes[i];
        blank = blank && (c == ' ' || c == '\t' || c == '\r' || c == '\n');
    }
    // A dash followed by neither a number nor blanks is no command and changes nothing.
    const bool stray = command && argument == 0 && !blank;
    const bool expected = stray     ? false
                          : command ? expected_command(before, n, text + 1, argument, want)
                                    : expected_after(before, n, text, run, want);

    // A command also takes from the preparing zone (which keeps what it held when the zones were
    // switched off): changed if it held the text.
    const SlotTable preparing_before = preparing_of(board);
    bool preparing_goes = false;
    if (command && !stray) {
        for (int k = 0; k < n; ++k) {
            const size_t own = strnlen(preparing_before.slots[k], kSlotSize);
            preparing_goes =
                preparing_goes ||
                (own > 0 &&
                 (argument == 0 ||
                  (own == argument && std::memcmp(preparing_before.slots[k], text + 1, own) == 0)));
        }
    }
    const bool voice = voice_on(board);
    const Outcome outcome = receive_datagram(board, buffer.get(), length);
    const bool accepted = outcome.repaint;
    const SlotTable after = copy_board(board).table;
    // Called: a number that became ready and was not on show already, and only with the voice on.
    const bool new_on_show = !command && run > 0 && run <= kMaxTextLength && accepted &&
                             !zone_holds(before, n, text, run);
    require((outcome.call[0] != '\0') == (voice && new_on_show),
            "a call for a number that did not become ready, or none for one that did");
    require(outcome.call[0] == '\0' || (strnlen(outcome.call, kSlotSize) == run &&
                                        std::memcmp(outcome.call, text, run) == 0),
            "the call names another number");
    // What is ready, or was taken off, is in the preparing zone no more.
    if (zones_on(board) && accepted) {
        const SlotTable preparing = preparing_of(board);
        bool emptied = true;
        for (int k = 0; k < n; ++k) {
            emptied = emptied && preparing.slots[k][0] == '\0';
        }
        require(command ? (argument == 0 ? emptied : !zone_holds(preparing, n, text + 1, argument))
                        : !zone_holds(preparing, n, text, run),
                "a number ready or taken off is still preparing");
    }

    require(buffer[length] == '\0', "the NUL after the datagram was lost");
    require(strlen(buffer.get()) == run && std::memcmp(buffer.get(), text, run) == 0,
            "the cleaned text is not the leading run of digits and '#'");
    for (size_t i = 0; i < length; ++i) {
        const char kept = static_cast<char>(bytes[i]);
        require(buffer[i] == (board_byte(kept) ? kept : '\0'), "cleaning changed a board byte");
    }
    check_slots(after);
    require(std::memcmp(before.slots[n], after.slots[n],
                        kSlotSize * static_cast<size_t>(kSlotCount - n)) == 0,
            "an inactive slot changed");
    require(accepted == (expected || preparing_goes),
            "accepted when it should be ignored, or the reverse");
    if (!expected) {
        require(std::memcmp(&before, &after, sizeof before) == 0,
                "an ignored text changed the table");
        return false;
    }
    int filled = 0;
    while (filled < n && after.slots[filled][0] != '\0') {
        ++filled;
    }
    for (int k = filled; k < n; ++k) {
        require(after.slots[k][0] == '\0', "the entries do not run unbroken from slot 0");
    }
    if (run > 0 && !command) {
        require(filled > 0 && slot_is(after, filled - 1, text, run), "the text is not the newest");
    }
    for (int k = 0; k < n; ++k) {
        require(slot_is(after, k, want.slots[k], strnlen(want.slots[k], kSlotSize)),
                "the table differs from the rule's outcome");
    }
    return true;
}

// The newest entry sent again, with a line ending as stations often add, must change nothing.
void feed_newest_again(LiveBoard& board) {
    const int n = active_slots(board);
    const SlotTable table = copy_board(board).table;
    const char* const newest = newest_entry(table, n);
    uint8_t again[kSlotSize + 2];
    const size_t length = strnlen(newest, kSlotSize);
    std::memcpy(again, newest, length);
    again[length] = '\r';
    again[length + 1] = '\n';
    require(!feed(board, again, length + 2), "a duplicate of the newest entry was accepted");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    static LiveBoard board;
    {
        std::lock_guard<std::mutex> hold(board.lock);
        board.table = SlotTable{};
        board.preparing = SlotTable{};
        board.undo.count = 0;
        board.settings = default_settings();
        board.tail = SettingsTail{};
        board.extensions = extensions_of(board.tail);
    }
    set_grid(board, data[0]);
    size_t at = 1;
    while (at < size) {
        const uint8_t tag = data[at++];
        if (tag == kCommandsToggle) {
            toggle_commands(board);
            continue;
        }
        if (tag == kZonesToggle) {
            toggle_zones(board);
            continue;
        }
        if (tag == kVoiceToggle) {
            toggle_voice(board);
            continue;
        }
        if (tag == kGridChange) {
            if (at < size) {
                set_grid(board, data[at++]);
            }
            continue;
        }
        const size_t length = tag < size - at ? tag : size - at;
        feed(board, data + at, length);
        at += length;
        feed_newest_again(board);
    }
    return 0;
}
