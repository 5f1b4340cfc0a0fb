#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "modules/sampler/soundfont_oscillator3.h"
#include "tests/sampler/test_banks.h"
#include "tests/support/module_harness.h"

namespace {

using namespace zv::sampler;
using namespace zv::sampler::test;
using Osc = SoundfontOscillator3;

constexpr float SCALE = 1.0f / 65536.0f;
const float CENTRE_GAIN = std::cos(0.785398f) + 0.000001f;

// One preset (bank 0, preset 0) with one zone playing the given sample.
sf2::Bytes singleZone(std::vector<sf2::Generator> generators, const sf2::Sample& sample) {
  sf2::Bank b;
  b.samples.push_back(sample);
  generators.push_back(sf2::sampleId(0));
  b.instruments.push_back({"one", {sf2::Zone{generators}}});
  b.presets.push_back({"one", 0, 0, {sf2::Zone{{sf2::instrumentId(0)}}}});
  return sf2::write(b);
}

sf2::Sample rampSample(int points = 1000, uint32_t loopStart = 100, uint32_t loopEnd = 200) {
  sf2::Sample s{"ramp", ramp(points, 10, 10)};  // 10, 20, 30, ...
  s.rootKey = 69;
  s.loopStart = loopStart;
  s.loopEnd = loopEnd;
  return s;
}

struct SoundfontOscillator3Test : ::testing::Test {
  SoundFontRegistry registry;
  TestHost host;
  Osc* osc = nullptr;
  std::unique_ptr<AudioModule> module;
  std::vector<sf2::Bytes> banks;

  void SetUp() override {
    host.blockSize = 64;
    osc = new Osc(host.unknown(), registry);
    module = std::make_unique<AudioModule>(host, static_cast<IMpPlugin*>(osc));
    module->fill(Osc::PITCH, 0.5f);
    module->fill(Osc::PITCH_MODULATION, 0.0f);
    module->fill(Osc::GATE, 0.0f);
    module->fill(Osc::TRIGGER, 0.0f);
    module->fill(Osc::VELOCITY, 0.8f);
    module->audio(Osc::LEFT);
    module->audio(Osc::RIGHT);
    module->open();
  }
  void TearDown() override { module.reset(); }

  BankHandle load(const sf2::Bytes& bytes, int bank = 0, int preset = 0) {
    banks.push_back(bytes);
    const sf2::Bytes& kept = banks.back();
    return registry.openPresetFromMemory(MP_TEXT("bank") + MpString(1, MpChar('0' + banks.size())), kept.data(),
                                         kept.size(), bank, preset);
  }
  // Lowers the gate for one sample, then raises it at sample 0 of a new block.
  void play(BankHandle handle, int32_t interpolation = 0, int32_t samples = 64) {
    module->fill(Osc::GATE, 0.0f);
    module->process(1, EventList().streaming(0, Osc::GATE, false));
    module->fill(Osc::GATE, 1.0f);
    module->process(samples, EventList()
                                 .graphStart()
                                 .value(0, Osc::ACTIVE, 1)
                                 .value(0, Osc::BANK_HANDLE, handle)
                                 .value(0, Osc::INTERPOLATION, interpolation)
                                 .streaming(0, Osc::GATE, false));
  }
  float* left() { return module->audio(Osc::LEFT); }
  float* right() { return module->audio(Osc::RIGHT); }
  bool streaming() { return !host.streamingOn(Osc::LEFT).empty() && host.streamingOn(Osc::LEFT).back().streaming; }
};

TEST_F(SoundfontOscillator3Test, PitchFollowsRootTuningScaleAndRate) {
  struct Case {
    const char* what;
    std::vector<sf2::Generator> generators;
    uint32_t rate;
    float pitch;
    uint32_t increment;
  };
  const Case cases[] = {
      {"root key at 0.5", {}, 44100, 0.5f, 1u << 24},
      {"an octave up", {}, 44100, 0.6f, 1u << 25},
      {"an octave down", {}, 44100, 0.4f, 1u << 23},
      {"half the rate", {}, 22050, 0.5f, 1u << 23},
      {"coarse tune +12", {sf2::gen(51, 12)}, 44100, 0.5f, 1u << 25},
      {"root overridden to 57", {sf2::gen(58, 57)}, 44100, 0.5f, 1u << 25},
      {"fine tune -1200 cents", {sf2::gen(52, -1200)}, 44100, 0.5f, 1u << 23},
      {"scale tuning 0 ignores pitch", {sf2::gen(56, 0)}, 44100, 0.6f, 1u << 24},
      {"scale tuning 50 halves tracking", {sf2::gen(56, 50)}, 44100, 0.7f, 1u << 25},
  };
  for (const Case& c : cases) {
    sf2::Sample s = rampSample();
    s.rate = c.rate;
    // The key stays inside every zone: only the increment changes.
    module->fill(Osc::PITCH, c.pitch);
    play(load(singleZone(c.generators, s)));
    ASSERT_EQ(osc->voices().size(), 1u) << c.what;
    EXPECT_NEAR(static_cast<double>(osc->voices()[0].increment), c.increment, c.increment * 1e-6) << c.what;
  }
}

TEST_F(SoundfontOscillator3Test, RootPitchReadsEverySampleFromTheStart) {
  play(load(singleZone({}, rampSample())));
  EXPECT_TRUE(streaming());
  for (int i = 0; i < 64; ++i) {
    EXPECT_FLOAT_EQ(left()[i], (10.0f + 10.0f * i) * SCALE * CENTRE_GAIN) << i;
    EXPECT_FLOAT_EQ(right()[i], left()[i]);
  }
}

TEST_F(SoundfontOscillator3Test, PanAndFullScale) {
  sf2::Sample full{"full", std::vector<int16_t>(300, 32767)};
  full.rootKey = 69;
  play(load(singleZone({}, full)));
  EXPECT_NEAR(left()[5], 0.354f, 0.001f);
  EXPECT_NEAR(right()[5], 0.354f, 0.001f);
  play(load(singleZone({sf2::gen(17, -500)}, full)));
  EXPECT_NEAR(left()[5], 0.49998f, 0.0001f);
  EXPECT_NEAR(right()[5], 0.0f, 0.0001f);
  play(load(singleZone({sf2::gen(17, 2000)}, full)));
  EXPECT_NEAR(right()[5], 0.49998f, 0.0001f) << "pan past the end is held at full right";
}

TEST_F(SoundfontOscillator3Test, InterpolationsOnKnownSamples) {
  module->fill(Osc::PITCH, 0.4f);  // half a sample per output sample
  // Started 8 points in, so that the sinc's reach sees only the ramp.
  const BankHandle h = load(singleZone({sf2::gen(0, 8)}, rampSample()));
  auto expectMidpoints = [&](int32_t mode) {
    play(h, mode);
    for (int i = 0; i < 40; ++i) {
      EXPECT_NEAR(left()[i], (90.0f + 5.0f * i) * SCALE * CENTRE_GAIN, 2e-6f) << "mode " << mode << " at " << i;
    }
  };
  for (int32_t mode : {1, 2, 4, 8, 77}) expectMidpoints(mode);

  play(h, 0);
  for (int i = 0; i < 40; ++i) EXPECT_FLOAT_EQ(left()[i], (90.0f + 10.0f * (i / 2)) * SCALE * CENTRE_GAIN) << i;

  // Cubic at a quarter step with s[-1..2] = 100, 200, 1000, 400.
  module->fill(Osc::PITCH, 0.3f);
  sf2::Sample uneven{"uneven", {0, 100, 200, 1000, 400, 0, 0, 0, 0, 0, 0, 0}};
  uneven.rootKey = 69;
  play(load(singleZone({sf2::gen(0, 2)}, uneven)), 4);
  const float a3 = 400 - 1000 - 100 + 200, a2 = 100 - 200 - a3, a1 = 1000 - 100, a0 = 200, t = 0.25f;
  EXPECT_NEAR(left()[1], ((a2 + a3 * t) * t * t + a1 * t + a0) * SCALE * CENTRE_GAIN, 1e-7f);
  EXPECT_FLOAT_EQ(left()[0], 200.0f * SCALE * CENTRE_GAIN) << "t = 0 reads s[0]";
  EXPECT_FLOAT_EQ(left()[4], 1000.0f * SCALE * CENTRE_GAIN);
}

TEST_F(SoundfontOscillator3Test, SincKeepsConstantsAndHitsSamplesAtWholePositions) {
  sf2::Sample level{"level", std::vector<int16_t>(300, 12000)};
  level.rootKey = 69;
  module->fill(Osc::PITCH, 0.5f - 0.7f / 120.0f);  // an irrational-ish step
  play(load(singleZone({sf2::gen(0, 20)}, level)), 8);
  for (int i = 0; i < 64; ++i) EXPECT_NEAR(left()[i], 12000.0f * SCALE * CENTRE_GAIN, 2e-5f) << i;

  // The first sample of the data with its first neighbours in the padding.
  module->fill(Osc::PITCH, 0.5f);
  play(load(singleZone({}, rampSample())), 8);
  for (int i = 0; i < 8; ++i) EXPECT_NEAR(left()[i], (10.0f + 10.0f * i) * SCALE * CENTRE_GAIN, 1e-6f) << i;

  // A header reaching the end of the data: the last reads pass its end.
  sf2::Sample whole = rampSample(20, 0, 0);
  whole.rawPositions = true;
  whole.rawStart = 40;
  whole.rawEnd = 20 + 46;
  for (int32_t mode : {4, 8}) {
    play(load(singleZone({}, whole)), mode);
    EXPECT_EQ(left()[63], 0.0f) << "ran out inside the block";
    EXPECT_FALSE(streaming());
  }
}

struct LoopCase {
  int mode;
  uint32_t loopStart, loopEnd;
};

// Plays a 20-point ramp (values 10..200) and returns the sample indices heard.
std::vector<int> heardIndices(const float* out, int n) {
  std::vector<int> idx;
  for (int i = 0; i < n; ++i) idx.push_back(static_cast<int>(std::lround(out[i] / (SCALE * CENTRE_GAIN) / 10.0f)) - 1);
  return idx;
}

TEST_F(SoundfontOscillator3Test, LoopModesWithTheGate) {
  const sf2::Sample s = rampSample(20, 5, 10);
  // Modes 0 and 2 play once, then stop streaming and release the handle.
  for (int mode : {0, 2}) {
    const BankHandle h = load(singleZone({sf2::gen(54, mode)}, s));
    play(h);
    const auto heard = heardIndices(left(), 30);
    for (int i = 0; i < 20; ++i) EXPECT_EQ(heard[i], i) << "mode " << mode;
    for (int i = 20; i < 30; ++i) EXPECT_EQ(left()[i], 0.0f) << "mode " << mode;
    EXPECT_FALSE(streaming());
    EXPECT_EQ(osc->heldHandle(), -1);
    EXPECT_EQ(registry.users(h), 1) << "only the test's own user is left";
  }
  // Mode 1 loops 5..9 for ever.
  play(load(singleZone({sf2::gen(54, 1)}, s)));
  auto heard = heardIndices(left(), 64);
  for (int i = 10; i < 64; ++i) EXPECT_EQ(heard[i], 5 + (i - 10) % 5) << i;
  EXPECT_TRUE(streaming());

  // Mode 3 loops while the gate is high, then runs out to the end.
  play(load(singleZone({sf2::gen(54, 3)}, s)));
  heard = heardIndices(left(), 64);
  EXPECT_EQ(heard[12], 7);
  EXPECT_EQ(heard[63], 5 + (63 - 10) % 5);
  module->fill(Osc::GATE, 0.0f);
  module->process(64, EventList().streaming(0, Osc::GATE, false));
  heard = heardIndices(left(), 64);
  // Position continues from 9 (index 63 of the last block was 8): 9, 10, ... 19.
  for (int i = 0; i < 11; ++i) EXPECT_EQ(heard[i], 9 + i) << i;
  EXPECT_EQ(left()[11], 0.0f);
  EXPECT_FALSE(streaming());
  EXPECT_EQ(osc->heldHandle(), -1);
}

TEST_F(SoundfontOscillator3Test, DegenerateLoopsAreMadeSafe) {
  // A loop of length 0 plays once.
  play(load(singleZone({sf2::gen(54, 1)}, rampSample(20, 8, 8))));
  auto heard = heardIndices(left(), 30);
  EXPECT_EQ(heard[19], 19);
  EXPECT_EQ(left()[25], 0.0f);
  // A loop end past the sample end loops back at the sample end.
  play(load(singleZone({sf2::gen(54, 1)}, rampSample(20, 15, 40))));
  heard = heardIndices(left(), 30);
  EXPECT_EQ(heard[19], 19);
  EXPECT_EQ(heard[20], 15);
  EXPECT_TRUE(streaming());
  // Offsets that push every point outside the data are clamped into it.
  play(load(singleZone({sf2::gen(54, 1), sf2::gen(45, -3000), sf2::gen(50, 3000), sf2::gen(12, 3000)},
                       rampSample(20, 5, 10))));
  EXPECT_TRUE(streaming());
  // A start offset beyond the end leaves nothing to play.
  play(load(singleZone({sf2::gen(4, 100)}, rampSample(20, 5, 10))));
  EXPECT_TRUE(osc->voices().empty());
  EXPECT_FALSE(streaming());
  // A sample without a rate would never move on and never end.
  sf2::Sample noRate = rampSample(20, 5, 10);
  noRate.rate = 0;
  play(load(singleZone({}, noRate)));
  EXPECT_TRUE(osc->voices().empty());
  EXPECT_FALSE(streaming());
}

TEST_F(SoundfontOscillator3Test, StereoPairsPutEachSideOnItsOutputWhicheverMatched) {
  const sf2::Bytes bytes = sf2::write(standardBank());
  for (int preset : {1, 2}) {  // the left zone only, the right zone only
    play(load(bytes, 0, preset));
    ASSERT_EQ(osc->voices().size(), 1u);
    EXPECT_TRUE(osc->voices()[0].stereo);
    EXPECT_FLOAT_EQ(left()[10], -2000.0f * SCALE) << preset;
    EXPECT_FLOAT_EQ(right()[10], 1000.0f * SCALE) << preset;
  }
  // A ROM sample's zone is dropped; the zone after it keeps its own voice.
  play(load(bytes, 0, 3));
  ASSERT_EQ(osc->voices().size(), 1u);
  EXPECT_FLOAT_EQ(left()[3], 30.0f * SCALE * CENTRE_GAIN);
}

TEST_F(SoundfontOscillator3Test, GateAndTriggerEdgesInsideTheBlock) {
  const BankHandle h = load(singleZone({sf2::gen(54, 1)}, rampSample()));
  float* gate = module->audio(Osc::GATE);
  float* trigger = module->audio(Osc::TRIGGER);
  std::fill_n(gate, 64, 0.0f);
  std::fill_n(gate + 10, 54, 1.0f);
  std::fill_n(trigger, 64, 0.0f);
  std::fill_n(trigger + 3, 3, 1.0f);   // while the gate is low: nothing
  std::fill_n(trigger + 30, 5, 1.0f);  // while the gate is high: restart
  module->process(64, EventList()
                          .graphStart()
                          .value(0, Osc::ACTIVE, 1)
                          .value(0, Osc::BANK_HANDLE, h)
                          .streaming(0, Osc::GATE, true)
                          .streaming(0, Osc::TRIGGER, true));
  for (int i = 0; i < 10; ++i) EXPECT_EQ(left()[i], 0.0f) << i;
  const float first = 10.0f * SCALE * CENTRE_GAIN;
  EXPECT_FLOAT_EQ(left()[10], first);
  EXPECT_FLOAT_EQ(left()[29], 20.0f * first);
  EXPECT_FLOAT_EQ(left()[30], first) << "trigger restarted the note";
  EXPECT_FLOAT_EQ(left()[35], 6.0f * first) << "trigger staying high does nothing";
  ASSERT_FALSE(host.streamingOn(Osc::LEFT).empty());
  EXPECT_EQ(host.streamingOn(Osc::LEFT).back().position, 30);
}

TEST_F(SoundfontOscillator3Test, InactiveSilencesSleepsAndIgnoresEdges) {
  const BankHandle h = load(singleZone({sf2::gen(54, 1)}, rampSample()));
  play(h);
  EXPECT_EQ(registry.users(h), 2);
  module->process(64, EventList().value(0, Osc::ACTIVE, 0));
  EXPECT_EQ(left()[5], 0.0f);
  EXPECT_FALSE(streaming());
  EXPECT_EQ(registry.users(h), 1);
  EXPECT_EQ(host.sleepRequests, 1);

  // A streaming gate that rises while inactive starts nothing.
  float* gate = module->audio(Osc::GATE);
  std::fill_n(gate, 64, 0.0f);
  std::fill_n(gate + 20, 44, 1.0f);
  module->process(64, EventList().streaming(0, Osc::GATE, true));
  EXPECT_EQ(left()[40], 0.0f);
  EXPECT_EQ(osc->heldHandle(), -1);
}

TEST_F(SoundfontOscillator3Test, MissingHandlesAndOutOfRangeNotesStaySilent) {
  play(-1);
  EXPECT_FALSE(streaming());
  EXPECT_EQ(left()[3], 0.0f);
  play(424242);  // unknown: no user granted, none held
  EXPECT_EQ(osc->heldHandle(), -1);
  EXPECT_FALSE(streaming());
  const sf2::Bytes bytes = sf2::write(standardBank());
  play(load(bytes, 0, 0));  // key 69 lies outside every zone of preset 0
  EXPECT_TRUE(osc->voices().empty());
  EXPECT_FALSE(streaming());
}

TEST_F(SoundfontOscillator3Test, HostilePitchesAreClamped) {
  const BankHandle h = load(singleZone({sf2::gen(54, 1)}, rampSample(1000, 100, 900)));
  module->fill(Osc::PITCH, 40.0f);
  play(h);
  ASSERT_EQ(osc->voices().size(), 1u);
  EXPECT_EQ(osc->voices()[0].increment, 0xFF000000u);
  module->fill(Osc::PITCH, std::numeric_limits<float>::quiet_NaN());
  play(h);
  ASSERT_EQ(osc->voices().size(), 1u) << "key 0 still inside the zone";
  EXPECT_EQ(osc->voices()[0].increment, 0u);
  module->fill(Osc::PITCH, -1e30f);
  module->fill(Osc::PITCH_MODULATION, 0.0f);
  play(h, 8);
  EXPECT_EQ(osc->voices()[0].increment, 0u);
  EXPECT_FLOAT_EQ(left()[63], 10.0f * SCALE * CENTRE_GAIN);
}

TEST_F(SoundfontOscillator3Test, TrackingPitchStillStartsAtTheFirstSample) {
  const BankHandle h = load(singleZone({}, rampSample()));
  float* pitch = module->audio(Osc::PITCH);
  pitch[0] = 0.6f;                   // the note starts an octave up...
  std::fill_n(pitch + 1, 63, 0.4f);  // ...and drops two octaves at once
  play(h);
  module->process(64, EventList().streaming(0, Osc::PITCH, true));
  play(h, 1);  // a new note while the pitch streams
  EXPECT_FLOAT_EQ(left()[0], 10.0f * SCALE * CENTRE_GAIN);
  EXPECT_NEAR(left()[1], 15.0f * SCALE * CENTRE_GAIN, 1e-6f) << "half a step per sample after the start";
}

TEST_F(SoundfontOscillator3Test, KeyFromPitchOnlyIgnoresModulationForZoneChoice) {
  sf2::Bank b;
  b.samples.push_back(rampSample());
  b.instruments.push_back({"one", {sf2::Zone{{sf2::keyRange(69, 69), sf2::sampleId(0)}}}});
  b.presets.push_back({"one", 0, 0, {sf2::Zone{{sf2::instrumentId(0)}}}});
  const BankHandle h = load(sf2::write(b));
  module->fill(Osc::PITCH_MODULATION, 0.1f);
  play(h);
  EXPECT_TRUE(osc->voices().empty()) << "key 81 is outside the zone";
  module->process(1, EventList().value(0, Osc::KEY_FROM_PITCH_ONLY, 1));
  play(h);
  ASSERT_EQ(osc->voices().size(), 1u);
  EXPECT_NEAR(osc->voices()[0].increment, 1u << 25, 64) << "the modulation still sets the pitch";
  EXPECT_FLOAT_EQ(left()[0], 10.0f * SCALE * CENTRE_GAIN) << "the first output reads the start";
  EXPECT_FLOAT_EQ(left()[1], 30.0f * SCALE * CENTRE_GAIN);
}

TEST(SincTable, RowsAreNormalisedAndRowZeroIsAnImpulse) {
  const SincTable& t = SincTable::instance();
  for (uint32_t r = 0; r < SincTable::kRows; ++r) {
    float sum = 0.0f;
    for (int k = 0; k < SincTable::kTaps; ++k) sum += t.row(r)[k];
    EXPECT_NEAR(sum, 1.0f, 1e-6f) << r;
  }
  EXPECT_NEAR(t.row(0)[3], 1.0f, 1e-6f);
  for (int k : {0, 1, 2, 4, 5, 6, 7}) EXPECT_NEAR(t.row(0)[k], 0.0f, 1e-6f) << k;
  for (int k = 0; k < 7; ++k) EXPECT_FLOAT_EQ(t.row(32)[k + 1], t.row(0)[k]) << "row 32 is row 0 one tap on";
  for (int k = 0; k < 8; ++k) EXPECT_NEAR(t.row(16)[k], t.row(16)[7 - k], 1e-6f) << "half-way row is symmetric";
}

}  // namespace
