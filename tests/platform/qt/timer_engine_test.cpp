#include <gtest/gtest.h>

#include <chrono>

#include "platform/qt/timer_engine.h"
#include "qt_test_app.h"

namespace {

using namespace std::chrono_literals;

class TimerEngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureQtApplication();
        timer.SetInterval(5);
        timer.Tick = [this] { ++ticks; };
    }
    Timer timer{"timer"};
    TimerEngine engine;
    int ticks = 0;
};

TEST_F(TimerEngineTest, StoppedTimerNeverTicks) {
    engine.Bind(timer);
    RunEventsFor(60ms);
    EXPECT_EQ(ticks, 0);
}

TEST_F(TimerEngineTest, EnabledTimerTicksUntilDisabled) {
    engine.Bind(timer);
    timer.SetEnabled(true);
    ASSERT_TRUE(RunEventsUntil([&] { return ticks >= 3; }, 2s));
    timer.SetEnabled(false);
    const int stopped = ticks;
    RunEventsFor(60ms);
    EXPECT_EQ(ticks, stopped);
}

TEST_F(TimerEngineTest, TimerEnabledBeforeBindingRunsFromTheStart) {
    timer.SetEnabled(true);
    engine.Bind(timer);
    EXPECT_TRUE(RunEventsUntil([&] { return ticks >= 1; }, 2s));
}

TEST_F(TimerEngineTest, TickThatDisablesItsOwnTimerFiresOnce) {
    timer.Tick = [this] {
        ++ticks;
        timer.SetEnabled(false);
    };
    engine.Bind(timer);
    timer.SetEnabled(true);
    ASSERT_TRUE(RunEventsUntil([&] { return ticks >= 1; }, 2s));
    RunEventsFor(60ms);
    EXPECT_EQ(ticks, 1);
    EXPECT_FALSE(timer.Enabled());
}

TEST_F(TimerEngineTest, FailingTickDoesNotStopTheTimer) {
    timer.Tick = [this] {
        ++ticks;
        throw std::runtime_error("tick failed");
    };
    engine.Bind(timer);
    timer.SetEnabled(true);
    EXPECT_TRUE(RunEventsUntil([&] { return ticks >= 3; }, 2s));
}

TEST_F(TimerEngineTest, ZeroIntervalMeansStopped) {
    engine.Bind(timer);
    timer.SetEnabled(true);
    timer.SetInterval(0);
    const int before = ticks;
    RunEventsFor(60ms);
    EXPECT_EQ(ticks, before);
}

}  // namespace
