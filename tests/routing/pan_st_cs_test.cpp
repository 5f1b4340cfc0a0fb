#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "modules/routing/pan_st_cs.h"
#include "tests/support/module_harness.h"

namespace {

constexpr double kHalfPi = 1.5707963267948966;
double cosGain(double pan) { return std::cos(std::clamp(pan, 0.0, 1.0) * kHalfPi) + 1e-7; }
double sinGain(double pan) { return std::sin(std::clamp(pan, 0.0, 1.0) * kHalfPi) + 1e-7; }

struct PanStCSTest : ::testing::Test {
  static constexpr float kLeft = 0.3f;
  static constexpr float kRight = -0.6f;
  TestHost host;
  AudioModule pan{host, MP_TEXT("ZV PanST CS")};
  float* left = nullptr;
  float* right = nullptr;

  void SetUp() override {
    host.blockSize = 16;
    pan.fill(PanStCS::LEFT_IN, kLeft);
    pan.fill(PanStCS::RIGHT_IN, kRight);
    pan.fill(PanStCS::PAN, 0.0f);
    left = pan.audio(PanStCS::LEFT_OUT);
    right = pan.audio(PanStCS::RIGHT_OUT);
    ASSERT_EQ(pan.open(), MP_OK);
  }
  bool streaming(int32_t pin) const {
    auto sent = host.streamingOn(pin);
    return !sent.empty() && sent.back().streaming;
  }
};

TEST_F(PanStCSTest, GainsAtTheEndsTheMiddleAndBeyond) {
  pan.process(16, EventList().graphStart().value(0, PanStCS::MODE, 0).streaming(0, PanStCS::LEFT_IN, true));
  for (int32_t mode : {0, 1}) {
    pan.process(16, EventList().value(0, PanStCS::MODE, mode));
    for (float p : {0.0f, 0.5f, 1.0f, -3.0f, 2.0f, 0.25f}) {
      pan.fill(PanStCS::PAN, p);
      pan.process(16);
      const double gc = cosGain(p), gs = sinGain(p);
      const double l = kLeft, r = kRight;
      const double expectLeft = mode == 0 ? gc * (l + r) : l * gc + r * gs;
      const double expectRight = mode == 0 ? gs * (l + r) : r * gc + l * gs;
      EXPECT_NEAR(left[15], expectLeft, 2e-6) << "mode " << mode << " pan " << p;
      EXPECT_NEAR(right[15], expectRight, 2e-6) << "mode " << mode << " pan " << p;
    }
  }
  // Equal power in the middle.
  pan.process(16, EventList().value(0, PanStCS::MODE, 0));
  pan.fill(PanStCS::PAN, 0.5f);
  pan.process(16);
  EXPECT_NEAR(left[0] / (kLeft + kRight), 0.7071069f, 1e-6f);
  EXPECT_FLOAT_EQ(left[0], right[0]);
}

TEST_F(PanStCSTest, PanFollowsEverySample) {
  float* p = pan.audio(PanStCS::PAN);
  for (int i = 0; i < 16; ++i) p[i] = i / 15.0f;
  p[3] = std::numeric_limits<float>::quiet_NaN();
  pan.process(16, EventList().graphStart().value(0, PanStCS::MODE, 0).streaming(0, PanStCS::RIGHT_IN, true));
  for (int i = 0; i < 16; ++i) {
    const double at = i == 3 ? 0.0 : i / 15.0;
    EXPECT_NEAR(left[i], cosGain(at) * (kLeft + kRight), 2e-6) << i;
    EXPECT_NEAR(right[i], sinGain(at) * (kLeft + kRight), 2e-6) << i;
  }
}

TEST_F(PanStCSTest, SilentStaticInputsSleepAndSoundingOnesDoNot) {
  pan.fill(PanStCS::LEFT_IN, 0.0f);
  pan.fill(PanStCS::RIGHT_IN, 0.0f);
  pan.process(16, EventList().graphStart().value(0, PanStCS::MODE, 1));
  for (int i = 0; i < 16; ++i) EXPECT_EQ(left[i], 0.0f);
  EXPECT_FALSE(streaming(PanStCS::LEFT_OUT));
  EXPECT_FALSE(streaming(PanStCS::RIGHT_OUT));
  EXPECT_EQ(host.sleepRequests, 1);

  // A static but non-zero input keeps it awake.
  host.clearRecords();
  pan.fill(PanStCS::RIGHT_IN, 0.5f);
  pan.process(16, EventList().value(0, PanStCS::MODE, 1));
  for (int b = 0; b < 4; ++b) pan.process(16);
  EXPECT_TRUE(streaming(PanStCS::LEFT_OUT));
  EXPECT_TRUE(streaming(PanStCS::RIGHT_OUT));
  EXPECT_EQ(host.sleepRequests, 0);
  EXPECT_NEAR(right[15], 0.5f, 1e-6f);

  // Streaming zeros too.
  pan.fill(PanStCS::RIGHT_IN, 0.0f);
  pan.process(16, EventList().streaming(0, PanStCS::LEFT_IN, true));
  for (int b = 0; b < 4; ++b) pan.process(16);
  EXPECT_EQ(host.sleepRequests, 0);
}

TEST_F(PanStCSTest, UnknownModeKeepsTheLastValidOne) {
  pan.process(16, EventList().graphStart().value(0, PanStCS::MODE, 7).streaming(0, PanStCS::LEFT_IN, true));
  for (int i = 0; i < 16; ++i) EXPECT_EQ(left[i], 0.0f) << "no mode yet: silence";

  pan.process(16, EventList().value(0, PanStCS::MODE, 1));
  pan.process(16, EventList().value(0, PanStCS::MODE, 3));
  EXPECT_NEAR(left[0], kLeft, 1e-6f) << "still the rotation";
  // Through a silent stretch and back.
  pan.process(16, EventList().streaming(0, PanStCS::LEFT_IN, false).value(0, PanStCS::MODE, 3));
  pan.fill(PanStCS::LEFT_IN, 0.0f);
  pan.fill(PanStCS::RIGHT_IN, 0.0f);
  pan.process(16, EventList().value(0, PanStCS::MODE, 3));
  pan.fill(PanStCS::LEFT_IN, kLeft);
  pan.process(16, EventList().streaming(0, PanStCS::LEFT_IN, true));
  EXPECT_NEAR(left[0], kLeft, 1e-6f);
  EXPECT_NEAR(right[0], 1e-7f * kLeft, 1e-6f);
}

TEST(PanStCSTables, QuarterSinesFilledOnceForAllInstances) {
  TestHost host;
  AudioModule first(host, MP_TEXT("ZV PanST CS"));
  first.open();
  const float* sine = host.namedMemory(MP_TEXT("ZV51_PAN_SIN"), -1.0f);
  float* cosine = host.namedMemory(MP_TEXT("ZV51_PAN_COS"), -1.0f);
  ASSERT_NE(sine, nullptr);
  ASSERT_NE(cosine, nullptr);
  for (int i : {0, 1, 3333, 5000, 9999, 10000}) {
    EXPECT_NEAR(sine[i], std::sin(i * 0.0001 * kHalfPi) + 1e-7, 1e-6) << i;
    EXPECT_NEAR(cosine[i], std::cos(i * 0.0001 * kHalfPi) + 1e-7, 1e-6) << i;
  }
  EXPECT_FALSE(std::isnan(sine[10001]));
  EXPECT_FALSE(std::isnan(cosine[10001]));

  cosine[42] = 5.0f;
  AudioModule second(host, MP_TEXT("ZV PanST CS"));
  second.open();
  EXPECT_EQ(cosine[42], 5.0f);
  EXPECT_EQ(host.namedMemoryOpenCount(MP_TEXT("ZV51_PAN_COS"), -1.0f), 2);
}

}  // namespace
