// The keep-awake and pointer calls the board makes, seen through fakes of the Windows functions:
// which flags, which timer, when the cursor goes and comes back. The pointer's rule is the
// controller's: a controller over a board of its own, whose clock is the fake's, drives the
// kiosk's part of the shell table.
#include <gtest/gtest.h>

#include <windows.h>

#include <vector>

#include "core/pointer_idle.h"
#include "live/controller.h"
#include "win32/kiosk_win32.h"

namespace {

HWND const kBoard = reinterpret_cast<HWND>(0x1000);
HWND const kDialog = reinterpret_cast<HWND>(0x2000);
HCURSOR const kArrow = reinterpret_cast<HCURSOR>(0x3000);

struct Fake {
    std::vector<EXECUTION_STATE> states;
    std::vector<HCURSOR> cursors;  // every SetCursor argument
    HCURSOR current = kArrow;
    POINT pointer{100, 100};
    HWND under_pointer = kBoard;
    DWORD now = 50000;
    TIMERPROC timer = nullptr;
    UINT_PTR timer_id = 0;
    UINT timer_ms = 0;
    bool timer_killed = false;
};
Fake* fake;

EXECUTION_STATE WINAPI fake_state(EXECUTION_STATE flags) {
    fake->states.push_back(flags);
    return ES_CONTINUOUS;
}
HCURSOR WINAPI fake_set_cursor(HCURSOR cursor) {
    fake->cursors.push_back(cursor);
    const HCURSOR previous = fake->current;
    fake->current = cursor;
    return previous;
}
BOOL WINAPI fake_cursor_pos(POINT* point) {
    *point = fake->pointer;
    return TRUE;
}
HWND WINAPI fake_window_from_point(POINT) {
    return fake->under_pointer;
}
int64_t fake_clock() {
    return fake->now;
}
UINT_PTR WINAPI fake_set_timer(HWND, UINT_PTR id, UINT ms, TIMERPROC proc) {
    fake->timer = proc;
    fake->timer_id = id;
    fake->timer_ms = ms;
    return id;
}
BOOL WINAPI fake_kill_timer(HWND, UINT_PTR id) {
    fake->timer_killed = id == fake->timer_id;
    return TRUE;
}

const KioskOps kFakeOps = {fake_state,     fake_set_cursor, fake_cursor_pos, fake_window_from_point,
                           fake_set_timer, fake_kill_timer};

// The shell table of the Windows board, but for its pointer's part only.
void no_repaint(void*) {}
void arm(void*, ShellTimer, uint32_t wait_ms) {
    kiosk_arm_pointer_timer(kBoard, wait_ms);
}
void cancel(void*, ShellTimer) {
    kiosk_cancel_pointer_timer(kBoard);
}
void no_dialog(void*, DialogKind) {}
void show(void*, bool shown) {
    kiosk_show_pointer(shown);
}
const ShellOps kPointerShell = {no_repaint, arm, cancel, no_repaint, no_dialog, no_repaint, show};

class Kiosk : public testing::Test {
protected:
    void SetUp() override {
        fake = &state;
        use_kiosk_ops(&kFakeOps);
        board.clock = fake_clock;
        controller.board = &board;
        controller.ops = &kPointerShell;
    }
    void TearDown() override {
        release();
        use_kiosk_ops(nullptr);
        fake = nullptr;
    }
    // As the board's start does once its window exists.
    void watch_pointer(bool framed) {
        controller.framed = framed;
        kiosk_watch_pointer(kBoard, &controller);
        controller_window_ready(controller);
    }
    // As its way out does.
    void release() {
        kiosk_release();
        controller_stop(controller);
    }
    void tick_after(DWORD ms) {
        state.now += ms;
        ASSERT_NE(state.timer, nullptr);
        state.timer(kBoard, WM_TIMER, state.timer_id, state.now);
    }
    bool message(UINT msg, LPARAM lParam, LRESULT* result) {
        return kiosk_pointer_message(kBoard, msg, 0, lParam, result);
    }
    Fake state;
    LiveBoard board;
    Controller controller{};
};

TEST_F(Kiosk, KeepsTheDisplayAndSystemAwakeUntilReleased) {
    kiosk_keep_awake();
    kiosk_release();
    ASSERT_EQ(state.states.size(), 2u);
    EXPECT_EQ(state.states[0], ES_CONTINUOUS | ES_DISPLAY_REQUIRED | ES_SYSTEM_REQUIRED);
    EXPECT_EQ(state.states[1], static_cast<EXECUTION_STATE>(ES_CONTINUOUS));
}

TEST_F(Kiosk, AFramedBoardLeavesThePointerAlone) {
    watch_pointer(true);
    EXPECT_EQ(state.timer, nullptr);
    LRESULT result = 0;
    EXPECT_FALSE(message(WM_SETCURSOR, MAKELPARAM(HTCLIENT, WM_MOUSEMOVE), &result));
    EXPECT_FALSE(message(WM_MOUSEMOVE, MAKELPARAM(10, 10), &result));
    EXPECT_TRUE(state.cursors.empty());
}

TEST_F(Kiosk, AFramelessBoardHidesAStillPointerAndShowsItOnMovement) {
    watch_pointer(false);
    EXPECT_EQ(state.timer_id, kPointerTimerId);
    EXPECT_EQ(state.timer_ms, kPointerTickMs);
    LRESULT result = 0;
    EXPECT_FALSE(message(WM_MOUSEMOVE, MAKELPARAM(100, 100), &result));
    tick_after(kPointerIdleMs - 1);
    EXPECT_TRUE(state.cursors.empty());
    tick_after(1);
    ASSERT_EQ(state.cursors, std::vector<HCURSOR>{nullptr});

    // While hidden, the window's own cursor requests keep it hidden over the board...
    result = 0;
    EXPECT_TRUE(message(WM_SETCURSOR, MAKELPARAM(HTCLIENT, WM_MOUSEMOVE), &result));
    EXPECT_EQ(result, TRUE);
    EXPECT_EQ(state.current, nullptr);
    // ...and a report where the pointer already stood changes nothing.
    EXPECT_FALSE(message(WM_MOUSEMOVE, MAKELPARAM(100, 100), &result));
    EXPECT_EQ(state.current, nullptr);

    EXPECT_FALSE(message(WM_MOUSEMOVE, MAKELPARAM(101, 100), &result));
    EXPECT_EQ(state.current, kArrow);
    EXPECT_FALSE(message(WM_SETCURSOR, MAKELPARAM(HTCLIENT, WM_MOUSEMOVE), &result));

    release();
    EXPECT_TRUE(state.timer_killed);
}

TEST_F(Kiosk, AHiddenPointerRunsNoTimerUntilItMovesAgain) {
    watch_pointer(false);
    LRESULT result = 0;
    message(WM_MOUSEMOVE, MAKELPARAM(100, 100), &result);
    tick_after(kPointerIdleMs);
    ASSERT_EQ(state.cursors, std::vector<HCURSOR>{nullptr});
    EXPECT_TRUE(state.timer_killed);

    state.timer = nullptr;
    message(WM_MOUSEMOVE, MAKELPARAM(100, 100), &result);  // no movement: still no timer
    EXPECT_EQ(state.timer, nullptr);
    message(WM_MOUSEMOVE, MAKELPARAM(120, 100), &result);
    EXPECT_EQ(state.current, kArrow);
    tick_after(kPointerIdleMs);
    EXPECT_EQ(state.current, nullptr);
}

TEST_F(Kiosk, ThePointerStaysOverTheSettingsDialog) {
    watch_pointer(false);
    state.under_pointer = kDialog;
    tick_after(10 * kPointerIdleMs);
    EXPECT_TRUE(state.cursors.empty());
    state.under_pointer = kBoard;
    tick_after(kPointerTickMs);
    EXPECT_EQ(state.cursors, std::vector<HCURSOR>{nullptr});
}

}  // namespace
