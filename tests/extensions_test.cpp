// The extensions on the live board with a fake clock: commands, the chime's rate limit, expiry and
// the highlight through the timer's rounds, and all of it off without a tail.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "live/live_board.h"

namespace {

int64_t g_now = 0;
int64_t fake_clock() {
    return g_now;
}

// A 2 x 2 board with the given extensions on, its clock at 0.
struct Board {
    LiveBoard live;
    explicit Board(ExtensionFields fields, bool tail = true) {
        g_now = 0;
        live.clock = fake_clock;
        live.settings = default_settings();
        live.settings.rows = 2;
        live.settings.columns = 2;
        std::lock_guard<std::mutex> hold(live.lock);
        live.tail = SettingsTail{tail, fields, {}};
        live.extensions = extensions_of(live.tail);
        live.timing = live.extensions.expire_ms > 0 || live.extensions.highlight_ms > 0;
    }
    Outcome send(std::string datagram) {
        const size_t length = datagram.size();
        datagram.push_back('\0');
        return receive_datagram(live, &datagram[0], length);
    }
    std::vector<std::string> shown() {
        std::vector<std::string> out;
        for (int k = 0; k < 4; ++k) {
            out.emplace_back(live.table.slots[k]);
        }
        return out;
    }
};

using Slots = std::vector<std::string>;

constexpr ExtensionFields kCommands{0, 0, 0, 1, 0};

}  // namespace

TEST(Commands, RemoveExactlyTheTextAfterTheDash) {
    Board board(kCommands);
    for (const char* n : {"57", "#57", "571", "57"}) {
        board.send(n);
    }
    EXPECT_TRUE(board.send("-57\r\n").repaint);
    EXPECT_EQ(board.shown(), (Slots{"#57", "571", "", ""}));
    EXPECT_FALSE(board.send("-57").repaint);  // nothing left to remove: no repaint
    EXPECT_FALSE(board.send("-5").repaint);   // the whole text, not a prefix
    EXPECT_TRUE(board.send("-#57").repaint);
    EXPECT_EQ(board.shown(), (Slots{"571", "", "", ""}));
    EXPECT_FALSE(board.send("-1234567890").repaint);
    EXPECT_TRUE(board.send("-").repaint);
    EXPECT_EQ(board.shown(), (Slots{"", "", "", ""}));
    EXPECT_FALSE(board.send("-\r\n").repaint);  // an empty board stays as it is
    EXPECT_TRUE(board.send("571").repaint);     // the newest went, so it is new again
}

TEST(Commands, OnlyADashAloneOrWithBlanksClears) {
    Board board(kCommands);
    board.send("57");
    board.send("58");
    const Slots both{"57", "58", "", ""};
    // A stray byte after the dash (a second dash, a space, a byte-order mark, a NUL) leaves the
    // board as it is.
    for (const std::string& stray : {std::string("--57"), std::string("- 57"),
                                     std::string("-\xEF\xBB\xBF"
                                                 "57"),
                                     std::string("-x"), std::string("-\r\n57"),
                                     std::string("-\0", 2), std::string("- \0", 3)}) {
        EXPECT_FALSE(board.send(stray).repaint) << stray;
        EXPECT_EQ(board.shown(), both) << stray;
    }
    EXPECT_TRUE(board.send("-58 and more").repaint);  // the number's leading digits, as ever
    EXPECT_EQ(board.shown(), (Slots{"57", "", "", ""}));
    EXPECT_TRUE(board.send("- \t\r\n").repaint);
    EXPECT_EQ(board.shown(), (Slots{"", "", "", ""}));
}

TEST(Commands, OffADashIsTheEmptyTextAsEver) {
    for (bool tail : {false, true}) {
        Board board(tail ? ExtensionFields{} : kCommands, tail);
        for (const char* n : {"1", "2", "3", "57"}) {
            board.send(n);
        }
        // A full board: the empty text drops the oldest, as the update rule says.
        EXPECT_TRUE(board.send("-57").repaint) << tail;
        EXPECT_EQ(board.shown(), (Slots{"2", "3", "57", ""})) << tail;
        EXPECT_TRUE(board.send("-").repaint);
        EXPECT_EQ(board.shown(), (Slots{"2", "3", "57", ""}));
    }
}

TEST(Chime, ForNewNumbersOnlyAndAtMostOnceASecond) {
    Board board(ExtensionFields{0, 0, 1, 1, 0});
    EXPECT_TRUE(board.send("1").chime);
    g_now = 999;
    EXPECT_FALSE(board.send("2").chime);  // a rush
    g_now = 1000;
    EXPECT_FALSE(board.send("2").chime);   // a duplicate
    EXPECT_FALSE(board.send("x").chime);   // the empty text
    EXPECT_FALSE(board.send("-1").chime);  // a removal
    EXPECT_TRUE(board.send("3").chime);
    g_now = 5000;
    EXPECT_FALSE(Board(ExtensionFields{0, 0, 0, 1, 0}).send("4").chime);  // chime off
}

TEST(Expiry, RemovesEntriesInRoundsAndSchedulesTheNext) {
    Board board(ExtensionFields{2, 0, 0, 0, 0});
    EXPECT_EQ(next_timer_round(board.live), kNever);
    board.send("1");
    g_now = 500;
    board.send("2");
    board.send("2");  // a repeat does not renew it
    g_now = 1500;
    board.send("3");
    EXPECT_EQ(next_timer_round(board.live), 2000);
    g_now = 1999;
    TimerRound round = run_timer_round(board.live);
    EXPECT_FALSE(round.repaint);
    EXPECT_EQ(round.due, 2000);
    g_now = 2600;  // a late timer: both due ones go in one round
    round = run_timer_round(board.live);
    EXPECT_TRUE(round.repaint);
    EXPECT_EQ(board.shown(), (Slots{"3", "", "", ""}));
    EXPECT_EQ(round.due, 3500);
    g_now = 3500;
    round = run_timer_round(board.live);
    EXPECT_TRUE(round.repaint);
    EXPECT_EQ(round.due, kNever);
    EXPECT_EQ(board.shown(), (Slots{"", "", "", ""}));
}

TEST(Expiry, SwitchedOnLaterCountsWhatIsShownFromThen) {
    Board board(ExtensionFields{});
    board.send("1");
    g_now = 10000;
    load_settings(board.live, "no-such-dir/setup.dat");  // defaults, no tail: still off
    EXPECT_EQ(next_timer_round(board.live), kNever);
    board.live.settings.rows = 2;
    board.live.settings.columns = 2;
    store_extensions(board.live, ExtensionFields{60, 0, 0, 0, 0}, "no-such-dir/setup.dat");
    EXPECT_EQ(next_timer_round(board.live), 70000);
}

TEST(Highlight, TheNewestCellUntilItsTimeIsUpThenOneRepaint) {
    Board board(ExtensionFields{0, 3, 0, 1, 0});
    board.send("1");
    EXPECT_EQ(copy_board(board.live).highlighted, 0);
    g_now = 1000;
    board.send("2");
    EXPECT_EQ(copy_board(board.live).highlighted, 1);
    EXPECT_EQ(next_timer_round(board.live), 4000);
    g_now = 3500;
    board.send("2");  // ignored: no renewal
    EXPECT_EQ(next_timer_round(board.live), 4000);
    board.send("-2");  // the older one was highlighted until 3000
    EXPECT_EQ(copy_board(board.live).highlighted, -1);
    g_now = 4000;
    const TimerRound round = run_timer_round(board.live);
    EXPECT_TRUE(round.repaint);
    EXPECT_EQ(round.due, kNever);
    EXPECT_FALSE(run_timer_round(board.live).repaint);
    // The last moment of a highlight, and the instant its time is up.
    board.send("3");
    g_now = 6999;
    EXPECT_EQ(copy_board(board.live).highlighted, 1);
    g_now = 7000;
    EXPECT_EQ(copy_board(board.live).highlighted, -1);
}

TEST(Highlight, SwitchedOnLaterEndsByTheTimerToo) {
    Board board(ExtensionFields{});
    board.send("1");
    g_now = 500;
    // What is on show counts as arriving now: the newest is highlighted, and a round is due to
    // draw it plain again.
    store_extensions(board.live, ExtensionFields{0, 2, 0, 0, 0}, "no-such-dir/setup.dat");
    EXPECT_EQ(copy_board(board.live).highlighted, 0);
    EXPECT_EQ(next_timer_round(board.live), 2500);
    // Shortened while it shows: the end moves with it. Switched off, the round still comes to
    // draw it plain, and none after it.
    store_extensions(board.live, ExtensionFields{0, 1, 0, 0, 0}, "no-such-dir/setup.dat");
    EXPECT_EQ(next_timer_round(board.live), 1500);
    store_extensions(board.live, ExtensionFields{}, "no-such-dir/setup.dat");
    EXPECT_EQ(next_timer_round(board.live), 1500);
    g_now = 1500;
    EXPECT_TRUE(run_timer_round(board.live).repaint);
    EXPECT_EQ(next_timer_round(board.live), kNever);
}

TEST(Extensions, WithoutATailNothingIsTimedOrHighlighted) {
    Board board(ExtensionFields{5, 5, 1, 1, 1}, false);
    EXPECT_FALSE(board.send("1").chime);
    EXPECT_EQ(copy_board(board.live).highlighted, -1);
    EXPECT_EQ(next_timer_round(board.live), kNever);
    g_now = 100000000;
    EXPECT_FALSE(run_timer_round(board.live).repaint);
    EXPECT_EQ(board.shown(), (Slots{"1", "", "", ""}));
}

namespace {

// Commands on, and both zones on (or the block there with them off).
ExtensionFields zoned(bool zones) {
    ExtensionFields fields = kCommands;
    fields.zones = zones ? 1 : 0;
    return fields;
}

void open_zones(Board& board) {
    board.live.tail.web_present = true;
    board.live.tail.zones_present = true;
    board.live.extensions = extensions_of(board.live.tail);
    board.live.timing = board.live.extensions.zones;
}

std::vector<std::string> preparing(Board& board) {
    std::vector<std::string> out;
    for (int k = 0; k < 4; ++k) {
        out.emplace_back(board.live.preparing.slots[k]);
    }
    return out;
}

}  // namespace

TEST(Zones, APlusPreparesAPlainNumberIsReadyAndADashTakesFromEither) {
    Board board(zoned(true));
    open_zones(board);
    board.live.extensions.chime = true;
    EXPECT_TRUE(board.send("+57\r\n").repaint);
    EXPECT_TRUE(board.send("+#58").repaint);
    EXPECT_EQ(preparing(board), (Slots{"57", "#58", "", ""}));
    EXPECT_EQ(board.shown(), (Slots{"", "", "", ""}));
    for (const char* nothing : {"+", "+ 57", "+x", "+\r\n"}) {  // no number after the plus
        EXPECT_FALSE(board.send(nothing).repaint) << nothing;
    }
    g_now = 5000;
    const Outcome ready = board.send("57");
    EXPECT_TRUE(ready.repaint);
    EXPECT_TRUE(ready.chime);                    // ready numbers chime, preparing ones never did
    EXPECT_EQ(board.live.arrivals.ms[0], 5000);  // expiry counts from here
    EXPECT_EQ(preparing(board), (Slots{"#58", "", "", ""}));
    EXPECT_EQ(board.shown(), (Slots{"57", "", "", ""}));
    EXPECT_TRUE(board.send("-#58").repaint);
    EXPECT_EQ(preparing(board), (Slots{"", "", "", ""}));
    board.send("+60");
    EXPECT_TRUE(board.send("-").repaint);  // both zones
    EXPECT_EQ(board.shown(), (Slots{"", "", "", ""}));
    EXPECT_EQ(preparing(board), (Slots{"", "", "", ""}));
    EXPECT_TRUE(undo_removal(board.live).repaint);
    EXPECT_EQ(board.shown(), (Slots{"57", "", "", ""}));
    EXPECT_EQ(preparing(board), (Slots{"60", "", "", ""}));
    EXPECT_TRUE(undo_removal(board.live).repaint);  // the "-#58" before it
    EXPECT_EQ(preparing(board), (Slots{"#58", "60", "", ""}));

    // Off, "+57" is what it has always been: the empty text, which drops a full board's oldest.
    Board plain(zoned(false));
    open_zones(plain);
    for (const char* n : {"1", "2", "3", "4"}) {
        plain.send(n);
    }
    EXPECT_TRUE(plain.send("+57").repaint);
    EXPECT_EQ(plain.shown(), (Slots{"2", "3", "4", ""}));
    EXPECT_EQ(preparing(plain), (Slots{"", "", "", ""}));
}

TEST(Zones, ANumberLeftWaitingIsMarkedAndChimedForOnce) {
    ExtensionFields fields = zoned(true);
    fields.chime = 1;
    fields.overdue_seconds = 10;
    Board board(fields);
    open_zones(board);
    board.send("+56");
    board.send("57");
    g_now = 4000;
    board.send("58");
    EXPECT_EQ(next_timer_round(board.live), 10000);
    g_now = 9999;
    EXPECT_FALSE(overdue_slot(copy_board(board.live), 0));
    g_now = 10000;
    const TimerRound first = run_timer_round(board.live);
    EXPECT_TRUE(first.repaint);
    EXPECT_TRUE(first.chime);
    EXPECT_EQ(first.due, 14000);
    const BoardCopy copy = copy_board(board.live);
    EXPECT_TRUE(overdue_slot(copy, 0));
    EXPECT_FALSE(overdue_slot(copy, 1));
    g_now = 14000;
    EXPECT_TRUE(run_timer_round(board.live).chime);
    EXPECT_EQ(next_timer_round(board.live), kNever);  // each once; the preparing 56 never
    g_now = 20000;
    EXPECT_FALSE(run_timer_round(board.live).repaint);
}
