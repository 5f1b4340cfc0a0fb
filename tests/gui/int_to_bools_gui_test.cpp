#include <gtest/gtest.h>

#include <map>

#include "modules/gui/int_to_bools_gui.h"
#include "tests/support/module_harness.h"

namespace {

struct IntToBoolsTest : ::testing::Test {
  TestHost host;
  GuiModule bools{host, MP_TEXT("SE Int to Bools")};
  void SetUp() override { host.pinCount = 5; }  // Value and four bools
  // The last state sent to each bool pin.
  std::map<int32_t, bool> states() const {
    std::map<int32_t, bool> last;
    for (const auto& v : host.guiValues)
      if (v.pin != IntToBoolsGui::VALUE) last[v.pin] = v.asBool();
    return last;
  }
};

TEST_F(IntToBoolsTest, ValueSelectsOnePin) {
  bools.set(IntToBoolsGui::VALUE, 2);
  bools.ui()->initializeGui();
  EXPECT_EQ(states(), (std::map<int32_t, bool>{{1, false}, {2, false}, {3, true}, {4, false}}));
  host.clearRecords();
  bools.set(IntToBoolsGui::VALUE, -1);
  EXPECT_EQ(states(), (std::map<int32_t, bool>{{3, false}}));
  bools.set(IntToBoolsGui::VALUE, 0);
  bools.set(IntToBoolsGui::VALUE, 9);
  EXPECT_EQ(states(), (std::map<int32_t, bool>{{1, false}, {3, false}})) << "9 is past the last pin";
  host.clearRecords();
  bools.set(IntToBoolsGui::VALUE, 2147483647);
  bools.set(IntToBoolsGui::VALUE, -2147483647 - 1);
  EXPECT_TRUE(states().empty());
}

TEST_F(IntToBoolsTest, ABoolTurnedOnSetsValueAndLeavesTheBools) {
  bools.ui()->initializeGui();
  host.clearRecords();
  bools.set(3, true);
  ASSERT_EQ(host.guiValues.size(), 1u);
  EXPECT_EQ(host.guiValues[0].pin, IntToBoolsGui::VALUE);
  EXPECT_EQ(host.guiValues[0].asInt(), 2);
  bools.set(3, true);
  bools.set(2, false);
  EXPECT_EQ(host.guiValues.size(), 1u) << "the selected pin again, or a bool turned off";
}

}  // namespace
