#include <gtest/gtest.h>

#include <initializer_list>
#include <utility>

#include "modules/control/zvmod_cs.h"
#include "tests/control/midi_test_support.h"
#include "tests/support/module_harness.h"

namespace {

using miditest::allOff;
using miditest::Bytes;
using miditest::Messages;

Bytes on(int note, int channel = 0, int velocity = 100) {
  return {uint8_t(0x90 | channel), uint8_t(note), uint8_t(velocity)};
}
Bytes off(int note, int channel = 0, int velocity = 0) {
  return {uint8_t(0x80 | channel), uint8_t(note), uint8_t(velocity)};
}
// A steal ends a voice with a note-on of velocity 0.
Bytes stolen(int note, int channel = 0) { return on(note, channel, 0); }

struct Settings {
  int32_t mode = 0, voices = 2, robin = 0, steal = 0, on = 1, channel = -1;
  int32_t voiceLow = 0, voiceHigh = 127, splitLow = 1, splitHigh = 0;  // no split
};

struct Allocator {
  TestHost host;
  AudioModule module{host, MP_TEXT("ZV-MOD CS")};
  int32_t time = 0;

  explicit Allocator(const Settings& s) {
    module.open();
    set({{ZvmodCS::ALLOCATION_MODE, s.mode},
         {ZvmodCS::VOICES, s.voices},
         {ZvmodCS::ROUND_ROBIN, s.robin},
         {ZvmodCS::STEAL_MODE, s.steal},
         {ZvmodCS::ON, s.on},
         {ZvmodCS::CHANNEL, s.channel},
         {ZvmodCS::VOICE_LOW, s.voiceLow},
         {ZvmodCS::VOICE_HIGH, s.voiceHigh},
         {ZvmodCS::SPLIT_LOW, s.splitLow},
         {ZvmodCS::SPLIT_HIGH, s.splitHigh}});
    EXPECT_TRUE(host.values.empty()) << "the first settings end no notes";
  }
  void set(std::initializer_list<std::pair<int32_t, int32_t>> pins) {
    host.clearRecords();
    EventList e;
    for (auto [pin, value] : pins) e.value(time % 64, pin, value);
    module.process(64, e);
  }
  // Each message in a block of its own; everything sent is three bytes at its time.
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
  Messages voice() const { return miditest::sentOn(host, ZvmodCS::VOICE_OUT); }
  Messages split() const { return miditest::sentOn(host, ZvmodCS::SPLIT_OUT); }
};

TEST(ZvmodCS, AllocatesSplitsAndLayersNotes) {
  struct Scenario {
    const char* what;
    Settings settings;
    Messages in, voice, split;
  };
  const Messages eightNotes = {on(60), on(62, 5), on(63), on(64), on(65), on(66), on(67), on(68)};
  Messages eightAndAllOff = eightNotes;
  for (const auto& m : {off(60), off(62, 5), off(63), off(64), off(65), off(66), off(67), off(68), allOff(5)}) {
    eightAndAllOff.push_back(m);
  }
  Messages afterAllOff = eightNotes;
  afterAllOff.push_back({0xB5, 123, 0});
  afterAllOff.insert(afterAllOff.end(), eightNotes.begin(), eightNotes.end());
  eightAndAllOff.insert(eightAndAllOff.end(), eightNotes.begin(), eightNotes.end());
  Messages nineNotes = eightNotes;
  nineNotes.push_back(on(1));
  const Messages malformed = {{0x90, 60},         {0x90, 60, 100, 0}, {0x90},       {},           {0x90, 0x80, 100},
                              {0x3C, 0x64, 0x10}, {0xB0, 123},        {0xF8, 0, 0}, {0xE0, 0, 64}};

  const Scenario scenarios[] = {
      {"all busy: the note and its note-off are dropped",
       {.steal = 0},
       {on(60), on(62), on(64), off(64), off(60)},
       {on(60), on(62), off(60)},
       {}},
      {"steal the newest", {.steal = 2}, {on(60), on(62), on(64)}, {on(60), on(62), stolen(62), on(64)}, {}},
      {"steal the oldest, one after the other",
       {.steal = 1},
       {on(60), on(62), on(64), on(65)},
       {on(60), on(62), stolen(60), on(64), stolen(62), on(65)},
       {}},
      {"oldest still known after a release",
       {.voices = 3, .steal = 1},
       {on(60), on(62), on(64), off(62), on(65), on(67), on(69)},
       {on(60), on(62), on(64), off(62), on(65), stolen(60), on(67), stolen(64), on(69)},
       {}},
      {"newest still known after a release",
       {.voices = 3, .steal = 2},
       {on(60), on(62), on(64), off(60), on(65), on(67), on(69)},
       {on(60), on(62), on(64), off(60), on(65), stolen(65), on(67), stolen(67), on(69)},
       {}},
      {"a steal ends the note on its own channel",
       {.voices = 1, .steal = 1},
       {on(60, 3), on(62, 5)},
       {on(60, 3), stolen(60, 3), on(62, 5)},
       {}},
      {"a note-off ends the voice of its own channel",
       {},
       {on(60, 1), on(60, 2), off(60, 2, 64), stolen(60, 1)},
       {on(60, 1), on(60, 2), off(60, 2, 64), stolen(60, 1)},
       {}},
      // Voice 2 is still busy when the robin reaches it: the search wraps to voice 0.
      {"round robin wraps to the first free voice",
       {.voices = 3, .robin = 1},
       {on(60), on(62), on(64), off(60), off(62), on(65), on(67), off(65), on(69)},
       {on(60), on(62), on(64), off(60), off(62), on(65), on(67), off(65), on(69)},
       {}},
      {"Voices below 1 is one voice", {.voices = 0}, {on(60), on(62)}, {on(60)}, {}},
      {"Voices above 8 is eight voices", {.voices = 100}, nineNotes, eightNotes, {}},
      {"split range forwarded unchanged; 62 is in both",
       {.voiceHigh = 64, .splitLow = 60, .splitHigh = 127},
       {on(40, 2), on(62, 2), on(70, 9, 33), off(70, 9, 12), stolen(62, 2)},
       {on(40, 2), on(62, 2), stolen(62, 2)},
       {on(62, 2), on(70, 9, 33), off(70, 9, 12), stolen(62, 2)}},
      {"layer: three copies at most",
       {.mode = 1, .voices = 8},
       {on(60, 5), off(60, 5, 7), {0xB5, 1, 64}},
       {on(60, 0), on(60, 1), on(60, 2), off(60, 0, 7), off(60, 1, 7), off(60, 2, 7)},
       {on(60, 5), off(60, 5, 7)}},
      {"layer: as many copies as voices below 4",
       {.mode = 1, .voices = 2},
       {on(60, 5)},
       {on(60, 0), on(60, 1)},
       {on(60, 5)}},
      {"incomplete or malformed messages", {.splitLow = 0, .splitHigh = 127}, malformed, {}, {}},
      {"incomplete or malformed messages in layer mode", {.mode = 1}, malformed, {}, {}},
      {"On other than 1 ignores everything", {.on = 2}, {on(60), {0xB0, 123, 0}}, {}, {}},
      {"only the chosen channel", {.channel = 3}, {on(60, 4), {0xB4, 123, 0}, on(61, 3)}, {on(61, 3)}, {}},
      {"a Channel outside 0..15 matches no message", {.channel = 16}, {on(60), on(61, 15), {0xB0, 123, 0}}, {}, {}},
      {"nor does one below -1", {.channel = -2}, {on(60), {0xB0, 123, 0}}, {}, {}},
      {"all-notes-off ends and frees all eight voices", {.voices = 8}, afterAllOff, eightAndAllOff, {allOff(5)}},
  };
  for (const auto& s : scenarios) {
    SCOPED_TRACE(s.what);
    Allocator a(s.settings);
    a.play(s.in);
    EXPECT_EQ(a.voice(), s.voice);
    EXPECT_EQ(a.split(), s.split);
  }
}

TEST(ZvmodCS, ChangingASettingEndsTheNotesItLetThrough) {
  Allocator a({.voiceHigh = 59, .splitLow = 60, .splitHigh = 127});
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

}  // namespace
