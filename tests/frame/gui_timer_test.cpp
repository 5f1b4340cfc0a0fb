#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "frame/gui_timer.h"

namespace {

struct Client : TimerClient {
  std::function<bool()> action = [] { return true; };
  int ticks = 0;
  bool onTimer() override {
    ++ticks;
    return action();
  }
};

struct GuiTimerTest : ::testing::Test {
  SharedGuiTimer& timer = SharedGuiTimer::instance();
  void TearDown() override { TimerClient::setTimerInterval(50); }
};

TEST_F(GuiTimerTest, StartsWithTheFirstClientAndStopsWithTheLast) {
  Client a, b;
  EXPECT_FALSE(timer.isRunning());
  a.startTimer();
  a.startTimer();
  EXPECT_EQ(timer.clientCount(), 1u);
  EXPECT_TRUE(timer.isRunning());
  b.startTimer();
  timer.tick();
  EXPECT_EQ(a.ticks, 1);
  EXPECT_EQ(b.ticks, 1);
  a.stopTimer();
  EXPECT_TRUE(timer.isRunning());
  b.stopTimer();
  EXPECT_FALSE(timer.isRunning());
}

TEST_F(GuiTimerTest, ClientReturningFalseLeaves) {
  Client once;
  once.action = [] { return false; };
  once.startTimer();
  timer.tick();
  timer.tick();
  EXPECT_EQ(once.ticks, 1);
  EXPECT_FALSE(timer.isRunning());
}

TEST_F(GuiTimerTest, ClientsMayChangeTheListFromInsideATick) {
  auto victim = std::make_unique<Client>();
  Client killer, newcomer;
  killer.action = [&] {
    victim.reset();  // destroyed mid-tick: must not be called
    newcomer.startTimer();
    return true;
  };
  killer.startTimer();
  victim->startTimer();
  timer.tick();
  EXPECT_EQ(killer.ticks, 1);
  EXPECT_EQ(newcomer.ticks, 0) << "joins from the next tick";
  timer.tick();
  EXPECT_EQ(newcomer.ticks, 1);
  killer.stopTimer();
  newcomer.stopTimer();
}

TEST_F(GuiTimerTest, IntervalChangeKeepsTheTimerRunning) {
  Client a;
  TimerClient::setTimerInterval(20);
  EXPECT_FALSE(timer.isRunning());
  a.startTimer();
  TimerClient::setTimerInterval(30);
  EXPECT_TRUE(timer.isRunning());
  EXPECT_EQ(timer.interval(), 30);
}

TEST_F(GuiTimerTest, DestroyedClientLeavesTheList) {
  {
    Client a;
    a.startTimer();
  }
  EXPECT_EQ(timer.clientCount(), 0u);
  EXPECT_FALSE(timer.isRunning());
}

}  // namespace
