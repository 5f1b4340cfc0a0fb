#include <gtest/gtest.h>

#include "modules/control/midi_all_off.h"
#include "tests/control/midi_test_support.h"
#include "tests/support/module_harness.h"

namespace {

using miditest::allOff;
using miditest::Bytes;
using miditest::Messages;

struct Rewrite {
  const char* what;
  int32_t channel;
  Bytes in;
  Messages out;
};

const Rewrite kRewrites[] = {
    {"note on moves", 2, {0x95, 0x3C, 0x64}, {{0x92, 0x3C, 0x64}}},
    {"controller", 0, {0xB4, 0x07, 0x64}, {{0xB0, 0x07, 0x64}}},
    {"two-byte program change keeps its length", 2, {0xC7, 0x05}, {{0xC2, 0x05}}},
    {"pitch bend to the last channel", 15, {0xE0, 0x00, 0x40}, {{0xEF, 0x00, 0x40}}},
    {"running status: only the status byte", 2, {0x90, 0x3C, 0x64, 0x3E, 0x64}, {{0x92, 0x3C, 0x64, 0x3E, 0x64}}},
    {"a lone status byte", 0, {0x8F}, {{0x80}}},
    {"clock is a system message", 2, {0xF8}, {{0xF8}}},
    {"system exclusive",
     2,
     {0xF0, 0x7E, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0xF7},
     {{0xF0, 0x7E, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0xF7}}},
    {"data byte first", 2, {0x3C, 0x64}, {{0x3C, 0x64}}},
    {"empty message", 2, {}, {}},
    {"without a channel nothing passes", -1, {0x90, 0x3C, 0x64}, {}},
    {"a channel out of range is none", 16, {0x90, 0x3C, 0x64}, {}},
    {"a channel message too long to copy", 3, Bytes(300, 0x91), {}},
};

TEST(MidiAllOff, RewritesTheChannelOfChannelMessagesOnly) {
  for (const auto& r : kRewrites) {
    SCOPED_TRACE(r.what);
    TestHost host;
    AudioModule module(host, MP_TEXT("zv midi all off"));
    module.open();
    module.process(64, EventList().value(0, MidiAllOff::CHANNEL, r.channel).midi(5, MidiAllOff::MIDI_IN, r.in));
    EXPECT_EQ(miditest::sentOn(host, MidiAllOff::MIDI_OUT), r.out);
    for (const auto& v : host.values) EXPECT_EQ(v.position, 5);
  }
}

TEST(MidiAllOff, EndsTheNotesOfTheChannelItLeaves) {
  struct Step {
    int32_t channel;
    Messages sent;
  };
  // The first value is only recorded; channels outside 0..15 mean none,
  // which has no notes to end.
  const Step steps[] = {{3, {}},           {5, {allOff(3)}}, {5, {}}, {-1, {allOff(5)}}, {7, {}},
                        {20, {allOff(7)}}, {-5, {}},         {0, {}}, {15, {allOff(0)}}};
  TestHost host;
  AudioModule module(host, MP_TEXT("zv midi all off"));
  module.open();
  int32_t time = 0;
  for (const auto& step : steps) {
    host.clearRecords();
    module.process(64, EventList().value(++time, MidiAllOff::CHANNEL, step.channel));
    EXPECT_EQ(miditest::sentOn(host, MidiAllOff::MIDI_OUT), step.sent) << "to " << step.channel;
    for (const auto& v : host.values) EXPECT_EQ(v.position, time);
  }
}

}  // namespace
