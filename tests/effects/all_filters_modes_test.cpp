// The multi-mode filter's tables and modes without a host: tables filled
// into plain storage, mode policies driven directly.
#include "modules/effects/all_filters_modes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "modules/effects/all_filters.h"
#include "tests/effects/filter_driver.h"

namespace {

using namespace zv::effects;
using namespace zv::effects::test;
using zv::dsp::SvfTap;
using zv::dsp::TableView;

struct HostFreeFilter {
  std::vector<float> storage;
  AllFiltersTables tables;
  AllFiltersTuning tuning;
  AllFiltersContext context;

  explicit HostFreeFilter(float rate) : storage(static_cast<size_t>(AllFiltersTables::kStorageValues)) {
    tables.fillInto(storage.data(), rate);
    tuning.set(rate);
    context.tables = &tables;
    context.tuning = &tuning;
    context.tanh = zv::dsp::TanhTable(tables.tanh.data());
  }

  // Fixed controls: the coefficients are set once, then every sample ticks.
  template <class Mode>
  std::vector<float> run(const std::vector<float>& x, float cutoff, float resonance, float mix) const {
    AllFiltersCoefficients c;
    AllFiltersMemory m;
    Mode::set(c, context, cutoff, zv::dsp::usableResonance(resonance), mix);
    std::vector<float> y;
    for (float v : x) y.push_back(Mode::tick(m, c, context, v, mix));
    return y;
  }
};

TEST(AllFiltersTables, FilledWithoutAHostAsInTheHostsBlocks) {
  const TableView AllFiltersTables::*const views[] = {
      &AllFiltersTables::ok0,    &AllFiltersTables::ok0x2, &AllFiltersTables::os0,    &AllFiltersTables::oslo,
      &AllFiltersTables::oslo1,  &AllFiltersTables::ohp,   &AllFiltersTables::osloo1, &AllFiltersTables::tanh,
      &AllFiltersTables::svVolt, &AllFiltersTables::svRes, &AllFiltersTables::k18,    &AllFiltersTables::r18,
      &AllFiltersTables::k18x2,  &AllFiltersTables::r18x2, &AllFiltersTables::acr,    &AllFiltersTables::g,
      &AllFiltersTables::acrX2,  &AllFiltersTables::gX2,   &AllFiltersTables::acrX4,  &AllFiltersTables::gX4};
  for (float rate : {44100.0f, 96000.0f}) {
    const HostFreeFilter own(rate);
    TestHost host;
    host.sampleRate = rate;
    auto* filter = new AllFilters(host.unknown());
    AudioModule module(host, filter);
    module.open();
    int32_t total = 0;
    for (auto view : views) {
      const TableView& a = own.tables.*view;
      const TableView& b = filter->tables().*view;
      ASSERT_TRUE(a.isOpen() && b.isOpen());
      ASSERT_EQ(a.entries(), b.entries());
      total += a.entries() + 1;
      // Spare entry included.
      for (int32_t i = 0; i <= a.entries(); ++i) ASSERT_EQ(a[i], b[i]) << "entry " << i << " at " << rate;
    }
    EXPECT_EQ(total, AllFiltersTables::kStorageValues) << "every table has its own stretch";
  }
}

TEST(AllFiltersModes, PoliciesDrivenDirectlyRenderWhatTheModuleRenders) {
  using Run = std::vector<float> (HostFreeFilter::*)(const std::vector<float>&, float, float, float) const;
  struct Case {
    int32_t mode;
    Run run;
  };
  const Case cases[] = {
      {0, &HostFreeFilter::run<LadderCubic2x>},
      {1, &HostFreeFilter::run<Ladder>},
      {4, &HostFreeFilter::run<CascadeTanh4x<false>>},
      {8, &HostFreeFilter::run<DualLadder<true>>},
      {14, &HostFreeFilter::run<ThreePole<Tap::Y2, 4, true>>},
      {22, &HostFreeFilter::run<ThreePole2x<true>>},
      {26, &HostFreeFilter::run<DampedPair<SvfTap::Notch>>},
      {31, &HostFreeFilter::run<DrivenPair<SvfTap::High>>},
      {34, &HostFreeFilter::run<TunedLadder2x<true>>},
  };
  const float rate = 48000.0f;
  const HostFreeFilter own(rate);
  const auto x = noise(700);
  for (const auto& c : cases) {
    TestHost host;
    host.sampleRate = rate;
    FilterDriver driver(host, MP_TEXT("ZV-LPF over"));
    EventList start;
    start.graphStart().value(0, MODE, c.mode).streaming(0, SIGNAL, true);
    const auto fromModule = driver.render(x, constant(0.6f), constant(0.7f), constant(0.3f), &start);
    const auto direct = (own.*c.run)(x, 0.6f, 0.7f, 0.3f);
    ASSERT_EQ(fromModule.size(), direct.size());
    for (size_t i = 0; i < direct.size(); ++i)
      ASSERT_EQ(fromModule[i], direct[i]) << "mode " << c.mode << " sample " << i;
  }
}

// The oversampled modes hand their down filter what their last stage
// holds; for a signal at the state limit (what the shell lets through, of
// random sign) that stays within the limit at any resonance and cutoff.
template <class Mode>
float worstResult(const HostFreeFilter& f, float (*result)(const AllFiltersMemory&)) {
  std::mt19937 random(3);
  float worst = 0.0f;
  for (float resonance : {-1.0f, 0.0f, 1e-20f, 0.5f, 1.1f}) {
    for (float cutoff : {0.0f, 0.6f, 1.05f}) {
      AllFiltersCoefficients c;
      AllFiltersMemory m;
      Mode::set(c, f.context, cutoff, zv::dsp::usableResonance(resonance), 0.5f);
      for (int32_t i = 0; i < 2000; ++i) {
        Mode::tick(m, c, f.context, random() % 2 ? zv::dsp::kStateLimit : -zv::dsp::kStateLimit, 0.5f);
        const float r = std::fabs(result(m));
        if (!(r <= worst)) worst = r;  // NaN sticks
      }
    }
  }
  return worst;
}

TEST(AllFiltersModes, OversampledModesHandTheDownFilterBoundedValues) {
  using Worst = float (*)(const HostFreeFilter&, float (*)(const AllFiltersMemory&));
  struct Case {
    int32_t mode;
    Worst worst;
    float (*result)(const AllFiltersMemory&);
  };
  auto ladder3 = [](const AllFiltersMemory& m) { return m.ladder[3].y; };
  auto ladder2 = [](const AllFiltersMemory& m) { return m.ladder[2].y; };
  auto feedback = [](const AllFiltersMemory& m) { return m.feedback; };
  const Case cases[] = {
      {0, &worstResult<LadderCubic2x>, ladder3},         {2, &worstResult<LadderTanh2x>, ladder3},
      {4, &worstResult<CascadeTanh4x<false>>, feedback}, {5, &worstResult<CascadeBlended2x>, feedback},
      {6, &worstResult<ThreePole2x<false>>, ladder2},    {21, &worstResult<CascadeTanh4x<true>>, feedback},
      {22, &worstResult<ThreePole2x<true>>, ladder2},    {34, &worstResult<TunedLadder2x<true>>, ladder3},
      {35, &worstResult<TunedLadder2x<false>>, ladder2},
  };
  const HostFreeFilter f(48000.0f);
  for (const auto& c : cases) EXPECT_LE(c.worst(f, c.result), zv::dsp::kStateLimit) << "mode " << c.mode;
}

}  // namespace
