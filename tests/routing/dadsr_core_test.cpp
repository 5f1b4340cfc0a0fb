// The envelope's kernel on its own: curves from plain arrays, no host.
#include "modules/routing/dadsr_core.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

using zv::routing::DadsrCore;

constexpr float kRate = 44100.0f;

// A curve table of x² over 0..1, spare entry included.
std::vector<float> squareCurve() {
  std::vector<float> t(zv::routing::kShaperEntries + 1);
  for (int32_t i = 0; i < zv::routing::kShaperEntries; ++i) t[i] = static_cast<float>((i * 1e-4) * (i * 1e-4));
  t.back() = t[zv::routing::kShaperEntries - 1];
  return t;
}

TEST(DadsrCore, StagesFollowTheirCurvesFromAttackToTheEndOfTheRelease) {
  const auto curve = squareCurve();
  DadsrCore core;
  core.reset(kRate);
  core.shaper = {zv::dsp::TableView(curve.data(), zv::routing::kShaperEntries), 1.0f};
  core.decayShaper = {};         // linear
  core.attackIncrement = 0.01f;  // 100 samples
  core.decayIncrement = 0.02f;   // 50 samples
  core.setSustain(0.4f);
  core.stage = DadsrCore::DELAY;

  std::vector<float> levels;
  for (int i = 0; i < 200; ++i) {
    core.attackStep<false>(0.0f);
    levels.push_back(core.level);
  }
  // Attack: the square curve at the phase, sample k at phase (k + 1) / 100.
  for (int k : {9, 49, 89}) EXPECT_NEAR(levels[k], std::pow((k + 1) / 100.0, 2.0), 1e-4) << k;
  // Decay: linear from 1 down to the sustain, then the sustain holds.
  EXPECT_NEAR(levels[99 + 25], 0.4 + 0.6 * 0.5, 0.02);
  EXPECT_EQ(levels.back(), 0.4f);
  EXPECT_EQ(core.stage, DadsrCore::SUSTAIN);

  core.shaper = {};
  core.releaseStart = core.level;
  core.releaseIncrement = 0.05f;  // 20 samples
  core.phase = 1.0;
  int32_t frames = 0;
  for (; frames < 64; ++frames) core.releaseStep<false>();
  EXPECT_EQ(core.level, 0.0f);
  // The last 64 samples were not all silent; the last 20 were.
  EXPECT_FALSE(core.releaseFinished(frames));
  EXPECT_TRUE(core.releaseFinished(20));
}

TEST(DadsrCore, TinyStepsAndLongDelaysStillAdvance) {
  zv::routing::DadsrCore core;
  core.reset(kRate);
  // A ten-second attack continued legato from 0.99: steps far below float's
  // resolution at phase 0.5.
  core.stage = zv::routing::DadsrCore::ATTACK;
  core.attackIncrement = (1.0f / kRate) / 10.0f;
  core.attackStart = 0.99f;
  core.attackScale = 0.01f;
  core.phase = 0.5;
  core.attackStep<true>(0.0f);
  EXPECT_GT(core.phase, 0.5);

  core.releaseIncrement = (1.0f / kRate) / 10.0f;
  core.releaseStart = 0.01f;
  core.level = 0.01f;
  core.phase = 1.0;
  core.releaseStep<true>();
  EXPECT_LT(core.phase, 1.0);

  core.stage = zv::routing::DadsrCore::DELAY;
  core.delayCount = 16777216.0;  // 2^24
  core.attackStep<false>(100.0f);
  EXPECT_EQ(core.delayCount, 16777217.0);
}

}  // namespace
