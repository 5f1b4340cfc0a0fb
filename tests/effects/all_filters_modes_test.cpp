// The multi-mode filter's tables and modes without a host: tables filled
// into plain storage, mode policies driven directly.
#include "modules/effects/all_filters_modes.h"

#include <gtest/gtest.h>

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

}  // namespace
