#include <gtest/gtest.h>

#include <vector>

#include "modules/gui/patch_info_gui.h"
#include "tests/support/module_harness.h"

namespace {

using Pin = PatchInfoGui::Pin;

std::vector<int32_t> intsOn(const TestHost& host, int32_t pin) {
  std::vector<int32_t> sent;
  for (const auto& v : host.guiValuesOn(pin)) sent.push_back(v.asInt());
  return sent;
}

TEST(PatchInfoGui, MirrorsPinsToTheirPartners) {
  struct Mirror {
    int32_t from, to;
    bool text;
  } mirrors[] = {{0, 5, false}, {5, 0, false}, {3, 8, false}, {8, 3, false},
                 {1, 6, true},  {2, 7, true},  {7, 2, true},  {12, 11, true}};
  int32_t next = 1;
  for (const Mirror& m : mirrors) {
    SCOPED_TRACE(testing::Message() << m.from << " -> " << m.to);
    TestHost host;
    GuiModule info(host, MP_TEXT("SE Patch Info"));
    const MpString text = widenAscii("t") + widenAscii(std::to_string(next));
    if (m.text) {
      info.set(m.from, text);
    } else {
      info.set(m.from, next);
    }
    ASSERT_EQ(host.guiValues.size(), 1u);
    EXPECT_EQ(host.guiValues[0].pin, m.to);
    if (m.text) {
      EXPECT_EQ(host.guiValues[0].asText(), text);
    } else {
      EXPECT_EQ(host.guiValues[0].asInt(), next);
    }
    ++next;
  }
  TestHost host;
  GuiModule info(host, MP_TEXT("SE Patch Info"));
  for (int32_t pin : {4, 6, 9, 11}) info.set(pin, widenAscii("x"));
  EXPECT_TRUE(host.guiValues.empty()) << "pins without a partner";
}

TEST(PatchInfoGui, PositiveShotReachesPinFourOnce) {
  TestHost host;
  GuiModule info(host, MP_TEXT("SE Patch Info"));
  info.set(Pin::SHOT_IN, 5);
  EXPECT_EQ(intsOn(host, Pin::SHOT_OUT), (std::vector<int32_t>{5, 0}));
  EXPECT_EQ(intsOn(host, Pin::SHOT_IN), (std::vector<int32_t>{0}));
  host.clearRecords();
  info.set(Pin::SHOT_IN, -2);
  EXPECT_EQ(intsOn(host, Pin::SHOT_OUT), (std::vector<int32_t>{-2}));
  EXPECT_TRUE(intsOn(host, Pin::SHOT_IN).empty()) << "a negative value stays";
}

}  // namespace
