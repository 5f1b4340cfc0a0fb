#include <gtest/gtest.h>

#include "frame/gui_timer.h"
#include "modules/gui/float_limiter_gui.h"
#include "tests/support/module_harness.h"

namespace {

using Pin = FloatLimiterGui::Pin;

struct FloatLimiterTest : ::testing::Test {
  SharedGuiTimer& timer = SharedGuiTimer::instance();
  TestHost host;
  std::unique_ptr<GuiModule> limiter = std::make_unique<GuiModule>(host, MP_TEXT("SE Float Limiter"));
  void TearDown() override {
    limiter.reset();
    TimerClient::setTimerInterval(50);
  }
};

TEST_F(FloatLimiterTest, ClampsOnTheNextTickOnly) {
  EXPECT_EQ(timer.interval(), 20);
  struct Case {
    float minimum, maximum, value, limited;
  } cases[] = {{0.0f, 1.0f, 1.5f, 1.0f}, {0.0f, 1.0f, -2.0f, 0.0f}, {-1.0f, -0.5f, 3.0f, -0.5f}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    limiter->set(Pin::MINIMUM, c.minimum);
    limiter->set(Pin::MAXIMUM, c.maximum);
    host.clearRecords();
    limiter->set(Pin::VALUE, c.value);
    EXPECT_TRUE(host.guiValues.empty()) << "nothing at once";
    EXPECT_TRUE(timer.isRunning());
    timer.tick();
    ASSERT_EQ(host.guiValues.size(), 1u);
    EXPECT_EQ(host.guiValues[0].pin, Pin::VALUE);
    EXPECT_EQ(host.guiValues[0].asFloat(), c.limited);
    EXPECT_FALSE(timer.isRunning()) << "one tick and the limiter leaves";
  }
}

TEST_F(FloatLimiterTest, InvertedOrInRangeLimitsDoNothing) {
  limiter->set(Pin::MINIMUM, 1.0f);
  limiter->set(Pin::MAXIMUM, 0.0f);
  limiter->set(Pin::VALUE, 5.0f);
  EXPECT_FALSE(timer.isRunning());
  limiter->set(Pin::MAXIMUM, 10.0f);
  EXPECT_FALSE(timer.isRunning()) << "5 lies within 1 ... 10";
}

}  // namespace
