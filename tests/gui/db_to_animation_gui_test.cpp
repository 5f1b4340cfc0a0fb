#include <gtest/gtest.h>

#include <limits>

#include "modules/gui/db_to_animation_gui.h"
#include "tests/support/module_harness.h"

namespace {

TEST(DbToAnimation, MeterCurve) {
  struct Case {
    float db, position;
  } cases[] = {
      {0.0f, 0.7f},   {-3.0f, 0.4f},
      {-6.0f, 0.25f}, {-8.75f, 0.1125f},
      {-10.0f, 0.1f}, {-20.0f, 0.0f},
      {-90.0f, 0.0f}, {3.0f, 1.0f},
      {6.0f, 1.0f},   {std::numeric_limits<float>::quiet_NaN(), 0.0f},
  };
  for (const Case& c : cases) EXPECT_NEAR(dbToAnimationPosition(c.db), c.position, 1e-6f) << c.db << " dB";
}

TEST(DbToAnimation, ModuleAssignsThePosition) {
  TestHost host;
  GuiModule meter(host, MP_TEXT("SE dBToAnimation"));
  meter.set(DbToAnimationGui::DB, -3.0f);
  meter.set(DbToAnimationGui::DB, -3.0f);
  ASSERT_EQ(host.guiValues.size(), 1u);
  EXPECT_EQ(host.guiValues[0].pin, DbToAnimationGui::ANIMATION_POSITION);
  EXPECT_NEAR(host.guiValues[0].asFloat(), 0.4f, 1e-6f);
}

}  // namespace
