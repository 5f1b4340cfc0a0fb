#include <gtest/gtest.h>

#include "frame/gui_timer.h"
#include "modules/gui/float_limiter_gui.h"
#include "tests/support/module_harness.h"

namespace {

using Pin = FloatLimiterGui::Pin;

struct FloatLimiterTest : ::testing::Test {
  SharedGuiTimer& timer = SharedGuiTimer::instance();
  void TearDown() override { TimerClient::setTimerInterval(50); }
};

// The pins are set in the order given, so that each pin's handler is the one
// that finds Value out of range; the limit applies on the next tick only.
TEST_F(FloatLimiterTest, ClampsOnTheNextTickOnly) {
  constexpr float kNone = -12345.0f;  // nothing happens
  struct Case {
    float minimum, maximum, value;
    Pin order[3];
    float limited;
  } cases[] = {
      {0.0f, 1.0f, 1.5f, {Pin::MINIMUM, Pin::MAXIMUM, Pin::VALUE}, 1.0f},
      {0.0f, 1.0f, 3.0f, {Pin::MINIMUM, Pin::VALUE, Pin::MAXIMUM}, 1.0f},
      {-1.0f, -0.5f, -2.0f, {Pin::MAXIMUM, Pin::VALUE, Pin::MINIMUM}, -1.0f},
      {1.0f, 0.0f, 5.0f, {Pin::MINIMUM, Pin::MAXIMUM, Pin::VALUE}, kNone},  // limits the wrong way round
      {1.0f, 10.0f, 5.0f, {Pin::VALUE, Pin::MINIMUM, Pin::MAXIMUM}, kNone},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.value << " in " << c.minimum << " ... " << c.maximum);
    TestHost host;
    GuiModule limiter(host, MP_TEXT("SE Float Limiter"));
    EXPECT_EQ(timer.interval(), 20);
    const float values[] = {c.minimum, c.maximum, c.value};
    for (Pin pin : c.order) limiter.set(pin, values[pin]);
    EXPECT_TRUE(host.guiValues.empty()) << "nothing at once";
    EXPECT_EQ(timer.isRunning(), c.limited != kNone);
    if (c.limited == kNone) continue;
    timer.tick();
    ASSERT_EQ(host.guiValues.size(), 1u);
    EXPECT_EQ(host.guiValues[0].pin, Pin::VALUE);
    EXPECT_EQ(host.guiValues[0].asFloat(), c.limited);
    EXPECT_FALSE(timer.isRunning()) << "one tick and the limiter leaves";
  }
}

}  // namespace
