#include <gtest/gtest.h>

#include <initializer_list>
#include <memory>
#include <utility>

#include "modules/control/zvmod_cs.h"
#include "tests/control/midi_test_support.h"
#include "tests/support/module_harness.h"

namespace {

using miditest::allOff;
using miditest::Bytes;
using miditest::Messages;
using zv::control::VoiceTable;

Bytes on(int32_t note, int32_t channel = 0, int32_t velocity = 100) {
  return {static_cast<uint8_t>(0x90 | channel), static_cast<uint8_t>(note), static_cast<uint8_t>(velocity)};
}
Bytes off(int32_t note, int32_t channel = 0, int32_t velocity = 0) {
  return {static_cast<uint8_t>(0x80 | channel), static_cast<uint8_t>(note), static_cast<uint8_t>(velocity)};
}
// A note-on of velocity 0, as a steal sends it.
Bytes stolen(int32_t note, int32_t channel = 0) { return on(note, channel, 0); }

struct Settings {
  int32_t mode = 0;
  int32_t voices = 2;
  int32_t robin = 0;
  int32_t steal = 0;
  int32_t channel = -1;
  int32_t voiceLow = 0, voiceHigh = 127;
  int32_t splitLow = 1, splitHigh = 0;  // empty
  int32_t on = 1;
};

struct Allocator {
  TestHost host;
  AudioModule module{host, MP_TEXT("ZV-MOD CS")};
  int32_t time = 0;

  explicit Allocator(const Settings& s) {
    module.open();
    EventList e;
    e.value(0, ZvmodCS::ALLOCATION_MODE, s.mode).value(0, ZvmodCS::VOICES, s.voices);
    e.value(0, ZvmodCS::ROUND_ROBIN, s.robin).value(0, ZvmodCS::STEAL_MODE, s.steal);
    e.value(0, ZvmodCS::ON, s.on).value(0, ZvmodCS::CHANNEL, s.channel);
    e.value(0, ZvmodCS::VOICE_LOW, s.voiceLow).value(0, ZvmodCS::VOICE_HIGH, s.voiceHigh);
    e.value(0, ZvmodCS::SPLIT_LOW, s.splitLow).value(0, ZvmodCS::SPLIT_HIGH, s.splitHigh);
    module.process(64, e);
    EXPECT_TRUE(host.values.empty()) << "the first settings end no notes";
  }
  void play(const Messages& messages) {
    host.clearRecords();
    for (const auto& m : messages) {
      const size_t seen = host.values.size();
      const int32_t at = ++time % 64;
      module.process(64, EventList().midi(at, ZvmodCS::MIDI_IN, m));
      for (size_t i = seen; i < host.values.size(); ++i) {
        EXPECT_EQ(host.values[i].bytes.size(), 3u);
        EXPECT_EQ(host.values[i].position, at);
      }
    }
  }
  void set(std::initializer_list<std::pair<int32_t, int32_t>> pins) {
    host.clearRecords();
    EventList e;
    for (auto [pin, value] : pins) e.value(++time % 64, pin, value);
    module.process(64, e);
  }
  Messages voice() const { return miditest::sentOn(host, ZvmodCS::VOICE_OUT); }
  Messages split() const { return miditest::sentOn(host, ZvmodCS::SPLIT_OUT); }
};

Settings voicesAndSteal(int32_t voices, int32_t steal) {
  Settings s;
  s.voices = voices;
  s.steal = steal;
  return s;
}

TEST(ZvmodCS, AllocatesStealsAndReleases) {
  struct Scenario {
    const char* what;
    Settings settings;
    Messages in;
    Messages voice;
  };
  Settings overlapping;
  overlapping.voiceHigh = 64;
  overlapping.splitLow = 60;
  overlapping.splitHigh = 127;
  const Scenario scenarios[] = {
      {"all busy: the note is dropped, and so is its note-off",
       voicesAndSteal(2, 0),
       {on(60), on(62), on(64), off(64), off(60)},
       {on(60), on(62), off(60)}},
      {"steal the newest",
       voicesAndSteal(2, 2),
       {on(60), on(62), on(64)},
       {on(60), on(62), stolen(62), on(64)}},
      {"steal the oldest, one after the other",
       voicesAndSteal(2, 1),
       {on(60), on(62), on(64), on(65)},
       {on(60), on(62), stolen(60), on(64), stolen(62), on(65)}},
      {"oldest still known after a release",
       voicesAndSteal(3, 1),
       {on(60), on(62), on(64), off(62), on(65), on(67), on(69)},
       {on(60), on(62), on(64), off(62), on(65), stolen(60), on(67), stolen(64), on(69)}},
      {"newest still known after a release",
       voicesAndSteal(3, 2),
       {on(60), on(62), on(64), off(60), on(65), on(67), on(69)},
       {on(60), on(62), on(64), off(60), on(65), stolen(65), on(67), stolen(67), on(69)}},
      {"a steal ends the note on its own channel",
       voicesAndSteal(1, 1),
       {on(60, 3), on(62, 5), off(62, 5)},
       {on(60, 3), stolen(60, 3), on(62, 5), off(62, 5)}},
      {"a note-off ends the voice of its channel",
       voicesAndSteal(2, 0),
       {on(60, 1), on(60, 2), off(60, 2, 64), off(60, 1)},
       {on(60, 1), on(60, 2), off(60, 2, 64), off(60, 1)}},
      {"a note-on of velocity 0 releases",
       voicesAndSteal(1, 0),
       {on(60), stolen(60), on(61)},
       {on(60), stolen(60), on(61)}},
      {"only the voice range is allocated",
       overlapping,
       {on(40), on(62), on(70), off(70), off(62)},
       {on(40), on(62), off(62)}},
      {"Voices below 1 is one voice", voicesAndSteal(0, 0), {on(60), on(62)}, {on(60)}},
      {"Voices above 8 is eight voices",
       voicesAndSteal(100, 0),
       {on(1), on(2), on(3), on(4), on(5), on(6), on(7), on(8), on(9)},
       {on(1), on(2), on(3), on(4), on(5), on(6), on(7), on(8)}},
  };
  for (const auto& s : scenarios) {
    SCOPED_TRACE(s.what);
    Allocator a(s.settings);
    a.play(s.in);
    EXPECT_EQ(a.voice(), s.voice);
  }
}

TEST(ZvmodCS, SplitRangeIsForwardedUnchanged) {
  Settings s;
  s.voiceHigh = 64;
  s.splitLow = 60;
  s.splitHigh = 127;
  Allocator a(s);
  a.play({on(40, 2), on(62, 2), on(70, 9, 33), off(70, 9, 12), stolen(62, 2)});
  EXPECT_EQ(a.split(), Messages({on(62, 2), on(70, 9, 33), off(70, 9, 12), stolen(62, 2)}));
  EXPECT_EQ(a.voice(), Messages({on(40, 2), on(62, 2), stolen(62, 2)})) << "62 is in both ranges";
}

TEST(ZvmodCS, LayerModeCopiesNotesOntoUpToThreeChannels) {
  for (int32_t voices : {8, 3, 2, 1}) {
    SCOPED_TRACE(voices);
    Settings s;
    s.mode = 1;
    s.voices = voices;
    Allocator a(s);
    a.play({on(60, 5), off(60, 5, 7), {0xB5, 1, 64}, {0xC5, 3, 0}});
    Messages expected;
    for (int32_t c = 0; c < std::min(voices, 3); ++c) expected.push_back(on(60, c));
    for (int32_t c = 0; c < std::min(voices, 3); ++c) expected.push_back(off(60, c, 7));
    EXPECT_EQ(a.voice(), expected);
    EXPECT_EQ(a.split(), Messages({on(60, 5), off(60, 5, 7)}));
  }
}

TEST(ZvmodCS, IgnoresWhatIsNotACompleteNoteOrController) {
  for (int32_t mode : {0, 1}) {
    SCOPED_TRACE(mode);
    Settings s;
    s.mode = mode;
    s.splitLow = 0;
    s.splitHigh = 127;
    Allocator a(s);
    a.play({{0x90, 60}, {0x90, 60, 100, 0}, {0x90}, {}, {0x90, 0x80, 100}, {0x90, 60, 0xFF}, {0x3C, 0x64, 0x10},
            {0xB0, 123}, {0xF8, 0, 0}, {0xE0, 0, 64}});
    EXPECT_TRUE(a.host.values.empty());
  }
  Settings off;
  off.on = 0;
  Allocator a(off);
  a.play({on(60), {0xB0, 123, 0}});
  EXPECT_TRUE(a.host.values.empty()) << "On 0 ignores everything";
}

TEST(ZvmodCS, ChannelSelectsTheMessagesHandled) {
  Settings s;
  s.channel = 3;
  Allocator a(s);
  a.play({on(60, 4), {0xB4, 123, 0}, on(61, 3)});
  EXPECT_EQ(a.voice(), Messages({on(61, 3)}));
  EXPECT_TRUE(a.split().empty());
}

TEST(ZvmodCS, AllNotesOffEndsEveryVoiceAndFreesThem) {
  Allocator a(voicesAndSteal(8, 0));
  a.play({on(60, 0), on(62, 5), on(63), on(64), on(65), on(66), on(67), on(68), {0xB5, 123, 0}});
  const Messages held = a.voice();
  ASSERT_EQ(held.size(), 8u + 8u + 1u);
  EXPECT_EQ(held[8], off(60, 0));
  EXPECT_EQ(held[9], off(62, 5));
  EXPECT_EQ(held[16], allOff(5));
  EXPECT_EQ(a.split(), Messages({allOff(5)}));
  // All eight free again, the last two included.
  a.play({on(70), on(71), on(72), on(73), on(74), on(75), on(76), on(77)});
  EXPECT_EQ(a.voice().size(), 8u);
}

TEST(ZvmodCS, ChangingASettingEndsTheNotesItLetThrough) {
  Settings s;
  s.voiceHigh = 59;
  s.splitLow = 60;
  s.splitHigh = 127;
  Allocator a(s);
  a.play({on(40, 2), on(41, 4), on(70, 9), off(41, 4)});
  a.set({{ZvmodCS::SPARE, 1}});
  EXPECT_EQ(a.voice(), Messages({off(40, 2), allOff(0), allOff(2), allOff(4)}));
  EXPECT_EQ(a.split(), Messages({allOff(0), allOff(9)}));

  a.set({{ZvmodCS::SPARE_2, 1}});
  EXPECT_EQ(a.voice(), Messages({allOff(0)})) << "nothing sounded since";

  // On leaving 1 for any value blocks the note-offs that would follow.
  a.play({on(42, 1)});
  a.set({{ZvmodCS::ON, 2}});
  EXPECT_EQ(a.voice(), Messages({off(42, 1), allOff(0), allOff(1)}));
  a.set({{ZvmodCS::ON, 1}});
  EXPECT_TRUE(a.host.values.empty()) << "switching on ends nothing";
}

TEST(VoiceTable, FreeVoiceSearchAndArrivalOrder) {
  VoiceTable t;
  EXPECT_EQ(t.firstFree(3, 0), 0);
  t.start(0, 60, 0);
  t.start(1, 62, 0);
  EXPECT_EQ(t.firstFree(3, 0), 2);
  EXPECT_EQ(t.firstFree(3, 3), 2) << "from past the end: the first free one";
  t.start(2, 64, 0);
  EXPECT_EQ(t.firstFree(3, 0), -1);
  EXPECT_EQ(t.firstFree(4, 0), 3) << "only the first `count` voices are searched";

  t.free(1);
  EXPECT_EQ(t.firstFree(3, 2), 1) << "round robin wraps to the first free voice";
  EXPECT_EQ(t.withAge(1), 0);
  EXPECT_EQ(t.withAge(2), 2) << "the younger voice moved up";
  EXPECT_EQ(t.withAge(3), -1);
  t.start(1, 65, 0);
  EXPECT_EQ(t.withAge(3), 1);
  EXPECT_EQ(t.find(3, 65, 0), 1);
  EXPECT_EQ(t.find(3, 65, 1), -1) << "another channel's note";
}

}  // namespace
