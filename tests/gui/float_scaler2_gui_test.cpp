#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "modules/gui/float_scaler2_gui.h"
#include "tests/support/module_harness.h"

namespace {

using Pin = FloatScaler2Gui::Pin;

// One pin set a step; the value each step sends. Multiply by starts at 0.
TEST(FloatScaler2Gui, ScalesBothWays) {
  constexpr float kNone = -12345.0f;  // nothing sent
  struct Step {
    int32_t pin;
    float value;
    int32_t sentPin;
    float sent;
  } steps[] = {
      {Pin::VALUE_IN, 3.0f, Pin::VALUE_OUT, kNone},  // 3 × 0 + 0: still 0
      {Pin::ADD, 1.0f, Pin::VALUE_OUT, 1.0f},
      {Pin::MULTIPLY_BY, 2.0f, Pin::VALUE_OUT, 7.0f},
      {Pin::VALUE_IN, 4.0f, Pin::VALUE_OUT, 9.0f},
      {Pin::VALUE_OUT, 11.0f, Pin::VALUE_IN, 5.0f},
      {Pin::MULTIPLY_BY, 0.0f, Pin::VALUE_OUT, 1.0f},
      {Pin::VALUE_OUT, 5.0f, Pin::VALUE_IN, std::numeric_limits<float>::infinity()},
  };
  TestHost host;
  GuiModule scaler(host, MP_TEXT("SE Float Scaler2"));
  for (const Step& s : steps) {
    SCOPED_TRACE(testing::Message() << "pin " << s.pin << " set to " << s.value);
    host.clearRecords();
    scaler.set(s.pin, s.value);
    if (s.sent == kNone) {
      EXPECT_TRUE(host.guiValues.empty());
    } else {
      ASSERT_EQ(host.guiValues.size(), 1u);
      EXPECT_EQ(host.guiValues[0].pin, s.sentPin);
      EXPECT_EQ(host.guiValues[0].asFloat(), s.sent);
    }
  }
}

// The host hands every value the module sends back to the pin it came from,
// as a panel control wired to both ends would.
TEST(FloatScaler2Gui, EchoOfANaNSettles) {
  TestHost host;
  GuiModule scaler(host, MP_TEXT("SE Float Scaler2"));
  scaler.set(Pin::MULTIPLY_BY, 0.0f);
  scaler.set(Pin::ADD, 0.0f);
  host.clearRecords();
  scaler.set(Pin::VALUE_OUT, 0.0f);  // (0 - 0) / 0
  size_t handled = 0;
  for (int round = 0; round < 10 && handled < host.guiValues.size(); ++round) {
    const SentGuiValue echo = host.guiValues[handled++];
    scaler.set(echo.pin, echo.asFloat());
  }
  EXPECT_EQ(handled, host.guiValues.size()) << "still echoing";
  ASSERT_FALSE(host.guiValuesOn(Pin::VALUE_IN).empty());
  EXPECT_TRUE(std::isnan(host.guiValuesOn(Pin::VALUE_IN).back().asFloat()));
}

}  // namespace
