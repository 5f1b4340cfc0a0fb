#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "modules/control/prg_ch.h"
#include "tests/support/module_harness.h"

namespace {

constexpr float kSignal = 0.75f;

struct PrgChTest : ::testing::Test {
  TestHost host;
  std::unique_ptr<AudioModule> module;
  std::vector<float> output;  // every sample rendered so far

  // A new module opened at 44.1 kHz, started with Mode, Program 0 and a
  // constant Signal and Duration.
  void start(int32_t mode, float duration) {
    module = std::make_unique<AudioModule>(host, MP_TEXT("ZvPrgChange"));
    module->fill(PrgCh::SIGNAL, kSignal);
    module->fill(PrgCh::DURATION, duration);
    module->fill(PrgCh::OUTPUT, std::numeric_limits<float>::quiet_NaN());
    module->open();
    render(EventList().graphStart().value(0, PrgCh::MODE, mode).value(0, PrgCh::PROGRAM, 0));
  }
  void render(EventList& events) {
    module->process(64, events);
    const float* out = module->audio(PrgCh::OUTPUT);
    output.insert(output.end(), out, out + 64);
  }
  void render(int32_t blocks) {
    for (int32_t b = 0; b < blocks; ++b) {
      EventList none;
      render(none);
    }
  }
  // Samples that carried the signal, and where the first one was.
  int64_t passed() const {
    int64_t n = 0;
    for (float v : output) n += v == kSignal;
    return n;
  }
  int64_t firstPassed() const {
    for (size_t i = 0; i < output.size(); ++i)
      if (output[i] == kSignal) return static_cast<int64_t>(i);
    return -1;
  }
  bool silentOtherwise() const {
    for (float v : output)
      if (v != kSignal && v != 0.0f) return false;
    return true;
  }
  bool endsStatic() const {
    auto s = host.streamingOn(PrgCh::OUTPUT);
    return !s.empty() && !s.back().streaming;
  }
};

TEST_F(PrgChTest, WindowAfterAProgramChangeLastsDurationTimesTenMilliseconds) {
  struct Case {
    float duration;
    int64_t samples;
  };
  const float nan = std::numeric_limits<float>::quiet_NaN();
  // 0.5 × 441 = 220.5 samples: whole samples only. A Duration of 1e7 would
  // be 4.4e9 samples, beyond int; it passes for as long as the test runs.
  const Case cases[] = {{0.5f, 220}, {1.0f, 441}, {0.0f, 0}, {-3.0f, 0}, {nan, 0}, {1e7f, 64 * 20 - (128 + 36)}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.duration);
    output.clear();
    start(PrgCh::WINDOW_AFTER_CHANGE, c.duration);
    render(1);
    EXPECT_EQ(passed(), 0) << "no window at start-up in mode 1";
    render(EventList().value(36, PrgCh::PROGRAM, 7));
    render(17);
    EXPECT_EQ(passed(), c.samples);
    if (c.samples > 0) {
      EXPECT_EQ(firstPassed(), 128 + 36);
    }
    EXPECT_TRUE(silentOtherwise());
    EXPECT_EQ(endsStatic(), c.samples < 1000) << "silent after the window";
  }
}

TEST_F(PrgChTest, ModeZeroOpensOneWindowAtStartUpOnly) {
  start(PrgCh::WINDOW_AT_START, 1.0f);
  render(8);
  render(EventList().value(10, PrgCh::PROGRAM, 3));
  render(8);
  EXPECT_EQ(passed(), 441);
  EXPECT_EQ(firstPassed(), 0);
  EXPECT_TRUE(endsStatic());
}

TEST_F(PrgChTest, ModeTwoPassesUntilANoteOnWithVelocity) {
  start(PrgCh::UNTIL_NOTE, 1.0f);
  render(1);
  EXPECT_EQ(passed(), 0);
  render(EventList().value(0, PrgCh::PROGRAM, 4));
  render(EventList()
             .midi(1, PrgCh::MIDI_IN, {0x90, 60, 0})     // note-off written as a note-on
             .midi(2, PrgCh::MIDI_IN, {0x80, 60, 100})
             .midi(3, PrgCh::MIDI_IN, {0x90, 60})        // too short to be a note
             .midi(4, PrgCh::MIDI_IN, {0xB0, 60, 100})
             .value(5, PrgCh::PROGRAM, 5));              // already armed: nothing new
  EXPECT_EQ(passed(), 128);
  render(EventList().midi(20, PrgCh::MIDI_IN, {0x93, 61, 1}));
  render(2);
  EXPECT_EQ(passed(), 128 + 20);
  EXPECT_TRUE(endsStatic());
  EXPECT_TRUE(silentOtherwise());

  render(EventList().value(7, PrgCh::PROGRAM, 6));
  EXPECT_EQ(passed(), 128 + 20 + 64 - 7) << "armed again by the next change";
}

TEST_F(PrgChTest, OtherModesNeverOpenAWindow) {
  for (int32_t mode : {3, -1}) {
    output.clear();
    start(mode, 1.0f);
    render(EventList().value(3, PrgCh::PROGRAM, 9));
    render(EventList().midi(3, PrgCh::MIDI_IN, {0x90, 60, 100}));
    EXPECT_EQ(passed(), 0) << mode;
    EXPECT_TRUE(silentOtherwise()) << mode;
    EXPECT_TRUE(endsStatic()) << mode;
  }
}

TEST(PrgChGui, CopiesTheSecondPinIntoTheFirstWhenTheyDiffer) {
  TestHost host;
  GuiModule gui(host, MP_TEXT("ZvPrgChange"));
  gui.set(1, int32_t{5});
  gui.set(1, int32_t{5});
  gui.set(0, int32_t{9});
  gui.set(1, int32_t{9});
  gui.set(1, int32_t{-2});
  ASSERT_EQ(host.guiValues.size(), 2u);
  EXPECT_EQ(host.guiValues[0].pin, 0);
  EXPECT_EQ(host.guiValues[0].asInt(), 5);
  EXPECT_EQ(host.guiValues[1].asInt(), -2);
}

}  // namespace
