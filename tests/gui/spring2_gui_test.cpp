#include <gtest/gtest.h>

#include "modules/gui/spring2_gui.h"
#include "tests/support/module_harness.h"

namespace {

using Pin = Spring2Gui::Pin;

TEST(Spring2Gui, ReleaseReturnsToRestOnce) {
  for (const MpChar* id : {MP_TEXT("SE Spring2"), MP_TEXT("SE Spring")}) {
    TestHost host;
    GuiModule spring(host, id);
    spring.set(Pin::REST_VALUE, 0.25f);
    spring.set(Pin::VALUE, 0.8f);
    spring.set(Pin::HELD, false);
    EXPECT_TRUE(host.guiValues.empty()) << "never held";
    spring.set(Pin::HELD, true);
    spring.set(Pin::HELD, false);
    ASSERT_EQ(host.guiValues.size(), 1u);
    EXPECT_EQ(host.guiValues[0].pin, Pin::VALUE);
    EXPECT_EQ(host.guiValues[0].asFloat(), 0.25f);
    spring.set(Pin::VALUE, 0.6f);
    spring.set(Pin::HELD, false);
    EXPECT_EQ(host.guiValues.size(), 1u) << "released twice in a row";
    spring.set(Pin::VALUE, 0.25f);
    spring.set(Pin::HELD, true);
    spring.set(Pin::HELD, false);
    EXPECT_EQ(host.guiValues.size(), 1u) << "already at rest";
  }
}

}  // namespace
