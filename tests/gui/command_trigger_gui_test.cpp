#include <gtest/gtest.h>

#include <vector>

#include "modules/gui/command_trigger_gui.h"
#include "tests/support/module_harness.h"

namespace {

std::vector<int32_t> commands(const TestHost& host) {
  std::vector<int32_t> sent;
  for (const auto& v : host.guiValuesOn(CommandTriggerGui::COMMAND)) sent.push_back(v.asInt());
  return sent;
}

TEST(CommandTriggerGui, ReleasingABoolPulsesItsNumber) {
  TestHost host;
  host.pinCount = 4;  // Command and three bools
  GuiModule trigger(host, MP_TEXT("SE Command Trigger"));
  trigger.ui()->initializeGui();
  ASSERT_EQ(host.guiValues.size(), 3u);
  for (int32_t pin = 1; pin <= 3; ++pin) {
    EXPECT_EQ(host.guiValues[pin - 1].pin, pin);
    EXPECT_FALSE(host.guiValues[pin - 1].asBool());
  }
  host.clearRecords();
  trigger.set(2, true);
  EXPECT_TRUE(commands(host).empty()) << "pressing alone sends nothing";
  trigger.set(2, false);
  EXPECT_EQ(commands(host), (std::vector<int32_t>{2, 0}));
  trigger.set(2, false);
  EXPECT_EQ(commands(host).size(), 2u) << "a second release is no release";

  // A 4-byte true, then a release with no bytes at all.
  const int32_t two = 2;
  trigger.setRaw(3, &two, 4);
  trigger.setRaw(3, nullptr, 0);
  EXPECT_EQ(commands(host), (std::vector<int32_t>{2, 0, 3, 0}));
}

TEST(CommandTriggerGui, PinsBeyondTheCountAndOddCountsAreHarmless) {
  for (int32_t count : {-5, 0, 1, 3}) {
    SCOPED_TRACE(count);
    TestHost host;
    host.pinCount = count;
    GuiModule trigger(host, MP_TEXT("SE Command Trigger"));
    EXPECT_EQ(trigger.ui()->initializeGui(), MP_OK);
    host.clearRecords();
    const bool on = true, off = false;
    EXPECT_EQ(trigger.ui()->pinValueFromHost(3, 0, 1, &on), MP_FAIL);
    EXPECT_EQ(trigger.ui()->pinValueFromHost(3, 0, 1, &off), MP_FAIL);
    EXPECT_TRUE(host.guiValues.empty());
  }
}

}  // namespace
