#include <gtest/gtest.h>

#include <cmath>

#include "modules/routing/mat_douze.h"
#include "tests/support/module_harness.h"

namespace {

struct MatDouzeTest : ::testing::Test {
  TestHost host;
  AudioModule matrix{host, MP_TEXT("ZV MATRICE 12")};

  static float inputValue(int32_t k) { return 0.1f * static_cast<float>(k); }

  void SetUp() override {
    host.blockSize = 8;
    matrix.fill(MatDouze::MODULATOR, 0.5f);
    for (int32_t k = 1; k <= 12; ++k) {
      matrix.fill(MatDouze::input(k), inputValue(k));
      matrix.fill(MatDouze::output(k), 9.0f);  // whatever the host left there
    }
    ASSERT_EQ(matrix.open(), MP_OK);
  }
  // The streaming state last sent on every output, in one list.
  std::vector<bool> outputStates() const {
    std::vector<bool> states;
    for (int32_t k = 1; k <= 12; ++k) {
      auto sent = host.streamingOn(MatDouze::output(k));
      states.push_back(!sent.empty() && sent.back().streaming);
    }
    return states;
  }
};

TEST_F(MatDouzeTest, GraphStartAloneLeavesItSilentStaticAndAsleep) {
  matrix.process(8, EventList().graphStart());
  for (int32_t k = 1; k <= 12; ++k)
    for (int i = 0; i < 8; ++i) ASSERT_EQ(matrix.audio(MatDouze::output(k))[i], 0.0f);
  EXPECT_EQ(outputStates(), std::vector<bool>(12, false));
  EXPECT_EQ(host.sleepRequests, 1);
}

TEST_F(MatDouzeTest, AnyValueButOneIsOff) {
  for (int32_t active : {0, 2, -1}) {
    host.clearRecords();
    matrix.process(8,
                   EventList().graphStart().value(0, MatDouze::ACTIVE, active).streaming(0, MatDouze::input(3), true));
    for (int32_t k = 1; k <= 12; ++k)
      for (int i = 0; i < 8; ++i) ASSERT_EQ(matrix.audio(MatDouze::output(k))[i], 0.0f) << active;
    EXPECT_EQ(outputStates(), std::vector<bool>(12, false)) << active;
    EXPECT_EQ(host.sleepRequests, 1) << active;
  }
}

TEST_F(MatDouzeTest, OneStreamingInputMakesEveryOutputStream) {
  float* sine = matrix.audio(MatDouze::input(3));
  for (int i = 0; i < 8; ++i) sine[i] = std::sin(0.7f * static_cast<float>(i));
  matrix.process(8, EventList().graphStart().value(0, MatDouze::ACTIVE, 1).streaming(0, MatDouze::input(3), true));
  EXPECT_EQ(outputStates(), std::vector<bool>(12, true));
  for (int i = 0; i < 8; ++i) EXPECT_FLOAT_EQ(matrix.audio(MatDouze::output(3))[i], 0.5f * sine[i]) << i;
  for (int32_t k = 1; k <= 12; ++k) {
    if (k == 3) continue;
    EXPECT_FLOAT_EQ(matrix.audio(MatDouze::output(k))[7], 0.5f * inputValue(k)) << k;
  }
  for (int b = 0; b < 3; ++b) matrix.process(8);
  EXPECT_EQ(host.sleepRequests, 0);

  // The twelve states go out together, in index order.
  host.clearRecords();
  matrix.process(8, EventList().streaming(0, MatDouze::MODULATOR, true));
  ASSERT_EQ(host.streaming.size(), 12u);
  for (int32_t k = 1; k <= 12; ++k) EXPECT_EQ(host.streaming[k - 1].pin, MatDouze::output(k));
}

TEST_F(MatDouzeTest, StreamingModulatorAloneStreamsEveryOutput) {
  float* modulator = matrix.audio(MatDouze::MODULATOR);
  for (int i = 0; i < 8; ++i) modulator[i] = 0.125f * static_cast<float>(i);
  matrix.process(8, EventList().graphStart().value(0, MatDouze::ACTIVE, 1).streaming(0, MatDouze::MODULATOR, true));
  EXPECT_EQ(outputStates(), std::vector<bool>(12, true));
  for (int32_t k = 1; k <= 12; ++k)
    for (int i = 0; i < 8; ++i)
      ASSERT_FLOAT_EQ(matrix.audio(MatDouze::output(k))[i], inputValue(k) * modulator[i]) << k << " " << i;
}

TEST_F(MatDouzeTest, StaticInputsGiveStaticProductsAndSleep) {
  matrix.process(8, EventList().graphStart().value(0, MatDouze::ACTIVE, 1));
  EXPECT_EQ(outputStates(), std::vector<bool>(12, false));
  for (int32_t k = 1; k <= 12; ++k) EXPECT_FLOAT_EQ(matrix.audio(MatDouze::output(k))[0], 0.5f * inputValue(k));
  EXPECT_EQ(host.sleepRequests, 1);
}

}  // namespace
