#include <gtest/gtest.h>

#include <limits>

#include "modules/gui/image_to_frame_gui.h"
#include "tests/support/module_harness.h"

namespace {

using Pin = ImageToFrameGui::Pin;
constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
constexpr int32_t kMin = std::numeric_limits<int32_t>::min();

TEST(ImageToFrameGui, PositionGivesTheNearestFrame) {
  struct Case {
    int32_t count;
    float position;
    int32_t frame;
  } cases[] = {
      {10, 0.5f, 5},  // 4.5 + 0.5
      {10, 1.0f, 9},      {10, 0.0f, 0},
      {10, 0.3f, 3},  // 2.7 + 0.5
      {kMin, 1.0f, kMin}, {10, std::numeric_limits<float>::quiet_NaN(), kMin},
      {10, 1e30f, kMax},  {10, -1e30f, kMin},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.count << " frames at " << c.position);
    TestHost host;
    GuiModule image(host, MP_TEXT("SE Image to Frame"));
    image.set(Pin::FRAME_COUNT, c.count);
    image.set(Pin::FRAME_NUMBER, c.frame == 0 ? 1 : 0);  // so that the result is a change
    image.set(Pin::ANIMATION_POSITION, c.position);
    ASSERT_FALSE(host.guiValuesOn(Pin::FRAME_NUMBER).empty());
    EXPECT_EQ(host.guiValuesOn(Pin::FRAME_NUMBER).back().asInt(), c.frame);
  }
}

TEST(ImageToFrameGui, FrameGivesThePosition) {
  struct Case {
    int32_t count, frame;
    float position;
  } cases[] = {{10, 9, 1.0f}, {10, 3, 3.0f / 9.0f}, {1, 0, 0.0f},
               {1, 4, 4.0f},  {0, 2, -2.0f},        {kMin, 1, -1.0f / 2147483648.0f}};
  // Either pin set last gives the position.
  for (const Case& c : cases) {
    for (const bool countLast : {true, false}) {
      SCOPED_TRACE(testing::Message() << "frame " << c.frame << " of " << c.count << (countLast ? ", count last" : ""));
      TestHost host;
      GuiModule image(host, MP_TEXT("SE Image to Frame (old)"));
      image.set(Pin::ANIMATION_POSITION, 0.123f);
      image.set(countLast ? Pin::FRAME_NUMBER : Pin::FRAME_COUNT, countLast ? c.frame : c.count);
      image.set(countLast ? Pin::FRAME_COUNT : Pin::FRAME_NUMBER, countLast ? c.count : c.frame);
      ASSERT_FALSE(host.guiValuesOn(Pin::ANIMATION_POSITION).empty());
      EXPECT_FLOAT_EQ(host.guiValuesOn(Pin::ANIMATION_POSITION).back().asFloat(), c.position);
    }
  }
}

}  // namespace
