// The update rule of the order board, checked case by case and against a small independent model.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "core/board.h"
#include "core/zones.h"

namespace {

std::vector<std::string> slots(const SlotTable& table, int count) {
    std::vector<std::string> out;
    for (int k = 0; k < count; ++k) {
        out.emplace_back(table.slots[k]);
    }
    return out;
}

SlotTable table_of(const std::vector<std::string>& texts) {
    SlotTable table{};
    for (size_t k = 0; k < texts.size(); ++k) {
        std::strcpy(table.slots[k], texts[k].c_str());
    }
    return table;
}

// Cleans a datagram the way the receiver hands it over: its bytes, then a NUL.
std::string cleaned(std::string datagram) {
    datagram.push_back('\0');
    clean_text(&datagram[0], datagram.size() - 1);
    return std::string(datagram.c_str());
}

bool accept(SlotTable& table, int active, const std::string& datagram) {
    return accept_text(table, active, cleaned(datagram).c_str());
}

using Slots = std::vector<std::string>;

}  // namespace

TEST(CleanText, KeepsTheLeadingRunOfDigitsAndHashes) {
    EXPECT_EQ(cleaned("7x9"), "7");
    EXPECT_EQ(cleaned("x7"), "");
    EXPECT_EQ(cleaned("1#2"), "1#2");
    EXPECT_EQ(cleaned("12\n"), "12");
    EXPECT_EQ(cleaned("13\r\n"), "13");
    EXPECT_EQ(cleaned("13 "), "13");
    EXPECT_EQ(cleaned("#0123456789"), "#0123456789");
    EXPECT_EQ(cleaned(std::string("4\0"
                                  "5",
                                  3)),
              "4");
}

TEST(CleanText, TheNeighboursOfTheDigitsAndTheHashEndTheText) {
    for (const char* after : {"/", ":", "\"", "$"}) {
        EXPECT_EQ(cleaned(std::string("12") + after + "3"), "12") << after;
        EXPECT_EQ(cleaned(std::string(after) + "12"), "") << after;
    }
}

TEST(CleanText, HighBytesAreNotDigits) {
    for (int byte = 0x80; byte <= 0xFF; ++byte) {
        EXPECT_EQ(cleaned(std::string(1, static_cast<char>(byte)) + "1"), "") << byte;
        EXPECT_EQ(cleaned("1" + std::string(1, static_cast<char>(byte))), "1") << byte;
    }
}

TEST(CleanText, TouchesOnlyTheGivenBytes) {
    char buffer[8] = {'5', 'x', '\0', 'y', 'z', 'q', 'r', 's'};
    clean_text(buffer, 2);
    EXPECT_STREQ(buffer, "5");
    EXPECT_EQ(std::string(buffer + 3, 5), "yzqrs");
}

TEST(ActiveCount, IsTheGridBoundedToTheTable) {
    EXPECT_EQ(active_count(4, 2), 8);
    EXPECT_EQ(active_count(10, 10), 100);
    EXPECT_EQ(active_count(11, 10), 100);
    EXPECT_EQ(active_count(1000, 1000), 100);
    EXPECT_EQ(active_count(INT32_MAX, INT32_MAX), 100);
    EXPECT_EQ(active_count(1, 1), 1);
    EXPECT_EQ(active_count(0, 5), 0);
    EXPECT_EQ(active_count(5, 0), 0);
    EXPECT_EQ(active_count(-3, 2), 0);
    EXPECT_EQ(active_count(-3, -2), 0);
    EXPECT_EQ(active_count(INT32_MIN, INT32_MIN), 0);
}

TEST(AcceptText, FourByTwoSequence) {
    SlotTable table{};
    const int n = active_count(4, 2);
    EXPECT_TRUE(accept(table, n, "12"));
    EXPECT_EQ(slots(table, 2), (Slots{"12", ""}));
    EXPECT_TRUE(accept(table, n, "13"));
    EXPECT_FALSE(accept(table, n, "13"));
    EXPECT_TRUE(accept(table, n, "#13"));
    EXPECT_EQ(slots(table, 4), (Slots{"12", "13", "#13", ""}));
    EXPECT_TRUE(accept(table, n, "7x9"));
    EXPECT_TRUE(accept(table, n, "x7"));
    EXPECT_EQ(slots(table, 5), (Slots{"12", "13", "#13", "7", ""}));
    EXPECT_TRUE(accept(table, n, "14"));
    EXPECT_EQ(slots(table, 8), (Slots{"12", "13", "#13", "7", "14", "", "", ""}));
}

TEST(AcceptText, DuplicateTestLooksAtTheNewestEntryOnly) {
    SlotTable table = table_of({"1", "2"});
    EXPECT_TRUE(accept(table, 4, "1"));
    EXPECT_TRUE(accept(table, 4, "2"));
    EXPECT_EQ(slots(table, 4), (Slots{"1", "2", "1", "2"}));

    SlotTable same = table_of({"9", "13"});
    const SlotTable before = same;
    EXPECT_FALSE(accept(same, 4, "13\r\n"));
    EXPECT_FALSE(accept(same, 4, "13 "));
    EXPECT_EQ(0, std::memcmp(&same, &before, sizeof same));
}

TEST(AcceptText, FullBoardDropsTheOldest) {
    const SlotTable full = table_of({"1", "2", "3", "4"});
    SlotTable table = full;
    EXPECT_TRUE(accept(table, 4, "5"));
    EXPECT_EQ(slots(table, 4), (Slots{"2", "3", "4", "5"}));

    table = full;
    EXPECT_FALSE(accept(table, 4, "4"));
    EXPECT_EQ(slots(table, 4), (Slots{"1", "2", "3", "4"}));

    table = full;
    EXPECT_TRUE(accept(table, 4, ""));
    EXPECT_EQ(slots(table, 4), (Slots{"2", "3", "4", ""}));
}

TEST(AcceptText, EmptyText) {
    SlotTable half = table_of({"1", "2"});
    EXPECT_TRUE(accept(half, 4, "x"));
    EXPECT_EQ(slots(half, 4), (Slots{"1", "2", "", ""}));

    SlotTable empty{};
    EXPECT_FALSE(accept(empty, 4, ""));
    EXPECT_EQ(slots(empty, 4), (Slots{"", "", "", ""}));
}

TEST(AcceptText, GapsCloseUp) {
    SlotTable gap = table_of({"1", "", "3", ""});
    EXPECT_TRUE(accept(gap, 4, "9"));
    EXPECT_EQ(slots(gap, 4), (Slots{"1", "3", "9", ""}));

    SlotTable tail = table_of({"", "", "5"});
    EXPECT_TRUE(accept(tail, 3, "6"));
    EXPECT_EQ(slots(tail, 3), (Slots{"5", "6", ""}));

    // The last slot is taken, so the oldest goes although a slot was free.
    SlotTable last = table_of({"1", "", "3", "4"});
    EXPECT_TRUE(accept(last, 4, "5"));
    EXPECT_EQ(slots(last, 4), (Slots{"3", "4", "5", ""}));
}

TEST(AcceptText, InactiveSlotsAreNeverTouched) {
    SlotTable table = table_of({"1", "2", "3", "4", "77"});
    EXPECT_TRUE(accept(table, 4, "5"));
    EXPECT_TRUE(accept(table, 4, ""));
    EXPECT_EQ(slots(table, 5), (Slots{"3", "4", "5", "", "77"}));
}

TEST(AcceptText, HundredSlotsAtMost) {
    SlotTable table{};
    const int n = active_count(1000, 1000);
    for (int i = 0; i < 150; ++i) {
        ASSERT_TRUE(accept(table, n, std::to_string(i)));
    }
    EXPECT_STREQ(table.slots[0], "50");
    EXPECT_STREQ(table.slots[99], "149");
    EXPECT_TRUE(accept_text(table, 5000, ""));  // a caller's count above 100 still means 100
    EXPECT_STREQ(table.slots[0], "51");
    EXPECT_STREQ(table.slots[98], "149");
    EXPECT_STREQ(table.slots[99], "");
}

TEST(AcceptText, RefusesWhatCannotBeShown) {
    SlotTable table = table_of({"1"});
    const SlotTable before = table;
    EXPECT_FALSE(accept(table, 4, "1234567890"));
    EXPECT_FALSE(accept(table, 4, std::string(1024, '8')));
    EXPECT_FALSE(accept(table, 0, "5"));
    EXPECT_FALSE(accept(table, -7, "5"));
    EXPECT_EQ(0, std::memcmp(&table, &before, sizeof table));

    EXPECT_TRUE(accept(table, 4, "123456789"));
    EXPECT_STREQ(table.slots[1], "123456789");
    EXPECT_EQ(table.slots[1][9], '\0');
}

namespace {

// The rule restated as list operations: shift if the last slot is taken, put the text last, then
// a stable removal of the empty slots.
bool model_accept(std::vector<std::string>& active, const std::string& text) {
    const size_t n = active.size();
    if (n == 0 || text.size() > 9) {
        return false;
    }
    std::string newest;
    for (const auto& s : active) {
        if (!s.empty()) {
            newest = s;
        }
    }
    if (text == newest) {
        return false;
    }
    if (!active.back().empty()) {
        active.erase(active.begin());
        active.push_back("");
    }
    active.back() = text;
    std::vector<std::string> kept;
    for (const auto& s : active) {
        if (!s.empty()) {
            kept.push_back(s);
        }
    }
    kept.resize(n);
    active = kept;
    return true;
}

}  // namespace

TEST(AcceptText, MatchesTheModelOnRandomBoards) {
    std::mt19937 random(20261208);
    const char* alphabet[] = {"", "1", "2", "#2", "57", "123456789", "1234567890", "#", "0"};
    for (int round = 0; round < 3000; ++round) {
        const int n = 1 + static_cast<int>(random() % 100);
        SlotTable table{};
        for (int k = 0; k < kSlotCount; ++k) {
            if (random() % 3 == 0) {
                std::strcpy(table.slots[k], std::to_string(random() % 50).c_str());
            }
        }
        std::vector<std::string> model = slots(table, n);
        for (int step = 0; step < 40; ++step) {
            const std::string text = alphabet[random() % 9];
            const SlotTable before = table;
            const bool model_result = model_accept(model, text);
            ASSERT_EQ(accept_text(table, n, text.c_str()), model_result) << "n=" << n;
            ASSERT_EQ(slots(table, n), model) << "n=" << n << " text=" << text;
            ASSERT_EQ(0, std::memcmp(table.slots[n], before.slots[n], kSlotSize * (kSlotCount - n)))
                << "an inactive slot changed, n=" << n;
            if (model_result && !text.empty()) {
                // the newest entry is last in the unbroken run from slot 0
                int run = 0;
                while (run < n && table.slots[run][0] != '\0') {
                    ++run;
                }
                ASSERT_GT(run, 0);
                ASSERT_EQ(text, table.slots[run - 1]);
            }
        }
    }
}

TEST(ClearBoard, EmptiesTheActiveSlotsOnly) {
    SlotTable table = table_of({"1", "2", "", "4", "77"});
    EXPECT_EQ(clear_board(table, 4), 3);
    EXPECT_EQ(slots(table, 5), (Slots{"", "", "", "", "77"}));
    EXPECT_EQ(clear_board(table, 4), 0);
    EXPECT_EQ(clear_board(table, -1), 0);
    EXPECT_EQ(clear_board(table, 1000), 1);
    EXPECT_EQ(slots(table, 5), (Slots{"", "", "", "", ""}));
}

namespace {

// Removal, clearing and expiry restated as list operations on (text, time) pairs.
struct ModelEntry {
    std::string text;
    int64_t at;
};

void model_close_up(std::vector<ModelEntry>& active, size_t n) {
    std::vector<ModelEntry> kept;
    for (const auto& e : active) {
        if (!e.text.empty()) {
            kept.push_back(e);
        }
    }
    kept.resize(n);
    active = kept;
}

}  // namespace

TEST(AcceptText, MatchesTheModelWithRemovalsAndExpiry) {
    std::mt19937 random(20261214);
    const char* alphabet[] = {"", "1", "2", "#2", "57", "123456789", "1234567890", "#", "0"};
    for (int round = 0; round < 1000; ++round) {
        const int n = 1 + static_cast<int>(random() % 100);
        SlotTable table{};
        ArrivalTimes times{};
        std::vector<ModelEntry> model(n);
        for (int k = 0; k < kSlotCount; ++k) {
            times.ms[k] = -static_cast<int64_t>(random() % 5000);
            if (random() % 3 == 0) {
                std::strcpy(table.slots[k], std::to_string(random() % 50).c_str());
            }
            if (k < n) {
                model[k] = {table.slots[k], times.ms[k]};
            }
        }
        int64_t now = 0;
        for (int step = 0; step < 40; ++step) {
            const SlotTable before = table;
            const std::string text = alphabet[random() % 9];
            const int op = static_cast<int>(random() % 4);
            now += static_cast<int64_t>(random() % 700);
            if (op == 0) {
                std::vector<std::string> plain;
                for (const auto& e : model) {
                    plain.push_back(e.text);
                }
                const std::vector<std::string> was = plain;
                const bool accepted = model_accept(plain, text);
                if (accepted) {
                    // Which entries survived, in order, and the new one last.
                    std::vector<ModelEntry> next;
                    size_t from = (was.back().empty() ? 0 : 1);
                    for (size_t k = from; k < was.size(); ++k) {
                        if (!was[k].empty()) {
                            next.push_back(model[k]);
                        }
                    }
                    if (!text.empty()) {
                        next.push_back({text, now});
                    }
                    next.resize(n);
                    model = next;
                }
                ASSERT_EQ(accept_text(table, n, text.c_str(), &times, now), accepted);
            } else if (op == 1) {
                int gone = 0;
                for (auto& e : model) {
                    if (!e.text.empty() && e.text == text) {
                        e.text.clear();
                        ++gone;
                    }
                }
                if (gone > 0) {  // nothing removed, nothing moves (gaps from a grid change stay)
                    model_close_up(model, n);
                }
                ASSERT_EQ(remove_text(table, n, text.c_str(), &times), gone);
            } else if (op == 2) {
                int gone = 0;
                for (auto& e : model) {
                    if (!e.text.empty() && now - e.at >= 1500) {
                        e.text.clear();
                        ++gone;
                    }
                }
                if (gone > 0) {
                    model_close_up(model, n);
                }
                ASSERT_EQ(expire_entries(table, times, n, now, 1500), gone);
            } else if (random() % 8 == 0) {
                int gone = 0;
                for (auto& e : model) {
                    gone += e.text.empty() ? 0 : 1;
                    e.text.clear();
                }
                ASSERT_EQ(clear_board(table, n), gone);
            }
            for (int k = 0; k < n; ++k) {
                ASSERT_EQ(model[k].text, table.slots[k]) << "n=" << n << " op=" << op << " k=" << k;
                if (!model[k].text.empty()) {
                    ASSERT_EQ(model[k].at, times.ms[k]) << "n=" << n << " op=" << op << " k=" << k;
                }
            }
            ASSERT_EQ(0, std::memcmp(table.slots[n], before.slots[n], kSlotSize * (kSlotCount - n)))
                << "an inactive slot changed, n=" << n;
        }
    }
}

namespace {

// Both zones and the undo ring restated as lists of (text, time), the board starting empty.
struct ZonesModel {
    int n;
    std::vector<ModelEntry> ready, preparing;
    struct Item {
        bool preparing;
        size_t place;
        ModelEntry entry;
    };
    std::vector<std::vector<Item>> undo;

    static void drop(std::vector<ModelEntry>& zone, const std::string& text) {
        std::vector<ModelEntry> kept;
        for (const ModelEntry& e : zone) {
            if (e.text != text) {
                kept.push_back(e);
            }
        }
        zone = kept;
    }
    static bool has(const std::vector<ModelEntry>& zone, const std::string& text) {
        for (const ModelEntry& e : zone) {
            if (e.text == text) {
                return true;
            }
        }
        return false;
    }
    void ready_text(const std::string& text, int64_t now) {
        if (text.empty() && static_cast<int>(ready.size()) == n) {
            ready.erase(ready.begin());  // the slot rule's empty text drops a full board's oldest
        }
        if (text.empty() || text.size() > 9 || (!ready.empty() && ready.back().text == text)) {
            return;
        }
        ready.push_back({text, now});
        if (static_cast<int>(ready.size()) > n) {
            ready.erase(ready.begin());
        }
        drop(preparing, text);
    }
    void prepare(const std::string& text) {
        if (text.empty() || text.size() > 9) {
            return;
        }
        drop(ready, text);
        if (!has(preparing, text)) {
            preparing.push_back({text, 0});
            if (static_cast<int>(preparing.size()) > n) {
                preparing.erase(preparing.begin());
            }
        }
    }
    int take_off(const std::string* text) {
        std::vector<Item> step;
        for (bool zone : {false, true}) {
            std::vector<ModelEntry>& entries = zone ? preparing : ready;
            for (size_t k = 0; k < entries.size(); ++k) {
                if (text == nullptr || entries[k].text == *text) {
                    step.push_back({zone, k, entries[k]});
                }
            }
            if (text == nullptr) {
                entries.clear();
            } else {
                drop(entries, *text);
            }
        }
        if (!step.empty()) {
            undo.push_back(step);
            if (undo.size() > static_cast<size_t>(kUndoSteps)) {
                undo.erase(undo.begin());
            }
        }
        return static_cast<int>(step.size());
    }
    void undo_last() {
        if (undo.empty()) {
            return;
        }
        const std::vector<Item> step = undo.back();
        undo.pop_back();
        std::vector<bool> again;
        for (const Item& item : step) {
            again.push_back(has(ready, item.entry.text) || has(preparing, item.entry.text));
        }
        for (size_t i = 0; i < step.size(); ++i) {
            std::vector<ModelEntry>& zone = step[i].preparing ? preparing : ready;
            if (!again[i]) {
                zone.insert(zone.begin() + static_cast<long>(std::min(step[i].place, zone.size())),
                            step[i].entry);
                if (static_cast<int>(zone.size()) > n) {
                    zone.erase(zone.begin());
                }
            }
        }
    }
};

}  // namespace

TEST(Zones, ANumberMovesFromPreparingToReadyAndStandsInOneZone) {
    SlotTable ready = table_of({"1", "57"});
    SlotTable preparing{};
    ArrivalTimes times{};
    EXPECT_TRUE(prepare_text(ready, &times, preparing, 4, "57"));  // called back to the kitchen
    EXPECT_EQ(slots(ready, 2), (Slots{"1", ""}));
    EXPECT_EQ(slots(preparing, 2), (Slots{"57", ""}));
    EXPECT_FALSE(prepare_text(ready, &times, preparing, 4, "57"));  // already there
    EXPECT_FALSE(prepare_text(ready, &times, preparing, 4, ""));
    EXPECT_FALSE(prepare_text(ready, &times, preparing, 4, "1234567890"));
    for (const char* text : {"2", "3", "4", "5"}) {  // a full zone drops its oldest
        EXPECT_TRUE(prepare_text(ready, &times, preparing, 4, text));
    }
    EXPECT_EQ(slots(preparing, 5), (Slots{"2", "3", "4", "5", ""}));
}

TEST(Zones, UndoPutsBackWhereItStoodUnlessPutUpAgain) {
    SlotTable ready = table_of({"1", "2", "2", "3"});
    SlotTable preparing = table_of({"8", "9"});
    ArrivalTimes times{{10, 20, 30, 40}};
    UndoLog undo{};
    EXPECT_EQ(take_off(ready, &times, preparing, 6, "2", undo), 2);
    EXPECT_EQ(take_off(ready, &times, preparing, 6, "77", undo), 0);  // nothing went: no step
    EXPECT_EQ(take_off(ready, &times, preparing, 6, nullptr, undo), 4);
    EXPECT_TRUE(undo_last(ready, &times, preparing, 6, undo));
    EXPECT_EQ(slots(ready, 3), (Slots{"1", "3", ""}));
    EXPECT_EQ(slots(preparing, 3), (Slots{"8", "9", ""}));
    accept_text(ready, 6, "4", &times, 50);
    EXPECT_TRUE(undo_last(ready, &times, preparing, 6, undo));
    EXPECT_EQ(slots(ready, 6), (Slots{"1", "2", "2", "3", "4", ""}));
    EXPECT_EQ(times.ms[1], 20);
    EXPECT_EQ(times.ms[2], 30);
    EXPECT_FALSE(undo_last(ready, &times, preparing, 6, undo));  // nothing left

    take_off(ready, &times, preparing, 6, "3", undo);
    accept_text(ready, 6, "3", &times, 60);  // put up again: undo leaves it where it now is
    EXPECT_FALSE(undo_last(ready, &times, preparing, 6, undo));
    EXPECT_EQ(slots(ready, 6), (Slots{"1", "2", "2", "4", "3", ""}));
}

TEST(Zones, MatchTheModelWithMovesRemovalsClearsAndUndo) {
    std::mt19937 random(20261209);
    const char* alphabet[] = {"", "1", "2", "#2", "57", "123456789", "1234567890", "0"};
    for (int round = 0; round < 1000; ++round) {
        const int n = 1 + static_cast<int>(random() % 12);
        SlotTable ready{}, preparing{};
        ArrivalTimes times{};
        UndoLog undo{};
        ZonesModel model{n, {}, {}, {}};
        int64_t now = 0;
        for (int step = 0; step < 60; ++step) {
            const std::string text = alphabet[random() % 8];
            const int op = static_cast<int>(random() % 6);
            now += 1 + static_cast<int64_t>(random() % 100);
            if (op == 0 || op == 1) {
                if (accept_text(ready, n, text.c_str(), &times, now) && !text.empty()) {
                    remove_text(preparing, n, text.c_str(), nullptr);
                }
                model.ready_text(text, now);
            } else if (op == 2) {
                prepare_text(ready, &times, preparing, n, text.c_str());
                model.prepare(text);
            } else if (op == 3) {
                ASSERT_EQ(take_off(ready, &times, preparing, n, text.c_str(), undo),
                          text.empty() ? 0 : model.take_off(&text));
            } else if (op == 4 && random() % 4 == 0) {
                ASSERT_EQ(take_off(ready, &times, preparing, n, nullptr, undo),
                          model.take_off(nullptr));
            } else {
                undo_last(ready, &times, preparing, n, undo);
                model.undo_last();
            }
            for (int k = 0; k < n; ++k) {
                const size_t at = static_cast<size_t>(k);
                ASSERT_EQ(at < model.ready.size() ? model.ready[at].text : "", ready.slots[k])
                    << "n=" << n << " step=" << step << " op=" << op << " k=" << k;
                ASSERT_EQ(at < model.preparing.size() ? model.preparing[at].text : "",
                          preparing.slots[k])
                    << "n=" << n << " step=" << step << " op=" << op << " k=" << k;
                if (at < model.ready.size()) {
                    ASSERT_EQ(model.ready[at].at, times.ms[k]);
                    ASSERT_FALSE(ZonesModel::has(model.preparing, model.ready[at].text));
                }
            }
        }
    }
}
