// The board's controller against a fake shell that writes down every call: the key map, repaint
// coalescing, what follows a dialog, the timers with a fake clock, the pointer, start and stop.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "live/controller.h"
#include "live/receiver.h"
#include "live/settings_file.h"
#include "live/speaker.h"
#include "web/web_front.h"
#include "web/web_server.h"

namespace {

std::vector<std::string>* calls;
int64_t now_ms;

void note(const std::string& call) {
    calls->push_back(call);
}
std::string name(ShellTimer timer) {
    return timer == ShellTimer::kRound ? " round" : " pointer";
}
const ShellOps kFakeShell = {
    [](void*) { note("repaint"); },
    [](void*, ShellTimer timer, uint32_t ms) {
        note("arm" + name(timer) + " " + std::to_string(ms));
    },
    [](void*, ShellTimer timer) { note("cancel" + name(timer)); },
    [](void*) { note("chime"); },
    [](void*, DialogKind kind) { note(kind == DialogKind::kSettings ? "settings" : "service"); },
    [](void*) { note("quit"); },
    [](void*, bool shown) { note(shown ? "show" : "hide"); },
};

using Calls = std::vector<std::string>;

bool web_binds = true;
const WebOps kFakeWeb = {
    [](void*, uint16_t port, int32_t pin) {
        note("web start " + std::to_string(port) + " " + std::to_string(pin));
        return web_binds;
    },
    [](void*) { note("web stop"); },
    [](void*, int32_t pin) { note("web pin " + std::to_string(pin)); },
    [](void*) { note("web changed"); },
    nullptr,
};

class ControllerTest : public testing::Test {
protected:
    void SetUp() override {
        calls = &made;
        now_ms = 100000;
        board.clock = [] { return now_ms; };
        controller.board = &board;
        controller.ops = &kFakeShell;
        controller.framed = true;
    }
    // What the shell was asked since the last look.
    Calls taken() {
        Calls seen;
        seen.swap(made);
        return seen;
    }
    // An entry on show since `at`, with expiry after `expire_ms`.
    void expiring_entry(int64_t at, int64_t expire_ms) {
        board.settings = default_settings();
        board.extensions.expire_ms = expire_ms;
        board.timing = true;
        std::strcpy(board.table.slots[0], "7");
        board.arrivals.ms[0] = at;
    }
    Calls made;
    LiveBoard board;
    Controller controller{};
};

TEST_F(ControllerTest, KeysEscapeQuitsF2AndCharactersOpenTheDialogsAltAndOpenDialogsDoNothing) {
    EXPECT_TRUE(controller_key(controller, BoardKey{true, kEscapeCharacter, 0, false}));
    EXPECT_EQ(taken(), Calls{"quit"});
    EXPECT_FALSE(controller_key(controller, BoardKey{true, '5', 0, true}));
    EXPECT_FALSE(controller_key(controller, BoardKey{true, kEscapeCharacter, 0, true}));
    EXPECT_FALSE(controller_key(controller, BoardKey{false, 0, 5, false}));
    EXPECT_FALSE(controller_key(controller, BoardKey{false, 0, 0, false}));
    EXPECT_EQ(taken(), Calls{});

    // Ctrl+2 types a NUL, still a character.
    EXPECT_TRUE(controller_key(controller, BoardKey{true, 0, 0, false}));
    EXPECT_EQ(taken(), Calls{"settings"});
    EXPECT_TRUE(controller_key(controller, BoardKey{true, kEscapeCharacter, 0, false}));
    EXPECT_TRUE(controller_key(controller, BoardKey{false, 0, 2, false}));
    EXPECT_EQ(taken(), Calls{});  // taken, but nothing done while the dialog is open
    controller_dialog_closed(controller, DialogKind::kSettings, false);
    taken();
    EXPECT_TRUE(controller_key(controller, BoardKey{false, 0, 2, false}));
    EXPECT_EQ(taken(), Calls{"service"});
}

TEST_F(ControllerTest, ABurstOfChangesAsksOnceUntilThePaintBegins) {
    for (int i = 0; i < 5; ++i) {
        controller_board_changed(controller);
    }
    EXPECT_EQ(taken(), Calls{"repaint"});
    std::strcpy(board.table.slots[0], "42");
    const BoardCopy copy = controller_paint_begun(controller);
    EXPECT_STREQ(copy.table.slots[0], "42");
    controller_board_changed(controller);
    controller_board_changed(controller);
    EXPECT_EQ(taken(), Calls{"repaint"});
}

TEST_F(ControllerTest, AfterADialogOnlyTheStoredServiceDialogRedrawsAndBothArmTheRound) {
    expiring_entry(now_ms - 1000, 5000);
    controller_dialog_closed(controller, DialogKind::kSettings, true);
    EXPECT_EQ(taken(), Calls{"arm round 4000"});
    controller_dialog_closed(controller, DialogKind::kService, false);
    EXPECT_EQ(taken(), Calls{"arm round 4000"});
    controller_dialog_closed(controller, DialogKind::kService, true);
    EXPECT_EQ(taken(), (Calls{"repaint", "arm round 4000"}));
}

TEST_F(ControllerTest, TheRoundWaitsNoLessThanNothingAndNoMoreThanTheLongestWait) {
    controller_painted(controller);
    EXPECT_EQ(taken(), Calls{});  // nothing due: no timer, none to cancel

    expiring_entry(now_ms - 9000, 5000);
    controller_painted(controller);
    EXPECT_EQ(taken(), Calls{"arm round 0"});
    controller_timer_fired(controller, ShellTimer::kRound);  // the entry expires
    EXPECT_EQ(taken(), (Calls{"repaint", "cancel round"}));
    controller_painted(controller);
    EXPECT_EQ(taken(), Calls{});  // cancelled once is cancelled: none left to cancel

    expiring_entry(now_ms, int64_t{1} << 40);
    controller_painted(controller);
    EXPECT_EQ(taken(), Calls{"arm round " + std::to_string(kLongestWaitMs)});
    controller_stop(controller);
    EXPECT_EQ(taken(), Calls{"cancel round"});
}

TEST_F(ControllerTest, AStillPointerOverAFramelessBoardHidesAndOnlyThenRunsATimer) {
    controller_window_ready(controller);  // framed: the pointer is left alone
    controller_pointer_moved(controller, 10, 10);
    now_ms += 10 * kPointerIdleMs;
    controller_pointer_tick(controller, true);
    EXPECT_EQ(taken(), Calls{});
    controller.framed = false;
    controller_window_ready(controller);
    EXPECT_EQ(taken(), Calls{});  // not over the board yet
    controller_pointer_moved(controller, 10, 10);
    EXPECT_EQ(taken(), Calls{"arm pointer " + std::to_string(kPointerTickMs)});
    now_ms += kPointerIdleMs - 1;
    controller_timer_fired(controller, ShellTimer::kPointer);
    EXPECT_EQ(taken(), Calls{});
    now_ms += 1;
    controller_timer_fired(controller, ShellTimer::kPointer);
    EXPECT_EQ(taken(), (Calls{"hide", "cancel pointer"}));
    controller_pointer_moved(controller, 10, 10);  // no movement
    EXPECT_EQ(taken(), Calls{});
    controller_pointer_moved(controller, 11, 10);
    EXPECT_EQ(taken(), (Calls{"show", "arm pointer 250"}));
    controller_pointer_over(controller, false);
    EXPECT_EQ(taken(), Calls{"cancel pointer"});
    now_ms += 10 * kPointerIdleMs;
    controller_pointer_over(controller, true);
    EXPECT_EQ(taken(), Calls{"arm pointer 250"});
}

// What the receiver thread found as it began: the start order, seen from inside.
char g_first_slot[kSlotSize];
int g_rows_seen;
LiveBoard* g_started_board;
bool no_socket_library() {
    std::lock_guard<std::mutex> hold(g_started_board->lock);
    std::memcpy(g_first_slot, g_started_board->table.slots[0], kSlotSize);
    g_rows_seen = g_started_board->settings.rows;
    return false;  // and ends at once
}

TEST_F(ControllerTest, StartsClearedLoadedThenReceivingAndStopsUnhookedJoinedWithNoTimer) {
    const char* const path = "controller_test_setup.dat";
    BoardSettings file = default_settings();
    file.rows = 3;
    file.show_frame = 0;
    ASSERT_TRUE(write_settings_file(path, file, SettingsTail{}));
    SocketOps ops{};
    ops.startup = no_socket_library;
    Receiver receiver;
    receiver.ops = &ops;
    receiver.board = &board;
    controller.receiver = &receiver;
    controller.settings_path = path;
    g_started_board = &board;
    std::strcpy(board.table.slots[0], "99");

    EXPECT_FALSE(controller_start(controller));
    EXPECT_EQ(receiver.repaint_hook.load(), nullptr);  // no window yet
    controller_window_ready(controller);
    ASSERT_NE(receiver.repaint_hook.load(), nullptr);
    ASSERT_NE(receiver.chime_hook.load(), nullptr);
    receiver.repaint_hook.load()();
    receiver.chime_hook.load()();
    controller_pointer_moved(controller, 1, 1);
    EXPECT_EQ(taken(), (Calls{"repaint", "chime", "arm pointer 250"}));

    controller_stop(controller);
    EXPECT_EQ(taken(), Calls{"cancel pointer"});
    EXPECT_EQ(receiver.repaint_hook.load(), nullptr);
    EXPECT_EQ(receiver.chime_hook.load(), nullptr);
    EXPECT_FALSE(receiver.thread.joinable());
    EXPECT_STREQ(g_first_slot, "");
    EXPECT_EQ(g_rows_seen, 3);
    std::remove(path);
}

// Written by the speaker's thread, read once it is joined; the count is what the test waits on.
std::vector<std::string> g_phrases;
std::atomic<int> g_said{0};

int64_t record_phrase(const Phrase& phrase) {
    std::string words;
    for (int i = 0; i < phrase.count; ++i) {
        words += (i > 0 ? " " : "") + std::string(phrase.clips[i]);
    }
    g_phrases.push_back(words);
    ++g_said;
    return 5;
}

TEST_F(ControllerTest, WithTheVoiceOnTheChimeAndTheCallsTakeTheirTurnsOffTheCallersThread) {
    board.settings = default_settings();
    board.extensions.chime = true;
    board.extensions.voice = true;
    Speaker speaker;
    speaker.board = &board;
    speaker.say = record_phrase;
    controller.speaker = &speaker;
    g_phrases.clear();
    g_said = 0;
    controller_window_ready(controller);
    for (const char* number : {"57", "57", "12"}) {  // the second is the newest again: no call
        char datagram[8] = {};
        std::strcpy(datagram, number);
        controller_web_changed(controller, receive_datagram(board, datagram, std::strlen(number)));
    }
    for (int i = 0; i < 500 && g_said < 2; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    controller_stop(controller);  // joins the speaker: what it wrote is now ours to read
    EXPECT_EQ(g_phrases, (std::vector<std::string>{"zamowienie_numer piecdziesiat siedem",
                                                   "zamowienie_numer dwanascie"}));
    EXPECT_EQ(taken(), (Calls{"repaint", "chime"}));  // the chime from the speaker, once

    // Off, the chime sounds at once and nothing is said.
    board.extensions.voice = false;
    now_ms += kChimeGapMs;
    char datagram[] = "13";
    controller_web_changed(controller, receive_datagram(board, datagram, 2));
    EXPECT_EQ(taken(), (Calls{"chime"}));
    EXPECT_EQ(g_said, 2);
    EXPECT_FALSE(speaker.thread.joinable());
}

TEST_F(ControllerTest, TheWebSideFollowsItsBlockHearsEveryChangeAndChangesAsADatagramDoes) {
    controller.web = &kFakeWeb;
    board.tail.present = true;
    board.tail.web_present = true;
    board.tail.fields.web_port = 8080;
    EXPECT_TRUE(controller_apply_web(controller));
    EXPECT_EQ(taken(), Calls{});  // nothing before the window

    board.tail.web_present = false;  // a file without the block: off
    controller_window_ready(controller);
    EXPECT_EQ(taken(), Calls{});
    board.tail.web_present = true;
    EXPECT_TRUE(controller_apply_web(controller));
    EXPECT_TRUE(controller_apply_web(controller));
    EXPECT_EQ(taken(), Calls{"web start 8080 0"});
    board.tail.fields.staff_pin = 1234;
    EXPECT_TRUE(controller_apply_web(controller));
    board.tail.fields.staff_pin = -7;  // locked: a PIN no bearer matches
    EXPECT_TRUE(controller_apply_web(controller));
    EXPECT_EQ(taken(), (Calls{"web pin 1234", "web pin -1"}));
    board.tail.fields.web_port = 8081;
    EXPECT_TRUE(controller_apply_web(controller));
    EXPECT_EQ(taken(), (Calls{"web stop", "web start 8081 -1"}));

    web_binds = false;  // taken: said once, then nothing left running to stop
    board.tail.fields.web_port = 9000;
    EXPECT_FALSE(controller_apply_web(controller));
    EXPECT_EQ(taken(), (Calls{"web stop", "web start 9000 -1"}));
    web_binds = true;
    board.tail.fields.web_port = 0;
    EXPECT_TRUE(controller_apply_web(controller));
    EXPECT_EQ(taken(), Calls{});
    board.tail.fields.web_port = 9000;
    board.tail.fields.staff_pin = 4321;
    controller_dialog_closed(controller, DialogKind::kService, false);  // a cancelled one does not
    EXPECT_EQ(taken(), Calls{});
    board.tail.fields.staff_pin = -7;
    controller_dialog_closed(controller, DialogKind::kSettings, true);  // a stored dialog applies
    EXPECT_EQ(taken(), (Calls{"web changed", "web start 9000 -1"}));

    controller_web_changed(controller, Outcome{true, true});
    controller_web_changed(controller, Outcome{false, false});
    EXPECT_EQ(taken(), (Calls{"web changed", "repaint", "chime"}));
    expiring_entry(now_ms - 9000, 5000);
    controller_timer_fired(controller, ShellTimer::kRound);  // expired: the pages hear of it too
    EXPECT_EQ(taken(), Calls{"web changed"});

    controller_stop(controller);
    EXPECT_EQ(taken(), Calls{"web stop"});
    web_binds = true;
}

TEST_F(ControllerTest, AtStopTheWebSideGoesBeforeTheReceiver) {
    // Nothing may change the board through the web once it takes no more datagrams.
    static Receiver* receiver_seen = nullptr;
    static bool receiver_running_at_web_stop = false;
    static const WebOps kWebWatchingTheReceiver = {
        [](void*, uint16_t, int32_t) { return true; },
        [](void*) { receiver_running_at_web_stop = receiver_seen->repaint_hook.load() != nullptr; },
        [](void*, int32_t) {},
        [](void*) {},
        nullptr,
    };
    SocketOps ops{};
    ops.startup = no_socket_library;
    Receiver receiver;
    receiver.ops = &ops;
    receiver.board = &board;
    receiver_seen = &receiver;
    controller.receiver = &receiver;
    controller.web = &kWebWatchingTheReceiver;
    board.tail.present = true;
    board.tail.web_present = true;
    board.tail.fields.web_port = 8080;
    controller_window_ready(controller);
    ASSERT_EQ(controller.web_port, 8080);
    ASSERT_NE(receiver.repaint_hook.load(), nullptr);
    controller_stop(controller);
    EXPECT_TRUE(receiver_running_at_web_stop);
    EXPECT_EQ(receiver.repaint_hook.load(), nullptr);
}

// A port nothing listens on a moment ago, and one held by a server of the test's own.
uint16_t free_tcp_port(LiveBoard& board, WebServerHandle* held = nullptr) {
    std::string error;
    WebServerHandle server = web_server_start(board, 0, 0, WebShell{nullptr, nullptr}, &error);
    const uint16_t port = server ? web_server_port(*server) : 0;
    if (held != nullptr) {
        *held = std::move(server);
    }
    return port;
}

// The real server behind the controller, started, moved and stopped on this thread while another
// reports changes as the receiver thread does (run under the thread sanitizer too).
TEST_F(ControllerTest, TheRealWebSideStartsMovesAndStopsWhileChangesArrive) {
    static std::atomic<int> repaints{0};
    static const ShellOps kQuietShell = {
        [](void*) { ++repaints; }, [](void*, ShellTimer, uint32_t) {},
        [](void*, ShellTimer) {},  [](void*) {},
        [](void*, DialogKind) {},  [](void*) {},
        [](void*, bool) {},
    };
    controller.ops = &kQuietShell;
    controller.web = web_front_ops(controller);
    board.settings = default_settings();
    board.tail.present = true;
    board.tail.web_present = true;
    controller_window_ready(controller);

    std::atomic<bool> done{false};
    std::thread changes([&] {
        while (!done.load()) {
            controller_board_changed(controller);
            std::this_thread::yield();
        }
    });
    const auto set_port = [&](uint16_t port) {
        std::lock_guard<std::mutex> hold(board.lock);
        board.tail.fields.web_port = port;
    };
    for (int round = 0; round < 12; ++round) {
        // Off every third round, else a port free a moment ago: should a test running beside this
        // one take it meanwhile, another.
        uint16_t port = 0;
        bool applied = false;
        for (int attempt = 0; attempt < 5 && !applied; ++attempt) {
            port = round % 3 == 2 ? 0 : free_tcp_port(board);
            set_port(port);
            applied = controller_apply_web(controller);
        }
        EXPECT_TRUE(applied) << port;
        EXPECT_EQ(controller.web_port, port);
    }
    WebServerHandle held;
    set_port(free_tcp_port(board, &held));
    EXPECT_FALSE(controller_apply_web(controller));
    EXPECT_EQ(controller.web_port, 0);
    // On a busy machine the changes thread may not have run yet: its first change is waited for.
    for (int waited = 0; waited < 1000 && repaints.load() == 0; ++waited) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    done.store(true);
    changes.join();
    controller_stop(controller);
    EXPECT_GT(repaints.load(), 0);
}

}  // namespace
