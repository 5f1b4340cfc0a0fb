#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <vector>

#include "modules/effects/dist_over.h"
#include "tests/effects/dist_ring_reference.h"
#include "tests/support/module_harness.h"

namespace {

using Wave = std::function<float(int64_t)>;

Wave constant(float v) {
  return [v](int64_t) { return v; };
}
Wave sine(double amplitude, double step, double offset = 0.0) {
  return [=](int64_t n) { return static_cast<float>(offset + amplitude * std::sin(step * static_cast<double>(n))); };
}

struct Inputs {
  Wave signal = [](int64_t n) {
    return static_cast<float>(0.9 * std::sin(0.05 * n) + 0.4 * std::sin(0.31 * n));
  };
  Wave gain = constant(1.5f);
  Wave modulator = sine(0.5, 0.01, 0.5);
  Wave depth = constant(0.6f);
  Wave drive = constant(1.3f);
  Wave shape = constant(0.8f);
  Wave divisor = constant(1.25f);
};

// The distortion computed in double precision with the true tanh.
struct Reference {
  int32_t mode;
  ReferenceLowPass up, upModulator, down;
  double previous = 0.0, previousModulator = 0.0;

  explicit Reference(int32_t m)
      : mode(m),
        up(m == 3 || m == 4 ? referenceLowPass4x() : referenceLowPass2x()),
        upModulator(referenceLowPass2x()),
        down(m == 3 || m == 4 ? referenceLowPass4x() : referenceLowPass2x()) {}

  static double gainStage(double x, double g, double m, double depth) { return ((m - 1.0) * depth + 1.0000001) * x * g; }

  double process(const Inputs& in, int64_t n) {
    const double x = in.signal(n), g = in.gain(n), m = in.modulator(n), depth = in.depth(n);
    if (mode == 0) return gainStage(x, g, m, depth);
    const int32_t factor = mode == 3 || mode == 4 ? 4 : 2;
    double first = 0.0;
    if (mode == 5) {
      for (int32_t j = 1; j <= 2; ++j) {
        const double xu = up.process(previous + j * (x - previous) / 2.0);
        const double mu = upModulator.process(previousModulator + j * (m - previousModulator) / 2.0);
        const double r = down.process(gainStage(xu, g, mu, depth));
        if (j == 1) first = r;
      }
      previous = x;
      previousModulator = m;
      return first;
    }
    const double d = gainStage(x, g, m, depth) * in.drive(n);
    const double shape = in.shape(n);
    for (int32_t j = 1; j <= factor; ++j) {
      const double e = up.process(previous + j * (d - previous) / factor);
      const double c = std::clamp(e, -1.0, 1.0);
      const double weight = mode == 1 || mode == 3 ? std::fabs(c) : 1.0;
      const double r = down.process(e + shape * weight * (std::tanh(c) - e));
      if (j == 1) first = r;
    }
    previous = d;
    return first / in.divisor(n);
  }
};

struct DistTest : ::testing::Test {
  TestHost host;

  void SetUp() override { host.blockSize = 48; }

  std::unique_ptr<AudioModule> make() {
    auto m = std::make_unique<AudioModule>(host, MP_TEXT("ZV DIST CS"));
    for (int pin : {DistOver::SPARE, DistOver::SPARE_2}) m->fill(pin, 0.0f);
    m->fill(DistOver::OUTPUT, std::numeric_limits<float>::quiet_NaN());
    m->open();
    return m;
  }
  static void start(EventList& e, int32_t mode) {
    e.graphStart()
        .value(0, DistOver::MODE, mode)
        .streaming(0, DistOver::SIGNAL, true)
        .streaming(0, DistOver::GAIN, true)
        .streaming(0, DistOver::MODULATOR, true);
  }
  std::vector<float> render(AudioModule& m, const Inputs& in, int32_t blocks, EventList* first, int64_t from = 0) {
    std::vector<float> out;
    const std::pair<int, const Wave*> waves[] = {
        {DistOver::SIGNAL, &in.signal}, {DistOver::GAIN, &in.gain},   {DistOver::MODULATOR, &in.modulator},
        {DistOver::DEPTH, &in.depth},   {DistOver::DRIVE, &in.drive}, {DistOver::SHAPE, &in.shape},
        {DistOver::DIVISOR, &in.divisor}};
    for (int32_t b = 0; b < blocks; ++b) {
      const int64_t base = from + static_cast<int64_t>(b) * host.blockSize;
      for (const auto& [pin, wave] : waves) {
        float* buffer = m.audio(pin);
        for (int32_t i = 0; i < host.blockSize; ++i) buffer[i] = (*wave)(base + i);
      }
      if (b == 0 && first != nullptr) {
        m.process(host.blockSize, *first);
      } else {
        m.process(host.blockSize);
      }
      const float* o = m.audio(DistOver::OUTPUT);
      out.insert(out.end(), o, o + host.blockSize);
    }
    return out;
  }
  std::vector<float> run(int32_t mode, const Inputs& in, int32_t blocks) {
    auto m = make();
    EventList e;
    start(e, mode);
    return render(*m, in, blocks, &e);
  }
};

TEST_F(DistTest, TanhTableIsSharedAndFilledToTheSpare) {
  auto a = make();
  host.sampleRate = 96000.0f;  // the table does not depend on the rate
  auto b = make();
  const float* table = host.namedMemory(MP_TEXT("ZV51_DIST_TANH_CS"), -1.0f);
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(host.namedMemoryOpenCount(MP_TEXT("ZV51_DIST_TANH_CS"), -1.0f), 2);
  for (int32_t i = 0; i <= 20000; i += 400) EXPECT_NEAR(table[i], std::tanh(i * 0.0001 - 1.0), 1e-7) << i;
  EXPECT_TRUE(std::isfinite(table[20001]));
}

TEST_F(DistTest, ShaperBlendsTowardsTanhOfTheClampedValue) {
  auto m = make();
  const float* table = host.namedMemory(MP_TEXT("ZV51_DIST_TANH_CS"), -1.0f);
  for (float e : {-3.0f, -1.0f, -0.7f, -0.1234f, 0.0f, 0.31f, 0.9999f, 1.0f, 2.5f}) {
    const double c = std::clamp(static_cast<double>(e), -1.0, 1.0);
    EXPECT_EQ(distShape<true>(table, e, 0.0f), e);
    EXPECT_EQ(distShape<false>(table, e, 0.0f), e);
    EXPECT_NEAR(distShape<false>(table, e, 1.0f), std::tanh(c), 1e-6) << e;
    EXPECT_NEAR(distShape<true>(table, e, 1.0f), e + std::fabs(c) * (std::tanh(c) - e), 1e-6) << e;
    EXPECT_NEAR(distShape<false>(table, e, 0.25f), e + 0.25 * (std::tanh(c) - e), 1e-6) << e;
  }
  // Beyond ±1 the weighted shaper keeps nothing of the clean signal.
  EXPECT_NEAR(distShape<true>(table, 40.0f, 1.0f), std::tanh(1.0), 1e-6);
  EXPECT_NEAR(distShape<true>(table, -40.0f, 1.0f), -std::tanh(1.0), 1e-6);
  EXPECT_TRUE(std::isnan(distShape<true>(table, std::numeric_limits<float>::quiet_NaN(), 1.0f)));
}

TEST_F(DistTest, PlainModeIsTheGainStage) {
  Inputs in;
  auto out = run(0, in, 4);
  Reference ref(0);
  for (size_t n = 0; n < out.size(); ++n) {
    const double expected = ref.process(in, static_cast<int64_t>(n));
    EXPECT_NEAR(out[n], expected, 1e-6 * std::max(1.0, std::fabs(expected))) << n;
  }
  // Full depth with a silent modulator still lets a trace through.
  in.modulator = constant(0.0f);
  in.depth = constant(1.0f);
  in.signal = constant(0.5f);
  in.gain = constant(2.0f);
  out = run(0, in, 1);
  EXPECT_GT(out[5], 0.5e-7f);
  EXPECT_LT(out[5], 2.0e-7f);
}

TEST_F(DistTest, OversampledModesMatchAnIndependentComputation) {
  Inputs in;
  for (int32_t mode = 1; mode <= 5; ++mode) {
    auto out = run(mode, in, 30);
    Reference ref(mode);
    double worst = 0.0, peak = 0.0;
    for (size_t n = 0; n < out.size(); ++n) {
      const double expected = ref.process(in, static_cast<int64_t>(n));
      worst = std::max(worst, std::fabs(out[n] - expected));
      peak = std::max(peak, std::fabs(expected));
    }
    EXPECT_GT(peak, 0.3) << mode;
    EXPECT_LT(worst, peak * 2e-4) << "mode " << mode;
  }
}

TEST_F(DistTest, FullShapeSaturatesAtTanhOfOne) {
  Inputs in;
  in.signal = constant(4.0f);
  in.gain = constant(1.0f);
  in.modulator = constant(1.0f);
  in.drive = constant(2.5f);
  in.shape = constant(1.0f);
  in.divisor = constant(1.0f);
  for (int32_t mode = 1; mode <= 4; ++mode) {
    auto out = run(mode, in, 60);
    const double dc = (mode <= 2 ? referenceLowPass2x() : referenceLowPass4x()).dcGain();
    EXPECT_NEAR(out.back(), std::tanh(1.0) * dc, 1e-4) << "mode " << mode;
  }
  in.signal = constant(-4.0f);
  EXPECT_NEAR(run(1, in, 60).back(), -std::tanh(1.0) * referenceLowPass2x().dcGain(), 1e-4);
}

TEST_F(DistTest, UnusableDivisorGivesSilence) {
  for (float divisor : {0.0f, -0.0f, std::numeric_limits<float>::quiet_NaN(), 1e-44f}) {
    Inputs in;
    in.divisor = constant(divisor);
    for (int32_t mode = 1; mode <= 4; ++mode) {
      auto out = run(mode, in, 6);
      for (float v : out) {
        ASSERT_TRUE(std::isfinite(v)) << divisor << " mode " << mode;
        if (!(divisor != 0.0f)) {
          ASSERT_EQ(v, 0.0f) << divisor << " mode " << mode;
        }
      }
    }
  }
  // A usable one still divides, sign included.
  Inputs in;
  auto one = run(2, in, 6);
  in.divisor = constant(-2.0f);
  auto half = run(2, in, 6);
  for (size_t n = 0; n < one.size(); ++n) ASSERT_NEAR(half[n], -0.5f * one[n] * 1.25f, 1e-6);
}

TEST_F(DistTest, ModeChangeAndResetClearTheResamplers) {
  Inputs in;
  auto fresh = [&](int32_t mode) {
    auto m = make();
    EventList e;
    start(e, mode);
    return render(*m, in, 5, &e, 2000);
  };
  auto m = make();
  EventList e;
  start(e, 3);
  render(*m, in, 20, &e);

  EventList change;
  change.value(0, DistOver::MODE, 1);
  EXPECT_EQ(render(*m, in, 5, &change, 2000), fresh(1));

  render(*m, in, 20, nullptr);
  EventList reset;
  reset.value(0, DistOver::RESET, 0.5f);
  EXPECT_EQ(render(*m, in, 5, &reset, 2000), fresh(1));

  // An unknown mode keeps the routine of the last known one.
  render(*m, in, 20, nullptr);
  EventList odd;
  odd.value(0, DistOver::MODE, 17);
  EXPECT_EQ(render(*m, in, 5, &odd, 2000), fresh(1));
}

TEST_F(DistTest, SilentSignalOrClosedGainSleeps) {
  struct Case {
    float signal, gain;
    bool signalStreams, gainStreams, runs;
  } cases[] = {
      {0.0f, 1.0f, false, false, false},  {0.3f, 0.0f, false, false, false},
      {0.3f, -1.0f, false, false, false}, {0.3f, std::numeric_limits<float>::quiet_NaN(), false, false, false},
      {0.0f, 1.0f, true, false, true},    {0.3f, 0.0f, false, true, true},
      {0.3f, 1.0f, false, false, true},
  };
  for (const auto& c : cases) {
    auto m = make();
    host.clearRecords();
    Inputs in;
    in.signal = constant(c.signal);
    in.gain = constant(c.gain);
    EventList e;
    e.graphStart()
        .value(0, DistOver::MODE, 2)
        .streaming(0, DistOver::SIGNAL, c.signalStreams)
        .streaming(0, DistOver::GAIN, c.gainStreams);
    auto out = render(*m, in, 3, &e);
    const auto states = host.streamingOn(DistOver::OUTPUT);
    ASSERT_FALSE(states.empty());
    EXPECT_EQ(states.back().streaming, c.runs) << c.signal << " " << c.gain;
    if (!c.runs) {
      for (float v : out) ASSERT_EQ(v, 0.0f);
      EXPECT_GE(host.sleepRequests, 1);
    }
  }
}

}  // namespace
