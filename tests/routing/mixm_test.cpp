#include <gtest/gtest.h>

#include <algorithm>

#include "modules/routing/mixm.h"
#include "tests/support/module_harness.h"

namespace {

TEST(ModulationBlend, EndsAndMiddle) {
  const float x = 0.6f, m = -0.3f;
  EXPECT_EQ(zv::routing::modulationBlend(x, -0.5f, m), x);
  EXPECT_FLOAT_EQ(zv::routing::modulationBlend(x, 0.5f, m), m * x);
  EXPECT_FLOAT_EQ(zv::routing::modulationBlend(x, 0.0f, m), x * (m + 1.0f) / 2.0f);
  EXPECT_FLOAT_EQ(zv::routing::modulationBlend(x, 1.5f, m), x + 2.0f * x * (m - 1.0f)) << "blend is not limited";
}

struct MixmTest : ::testing::Test {
  TestHost host;
  AudioModule mixer{host, MP_TEXT("ZV MixM")};
  void SetUp() override {
    host.blockSize = 13;  // not a multiple of four
    mixer.fill(Mixm::SIGNAL, 0.5f);
    mixer.fill(Mixm::BLEND, 0.5f);
    mixer.fill(Mixm::MODULATOR, 0.25f);
    mixer.audio(Mixm::OUTPUT);
    mixer.open();
  }
};

TEST_F(MixmTest, RunsEverySampleWhileOn) {
  mixer.process(13, EventList().graphStart().value(0, Mixm::ON, 1).streaming(0, Mixm::SIGNAL, true));
  for (int i = 0; i < 13; ++i) EXPECT_FLOAT_EQ(mixer.audio(Mixm::OUTPUT)[i], 0.125f) << i;
  EXPECT_TRUE(host.streamingOn(Mixm::OUTPUT).back().streaming);
}

TEST_F(MixmTest, OffIsSilentAndSleeps) {
  mixer.process(13, EventList().graphStart().value(0, Mixm::ON, 0).streaming(0, Mixm::SIGNAL, true));
  for (int i = 0; i < 13; ++i) EXPECT_EQ(mixer.audio(Mixm::OUTPUT)[i], 0.0f);
  EXPECT_FALSE(host.streamingOn(Mixm::OUTPUT).back().streaming);
  EXPECT_EQ(host.sleepRequests, 1);
}

TEST_F(MixmTest, StaticInputsGiveAStaticOutputThatSleepsAfterOneBlock) {
  mixer.process(13, EventList().graphStart().value(0, Mixm::ON, 1));
  EXPECT_FLOAT_EQ(mixer.audio(Mixm::OUTPUT)[12], 0.125f);
  EXPECT_FALSE(host.streamingOn(Mixm::OUTPUT).back().streaming);
  EXPECT_EQ(host.sleepRequests, 1);
}

TEST_F(MixmTest, GraphStartAloneIsSilentStaticAndAsleep) {
  float* out = mixer.audio(Mixm::OUTPUT);
  std::fill(out, out + 13, 9.0f);
  mixer.process(13, EventList().graphStart());
  for (int i = 0; i < 13; ++i) EXPECT_EQ(out[i], 0.0f);
  EXPECT_FALSE(host.streamingOn(Mixm::OUTPUT).back().streaming);
  EXPECT_EQ(host.sleepRequests, 1);
}

}  // namespace
