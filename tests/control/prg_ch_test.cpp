#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <vector>

#include "modules/control/prg_ch.h"
#include "tests/support/module_harness.h"

namespace {

constexpr float kSignal = 0.75f;

// One module at 44.1 kHz with a constant Signal and Duration; keeps every
// output sample.
struct PrgRun {
  TestHost host;
  AudioModule module{host, MP_TEXT("ZvPrgChange")};
  std::vector<float> out;

  PrgRun(int32_t mode, float duration) {
    module.fill(PrgCh::SIGNAL, kSignal);
    module.fill(PrgCh::DURATION, duration);
    module.fill(PrgCh::OUTPUT, std::numeric_limits<float>::quiet_NaN());
    module.open();
    block(EventList().graphStart().value(0, PrgCh::MODE, mode).value(0, PrgCh::PROGRAM, 0));
  }
  void block(EventList& events) {
    module.process(64, events);
    out.insert(out.end(), module.audio(PrgCh::OUTPUT), module.audio(PrgCh::OUTPUT) + 64);
  }
  void blocks(int n) {
    for (EventList none; n-- > 0;) block(none);
  }
  int64_t passed() const { return std::count(out.begin(), out.end(), kSignal); }
  int64_t first() const { return std::find(out.begin(), out.end(), kSignal) - out.begin(); }
  bool zeroElsewhere() const { return passed() + std::count(out.begin(), out.end(), 0.0f) == int64_t(out.size()); }
  bool endsStatic() const { return !host.streamingOn(PrgCh::OUTPUT).back().streaming; }
};

TEST(PrgCh, WindowAfterAProgramChangeLastsDurationTimesTenMilliseconds) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  // 0.5 × 441 = 220.5 samples: whole samples only. Duration 1e7 is 4.4e9
  // samples, beyond int: it passes for all 20 blocks.
  const std::pair<float, int64_t> cases[] = {{0.5f, 220}, {1.0f, 441}, {0.0f, 0},
                                             {-3.0f, 0},  {nan, 0},    {1e7f, 20 * 64 - 100}};
  for (const auto& [duration, samples] : cases) {
    SCOPED_TRACE(duration);
    PrgRun run(PrgCh::WINDOW_AFTER_CHANGE, duration);
    run.block(EventList().value(36, PrgCh::PROGRAM, 7));  // at 100; none at start-up in this mode
    run.blocks(18);
    EXPECT_EQ(run.passed(), samples);
    EXPECT_EQ(run.first(), samples > 0 ? 100 : 20 * 64);
    EXPECT_TRUE(run.zeroElsewhere());
    EXPECT_EQ(run.endsStatic(), samples < 1000) << "silent and static after the window";
  }
}

TEST(PrgCh, ModesOpenWindowsAtTheirOwnTimes) {
  PrgRun atStart(PrgCh::WINDOW_AT_START, 1.0f);
  atStart.blocks(8);
  atStart.block(EventList().value(10, PrgCh::PROGRAM, 3));
  atStart.blocks(8);
  EXPECT_EQ(atStart.passed(), 441) << "one window when opened, none after a change";
  EXPECT_EQ(atStart.first(), 0);

  PrgRun untilNote(PrgCh::UNTIL_NOTE, 1.0f);
  untilNote.block(EventList().value(0, PrgCh::PROGRAM, 4));
  untilNote.block(EventList()
                      .midi(1, PrgCh::MIDI_IN, {0x90, 60, 0})  // velocity 0 is a note-off
                      .midi(2, PrgCh::MIDI_IN, {0x80, 60, 100})
                      .midi(3, PrgCh::MIDI_IN, {0x90, 60})  // too short to be a note
                      .value(5, PrgCh::PROGRAM, 5));        // armed already: nothing new
  untilNote.block(EventList().midi(20, PrgCh::MIDI_IN, {0x93, 61, 1}));
  untilNote.blocks(2);
  EXPECT_EQ(untilNote.passed(), 64 + 64 + 20);
  EXPECT_EQ(untilNote.first(), 64);
  EXPECT_TRUE(untilNote.endsStatic());
  untilNote.block(EventList().value(7, PrgCh::PROGRAM, 6));
  EXPECT_EQ(untilNote.passed(), 64 + 64 + 20 + 57) << "armed again by the next change";

  for (int32_t mode : {3, -1}) {
    PrgRun never(mode, 1.0f);
    never.block(EventList().value(3, PrgCh::PROGRAM, 9).midi(4, PrgCh::MIDI_IN, {0x90, 60, 100}));
    EXPECT_EQ(never.passed(), 0) << mode;
    EXPECT_TRUE(never.zeroElsewhere() && never.endsStatic()) << mode;
  }
}

TEST(PrgChGui, CopiesTheSecondPinIntoTheFirstWhenTheyDiffer) {
  TestHost host;
  GuiModule gui(host, MP_TEXT("ZvPrgChange"));
  for (auto [pin, value] : {std::pair{1, 5}, {1, 5}, {0, 9}, {1, 9}, {1, -2}}) gui.set(pin, int32_t{value});
  ASSERT_EQ(host.guiValues.size(), 2u);
  EXPECT_EQ(host.guiValues[0].pin, 0);
  EXPECT_EQ(host.guiValues[0].asInt(), 5);
  EXPECT_EQ(host.guiValues[1].asInt(), -2);
}

}  // namespace
