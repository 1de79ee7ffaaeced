// The rule that hides a frameless board's pointer: stillness, real movement, and the wrap of the
// system's millisecond tick.
#include <gtest/gtest.h>

#include <cstdint>

#include "core/pointer_idle.h"

namespace {

TEST(PointerIdle, HidesOnlyAfterTheFullStillnessAndOnlyOnce) {
    PointerIdle idle = pointer_idle_start(1000);
    EXPECT_EQ(pointer_tick(&idle, true, 1000 + kPointerIdleMs - 1), PointerChange::kNone);
    EXPECT_EQ(pointer_tick(&idle, true, 1000 + kPointerIdleMs), PointerChange::kHide);
    EXPECT_EQ(pointer_tick(&idle, true, 1000 + 2 * kPointerIdleMs), PointerChange::kNone);
    EXPECT_TRUE(idle.hidden);
}

TEST(PointerIdle, StaysWhileThePointerIsOffTheBoard) {
    PointerIdle idle = pointer_idle_start(0);
    EXPECT_EQ(pointer_tick(&idle, false, 10 * kPointerIdleMs), PointerChange::kNone);
    EXPECT_EQ(pointer_tick(&idle, true, 10 * kPointerIdleMs), PointerChange::kHide);
}

TEST(PointerIdle, MovementShowsItAndStartsTheStillnessAgain) {
    PointerIdle idle = pointer_idle_start(0);
    EXPECT_EQ(pointer_moved(&idle, 5, 5, 1000), PointerChange::kNone);  // first report, shown
    EXPECT_EQ(pointer_tick(&idle, true, 1000 + kPointerIdleMs - 1), PointerChange::kNone);
    EXPECT_EQ(pointer_tick(&idle, true, 1000 + kPointerIdleMs), PointerChange::kHide);

    EXPECT_EQ(pointer_moved(&idle, 6, 5, 9000), PointerChange::kShow);
    EXPECT_FALSE(idle.hidden);
    EXPECT_EQ(pointer_tick(&idle, true, 9000 + kPointerIdleMs - 1), PointerChange::kNone);
    EXPECT_EQ(pointer_tick(&idle, true, 9000 + kPointerIdleMs), PointerChange::kHide);
}

TEST(PointerIdle, AReportAtTheSamePlaceIsNotMovement) {
    PointerIdle idle = pointer_idle_start(0);
    pointer_moved(&idle, 40, 30, 0);
    ASSERT_EQ(pointer_tick(&idle, true, kPointerIdleMs), PointerChange::kHide);
    // Hiding the pointer makes the system report it where it stands: it must stay hidden.
    EXPECT_EQ(pointer_moved(&idle, 40, 30, kPointerIdleMs + 10), PointerChange::kNone);
    EXPECT_TRUE(idle.hidden);
    // Nor does such a report restart the stillness of a shown pointer.
    EXPECT_EQ(pointer_moved(&idle, 41, 30, 20000), PointerChange::kShow);
    EXPECT_EQ(pointer_moved(&idle, 41, 30, 22000), PointerChange::kNone);
    EXPECT_EQ(pointer_tick(&idle, true, 20000 + kPointerIdleMs), PointerChange::kHide);
}

TEST(PointerIdle, CountsStillnessAcrossTheTickWrap) {
    const uint32_t start = 0xFFFFFFFFu - 1000;  // 49.7 days after the machine started
    PointerIdle idle = pointer_idle_start(start);
    EXPECT_EQ(pointer_tick(&idle, true, start + 500), PointerChange::kNone);
    EXPECT_EQ(pointer_tick(&idle, true, start + kPointerIdleMs - 1), PointerChange::kNone);
    EXPECT_EQ(pointer_tick(&idle, true, start + kPointerIdleMs), PointerChange::kHide);
}

}  // namespace
