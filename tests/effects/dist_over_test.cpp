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

// Inputs by pin, Signal to Output divisor (the spare reads 0).
struct Inputs {
  Wave waves[8] = {[](int64_t n) { return static_cast<float>(0.9 * std::sin(0.05 * n) + 0.4 * std::sin(0.31 * n)); },
                   constant(1.5f),
                   constant(0.0f),
                   [](int64_t n) { return static_cast<float>(0.5 + 0.5 * std::sin(0.01 * n)); },
                   constant(0.6f),
                   constant(1.3f),
                   constant(0.8f),
                   constant(1.25f)};
  double at(int pin, int64_t n) const { return waves[pin](n); }
};

// The distortion in double precision with the true tanh.
struct Reference {
  int32_t mode, factor;
  ReferenceLowPass up, upModulator = ReferenceLowPass::twice(), down;
  double previous = 0.0, previousModulator = 0.0;

  explicit Reference(int32_t m)
      : mode(m),
        factor(m == 3 || m == 4 ? 4 : 2),
        up(factor == 4 ? ReferenceLowPass::fourTimes() : ReferenceLowPass::twice()),
        down(up) {}

  double process(const Inputs& in, int64_t n) {
    auto gain = [&](double x, double m) {
      return ((m - 1.0) * in.at(DistOver::DEPTH, n) + 1.0000001) * x * in.at(DistOver::GAIN, n);
    };
    const double x = in.at(DistOver::SIGNAL, n), m = in.at(DistOver::MODULATOR, n);
    if (mode == 0) return gain(x, m);
    const double d = mode == 5 ? x : gain(x, m) * in.at(DistOver::DRIVE, n), shape = in.at(DistOver::SHAPE, n);
    double first = 0.0;
    for (int32_t j = 1; j <= factor; ++j) {
      const double e = up.process(previous + j * (d - previous) / factor);
      double s;
      if (mode == 5) {
        s = gain(e, upModulator.process(previousModulator + j * (m - previousModulator) / 2));
      } else {
        const double c = std::clamp(e, -1.0, 1.0), w = mode == 1 || mode == 3 ? std::fabs(c) : 1.0;
        s = e + shape * w * (std::tanh(c) - e);
      }
      const double r = down.process(s);
      if (j == 1) first = r;
    }
    previous = d, previousModulator = m;
    return mode == 5 ? first : first / in.at(DistOver::DIVISOR, n);
  }
};

struct DistOverTest : ::testing::Test {
  TestHost host;
  std::unique_ptr<AudioModule> module;

  std::vector<float> render(const Inputs& in, int32_t blocks, EventList* first, int64_t from = 0) {
    std::vector<float> out;
    for (int32_t b = 0; b < blocks; ++b) {
      for (int pin = DistOver::SIGNAL; pin <= DistOver::DIVISOR; ++pin) {
        for (int32_t i = 0; i < 64; ++i) module->audio(pin)[i] = static_cast<float>(in.at(pin, from + b * 64 + i));
      }
      b == 0 && first != nullptr ? module->process(64, *first) : module->process(64);
      out.insert(out.end(), module->audio(DistOver::OUTPUT), module->audio(DistOver::OUTPUT) + 64);
    }
    return out;
  }
  // A new module, started in a mode with streaming Signal and Gain as given.
  std::vector<float> run(int32_t mode, const Inputs& in, int32_t blocks, int64_t from = 0, bool streams = true) {
    module = std::make_unique<AudioModule>(host, MP_TEXT("ZV DIST CS"));
    module->fill(DistOver::SPARE_2, 0.0f);
    module->fill(DistOver::OUTPUT, std::numeric_limits<float>::quiet_NaN());
    module->open();
    EventList e;
    e.graphStart().value(0, DistOver::MODE, mode).streaming(0, DistOver::SIGNAL, streams);
    return render(in, blocks, &e, from);
  }
};

TEST_F(DistOverTest, EveryModeMatchesAnIndependentComputation) {
  Inputs in;
  for (int32_t mode = 0; mode <= 5; ++mode) {
    auto out = run(mode, in, 20);
    Reference ref(mode);
    double worst = 0.0, peak = 0.0;
    for (size_t n = 0; n < out.size(); ++n) {
      const double expected = ref.process(in, static_cast<int64_t>(n));
      worst = std::max(worst, std::fabs(out[n] - expected));
      peak = std::max(peak, std::fabs(expected));
    }
    EXPECT_GT(peak, 0.3) << mode;
    EXPECT_LT(worst, peak * (mode == 0 ? 1e-6 : 2e-4)) << "mode " << mode;
  }
  // Full depth with a silent modulator still lets a trace through.
  in.waves[DistOver::MODULATOR] = constant(0.0f);
  in.waves[DistOver::DEPTH] = constant(1.0f);
  const double trace = run(0, in, 1)[5] / (in.at(DistOver::SIGNAL, 5) * 1.5);
  EXPECT_TRUE(trace > 0.5e-7 && trace < 2e-7) << trace;
}

TEST_F(DistOverTest, FullShapeSaturatesAtTanhOfOne) {
  Inputs in;
  in.waves[DistOver::MODULATOR] = in.waves[DistOver::SHAPE] = in.waves[DistOver::DIVISOR] = constant(1.0f);
  for (float level : {4.0f, -4.0f}) {
    in.waves[DistOver::SIGNAL] = constant(level);
    for (int32_t mode = 1; mode <= 4; ++mode) {
      const double dc = (mode <= 2 ? ReferenceLowPass::twice() : ReferenceLowPass::fourTimes()).dcGain();
      EXPECT_NEAR(run(mode, in, 60).back(), std::copysign(std::tanh(1.0) * dc, level), 1e-4) << mode;
    }
  }
}

TEST_F(DistOverTest, UnusableDivisorGivesSilence) {
  for (float divisor : {0.0f, -0.0f, std::numeric_limits<float>::quiet_NaN(), 1e-44f}) {
    Inputs in;
    in.waves[DistOver::DIVISOR] = constant(divisor);
    for (int32_t mode = 1; mode <= 4; ++mode) {
      for (float v : run(mode, in, 4)) {
        ASSERT_TRUE(std::isfinite(v) && (v == 0.0f || divisor != 0.0f)) << divisor << " mode " << mode;
      }
    }
  }
}

TEST_F(DistOverTest, ModeChangeResetAndUnknownModeStartFromEmptyFilters) {
  // After each event the output is that of a module that never ran.
  Inputs in;
  const auto fresh = run(1, in, 4, 2000);
  run(3, in, 20);
  for (auto [pin, value] : {std::pair{DistOver::MODE, 1.0f}, {DistOver::RESET, 0.5f}, {DistOver::MODE, 17.0f}}) {
    EventList e;
    pin == DistOver::MODE ? e.value(0, pin, static_cast<int32_t>(value)) : e.value(0, pin, value);
    EXPECT_EQ(render(in, 4, &e, 2000), fresh) << pin << " " << value;
    render(in, 20, nullptr);
  }
}

TEST_F(DistOverTest, StaticSilentSignalOrClosedGainSleeps) {
  for (auto [signal, gain] : {std::pair{0.0f, 1.0f}, {0.3f, 0.0f}, {0.3f, std::nanf("")}, {0.3f, 1.0f}}) {
    host.clearRecords();
    Inputs in;
    in.waves[DistOver::SIGNAL] = constant(signal);
    in.waves[DistOver::GAIN] = constant(gain);
    auto out = run(2, in, 2, 0, false);
    const bool runs = signal != 0.0f && gain > 0.0f;
    EXPECT_EQ(host.streamingOn(DistOver::OUTPUT).back().streaming, runs) << signal << " " << gain;
    EXPECT_EQ(host.sleepRequests >= 1 && *std::max_element(out.begin(), out.end()) == 0.0f, !runs);
  }
}

}  // namespace
