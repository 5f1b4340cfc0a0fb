#include <gtest/gtest.h>

#include <cmath>
#include <deque>
#include <limits>

#include "modules/gui/float_scaler2_gui.h"
#include "tests/support/module_harness.h"

namespace {

using Pin = FloatScaler2Gui::Pin;

TEST(FloatScaler2Gui, ScalesBothWays) {
  TestHost host;
  GuiModule scaler(host, MP_TEXT("SE Float Scaler2"));
  scaler.set(Pin::MULTIPLY_BY, 2.0f);
  scaler.set(Pin::ADD, 1.0f);
  scaler.set(Pin::VALUE_IN, 3.0f);
  EXPECT_EQ(host.guiValuesOn(Pin::VALUE_OUT).back().asFloat(), 7.0f);
  scaler.set(Pin::VALUE_OUT, 9.0f);
  EXPECT_EQ(host.guiValuesOn(Pin::VALUE_IN).back().asFloat(), 4.0f);
  scaler.set(Pin::MULTIPLY_BY, 0.0f);
  scaler.set(Pin::VALUE_OUT, 5.0f);
  EXPECT_EQ(host.guiValuesOn(Pin::VALUE_IN).back().asFloat(), std::numeric_limits<float>::infinity());
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
  EXPECT_TRUE(std::isnan(host.guiValuesOn(Pin::VALUE_IN).back().asFloat()));
}

}  // namespace
