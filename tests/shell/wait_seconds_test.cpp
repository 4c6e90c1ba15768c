#include <gtest/gtest.h>

#include "shell/wait_seconds.h"
#include "tests/fakes/fake_desktop.h"

namespace ornavex {
namespace {

TEST(WaitSecondsTest, YieldsUntilTheTimeHasPassed) {
    FakeClock clock;
    clock.now = 1000.0;
    clock.step = 0.1;
    FakeEventLoop events;
    WaitSeconds(1.0, clock, events);
    EXPECT_GE(clock.now, 1001.0);
    EXPECT_LT(clock.now, 1001.5);
    EXPECT_GE(events.yields, 5);
}

TEST(WaitSecondsTest, ReturnsAtOnceWithoutYieldingForNoTime) {
    FakeClock clock;
    FakeEventLoop events;
    WaitSeconds(0, clock, events);
    WaitSeconds(-3, clock, events);
    EXPECT_EQ(events.yields, 0);
}

TEST(WaitSecondsTest, KeepsWaitingTheFullTimeAcrossMidnight) {
    FakeClock clock;
    clock.now = 86399.5;
    clock.step = 0.05;
    FakeEventLoop events;
    WaitSeconds(1.0, clock, events);
    // Started half a second before midnight: ends about half a second after it.
    EXPECT_GE(clock.now, 0.5);
    EXPECT_LT(clock.now, 1.0);
}

}  // namespace
}  // namespace ornavex
