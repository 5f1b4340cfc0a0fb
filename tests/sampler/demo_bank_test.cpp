#include <gtest/gtest.h>

#include <cmath>

#include "modules/sampler/sample_loader3.h"
#include "modules/sampler/soundfont_oscillator3.h"
#include "tests/sampler/test_banks.h"
#include "tests/support/module_harness.h"
#include "tools/sf2_generator/demo_bank.h"

namespace {

using namespace zv::sampler;
using Osc = SoundfontOscillator3;

struct Rendered {
  double leftRms = 0.0, rightRms = 0.0, difference = 0.0;
  bool finite = true;
};

// The demo bank through a loader and an oscillator, as a patch plays it.
struct DemoPatch {
  SoundFontRegistry registry;
  zv::sampler::test::TempFile file{".sf2", sf2::write(sf2::demoBank())};
  TestHost host;
  std::unique_ptr<AudioModule> loader;
  std::unique_ptr<AudioModule> osc;

  DemoPatch() {
    host.folder = file.folder();
    host.blockSize = 256;
    loader = std::make_unique<AudioModule>(host, static_cast<IMpPlugin*>(new SampleLoader3(host.unknown(), registry)));
    osc = std::make_unique<AudioModule>(host, static_cast<IMpPlugin*>(new Osc(host.unknown(), registry)));
    loader->open();
    for (int pin : {Osc::PITCH, Osc::TRIGGER, Osc::GATE, Osc::VELOCITY, Osc::PITCH_MODULATION}) osc->fill(pin, 0.0f);
    osc->audio(Osc::LEFT);
    osc->audio(Osc::RIGHT);
    osc->open();
  }
  ~DemoPatch() {
    osc.reset();
    loader.reset();
  }

  Rendered play(int bank, int preset, int key, float velocity, int blocks = 8) {
    loader->process(1, EventList()
                           .value(0, SampleLoader3::FILENAME, file.fileName())
                           .value(0, SampleLoader3::BANK, bank)
                           .value(0, SampleLoader3::PRESET, preset));
    const int32_t handle = host.lastValue(SampleLoader3::HANDLE_OUT).asInt();
    osc->fill(Osc::GATE, 0.0f);
    osc->process(1,
                 EventList().value(0, Osc::ACTIVE, 1).value(0, Osc::INTERPOLATION, 8).streaming(0, Osc::GATE, false));
    osc->fill(Osc::PITCH, 0.5f + (key - 69) / 120.0f);
    osc->fill(Osc::VELOCITY, velocity);
    osc->fill(Osc::GATE, 1.0f);
    Rendered r;
    double sumL = 0.0, sumR = 0.0, sumD = 0.0;
    for (int b = 0; b < blocks; ++b) {
      EventList events;
      if (b == 0) events.value(0, Osc::BANK_HANDLE, handle).streaming(0, Osc::GATE, false);
      osc->process(256, events);
      for (int i = 0; i < 256; ++i) {
        const float l = osc->audio(Osc::LEFT)[i], rr = osc->audio(Osc::RIGHT)[i];
        r.finite = r.finite && std::isfinite(l) && std::isfinite(rr);
        sumL += l * l;
        sumR += rr * rr;
        sumD += (l - rr) * (l - rr);
      }
    }
    const double n = blocks * 256.0;
    r.leftRms = std::sqrt(sumL / n);
    r.rightRms = std::sqrt(sumR / n);
    r.difference = std::sqrt(sumD / n);
    return r;
  }
};

TEST(DemoBank, EveryPresetSoundsThroughLoaderAndOscillator) {
  DemoPatch patch;
  const Rendered soft = patch.play(0, 0, 60, 0.3f);
  const Rendered hard = patch.play(0, 0, 60, 0.9f);
  const Rendered pluck = patch.play(0, 3, 72, 0.8f);
  const Rendered pad = patch.play(0, 2, 48, 0.8f, 40);
  const Rendered hat = patch.play(128, 0, 42, 0.8f);
  for (const Rendered* r : {&soft, &hard, &pluck, &pad, &hat}) {
    EXPECT_TRUE(r->finite);
    EXPECT_GT(r->leftRms, 0.01);
    EXPECT_LT(r->leftRms, 0.5);
  }
  EXPECT_NEAR(soft.leftRms, soft.rightRms, 1e-6) << "centred mono zone";
  EXPECT_GT(pluck.difference, 0.01) << "the stereo pair differs per side";
  EXPECT_EQ(patch.play(128, 0, 80, 0.8f).leftRms, 0.0) << "no kit zone up there";
  EXPECT_EQ(patch.registry.loads(), 1);
}

}  // namespace
