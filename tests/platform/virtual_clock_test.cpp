// The virtual clock and pump that drive timer-paced code in tests.
#include "platform/pump.h"
#include "platform/timer_host.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace q47 {
namespace {

using Fired = std::vector<std::pair<int64_t, int>>;  // (time, id)

class Clock : public ::testing::Test {
protected:
    void SetUp() override {
        clock.setCallback([this](int id) {
            fired.emplace_back(clock.now(), id);
            if (onFire) onFire(id);
        });
    }
    VirtualClock clock;
    Fired fired;
    std::function<void(int)> onFire;
};

TEST_F(Clock, PeriodicTimerFiresEveryPeriodUntilStopped) {
    clock.start(7, 100);
    EXPECT_TRUE(clock.isRunning(7));
    EXPECT_EQ(clock.periodOf(7), 100);
    clock.advance(350);
    EXPECT_EQ(fired, (Fired{{100, 7}, {200, 7}, {300, 7}}));
    EXPECT_EQ(clock.now(), 350);
    clock.stop(7);
    EXPECT_FALSE(clock.isRunning(7));
    EXPECT_EQ(clock.periodOf(7), -1);
    clock.advance(1000);
    EXPECT_EQ(fired.size(), 3u);
}

TEST_F(Clock, TimersFireInTimeOrderAndEqualTimesById) {
    clock.start(2, 30);
    clock.start(1, 20);
    clock.advance(60);
    EXPECT_EQ(fired, (Fired{{20, 1}, {30, 2}, {40, 1}, {60, 1}, {60, 2}}));
}

TEST_F(Clock, StartingARunningTimerRestartsItWithTheNewPeriod) {
    clock.start(1, 100);
    clock.advance(50);
    clock.start(1, 100);
    clock.advance(99);
    EXPECT_TRUE(fired.empty());
    clock.advance(1);
    clock.start(1, 250);
    clock.advance(500);
    EXPECT_EQ(fired, (Fired{{150, 1}, {400, 1}, {650, 1}}));
}

TEST_F(Clock, PeriodsBelowTenMillisecondsRunAtTen) {
    clock.start(1, 0);
    clock.start(2, 3);
    EXPECT_EQ(clock.periodOf(1), 10);
    clock.advance(20);
    EXPECT_EQ(fired, (Fired{{10, 1}, {10, 2}, {20, 1}, {20, 2}}));
}

TEST_F(Clock, CallbackMayStopItselfOrAnotherTimerDueAtTheSameTime) {
    clock.start(1, 10);
    clock.start(2, 10);
    clock.start(3, 50);
    onFire = [this](int id) {
        if (id == 1) {
            clock.stop(1);
            clock.stop(2);
        }
    };
    clock.advance(100);
    EXPECT_EQ(fired, (Fired{{10, 1}, {50, 3}, {100, 3}}));
}

TEST_F(Clock, CallbackMayRestartItselfAndStartOthers) {
    // A one-shot pattern: the "status after key" timer stops itself and starts the
    // link tick again.
    clock.start(5, 1000);
    onFire = [this](int id) {
        if (id == 5) {
            clock.stop(5);
            clock.start(6, 250);
        }
        if (id == 6 && clock.now() == 1500) clock.start(6, 100);
    };
    clock.advance(1700);
    EXPECT_EQ(fired, (Fired{{1000, 5}, {1250, 6}, {1500, 6}, {1600, 6}, {1700, 6}}));
}

TEST_F(Clock, RunNextJumpsToTheNextDueTimer) {
    EXPECT_FALSE(clock.runNext());
    clock.start(3, 1000);
    clock.start(4, 250);
    ASSERT_TRUE(clock.runNext());
    ASSERT_TRUE(clock.runNext());
    EXPECT_EQ(fired, (Fired{{250, 4}, {500, 4}}));
    ASSERT_TRUE(clock.nextDue().has_value());
    EXPECT_EQ(*clock.nextDue(), std::make_pair(int64_t{750}, 4));
}

TEST_F(Clock, RunUntilStopsAsSoonAsTheConditionHolds) {
    clock.start(1, 100);
    EXPECT_TRUE(clock.runUntil([&] { return fired.size() == 3; }, 10000));
    EXPECT_EQ(clock.now(), 300);
    EXPECT_TRUE(clock.runUntil([] { return true; }, 10000));
    EXPECT_EQ(clock.now(), 300);
}

TEST_F(Clock, RunUntilGivesUpAtTheLimit) {
    clock.start(1, 100);
    EXPECT_FALSE(clock.runUntil([] { return false; }, 450));
    EXPECT_EQ(clock.now(), 450);
    EXPECT_EQ(fired.size(), 4u);
    clock.stop(1);
    EXPECT_FALSE(clock.runUntil([] { return false; }, 1000));  // nothing runs: time still ends
    EXPECT_EQ(clock.now(), 1450);
}

TEST_F(Clock, TimeNeverRunsBackwardsWhenACallbackMovesItOn) {
    clock.start(1, 100);
    clock.start(2, 100);
    onFire = [this](int id) {
        if (id == 1 && clock.now() == 100) clock.advance(500);  // a nested wait loop
    };
    clock.advance(200);
    int64_t last = 0;
    for (const auto& [when, id] : fired) {
        EXPECT_GE(when, last);
        last = when;
    }
    EXPECT_EQ(clock.now(), 600);
}

// --- The pump ---------------------------------------------------------------

TEST_F(Clock, PumpSleepFiresNothingAndDispatchCollapsesMissedPeriods) {
    VirtualPump pump(clock);
    clock.start(1, 100);
    pump.sleepMs(350);
    EXPECT_TRUE(fired.empty());
    EXPECT_EQ(pump.sleptMs(), 350);
    pump.processEvents();
    EXPECT_EQ(fired, (Fired{{350, 1}}));
    pump.processEvents();
    EXPECT_EQ(fired.size(), 1u);
    // The timer keeps its cadence: next at 400, not 450.
    clock.advance(50);
    EXPECT_EQ(fired.back(), std::make_pair(int64_t{400}, 1));
}

TEST_F(Clock, DispatchAndSleepLoopInsideATimerCallback) {
    // "Up to 20 rounds of dispatch and sleep 100 ms" run from a timer callback: other
    // timers fire inside the loop, the running one is not fired again recursively
    // until its next period is due.
    VirtualPump pump(clock);
    clock.start(1, 1000);
    clock.start(2, 250);
    int depth = 0, maxDepth = 0;
    onFire = [&](int id) {
        if (id != 1 || clock.now() != 1000) return;
        ++depth;
        maxDepth = std::max(maxDepth, depth);
        for (int i = 0; i < 20; ++i) {
            pump.processEvents();
            pump.sleepMs(100);
        }
        --depth;
    };
    clock.advance(1000);
    EXPECT_EQ(maxDepth, 1);
    EXPECT_EQ(clock.now(), 3000);
    int count2 = 0, count1 = 0;
    for (const auto& [when, id] : fired) (id == 2 ? count2 : count1)++;
    EXPECT_EQ(count1, 2);   // at 1000, then once more for 2000 during the loop
    EXPECT_EQ(count2, 11);  // 250, 500, 750, 1000, then every 250 ms up to 2750
}

TEST_F(Clock, DispatchSkipsATimerStoppedByAnEarlierCallback) {
    VirtualPump pump(clock);
    clock.start(1, 100);
    clock.start(2, 100);
    onFire = [this](int id) {
        if (id == 1) clock.stop(2);
    };
    pump.sleepMs(100);
    pump.processEvents();
    EXPECT_EQ(fired, (Fired{{100, 1}}));
}

}  // namespace
}  // namespace q47
