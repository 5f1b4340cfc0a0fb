#include <gtest/gtest.h>

#include "modules/control/midi_on_off.h"
#include "tests/control/midi_test_support.h"
#include "tests/support/module_harness.h"

namespace {

using miditest::allOff;
using miditest::Bytes;
using miditest::Messages;

struct MidiOnOffTest : ::testing::Test {
  TestHost host;
  AudioModule module{host, MP_TEXT("zv midi on off")};
  int32_t time = 0;

  void SetUp() override { module.open(); }
  Messages set(int32_t channel, int32_t on) {
    host.clearRecords();
    ++time;
    module.process(64, EventList().value(time, MidiOnOff::CHANNEL, channel).value(time, MidiOnOff::ON, on));
    return miditest::sentOn(host, MidiOnOff::MIDI_OUT);
  }
  Messages setOn(int32_t on) {
    host.clearRecords();
    module.process(64, EventList().value(++time, MidiOnOff::ON, on));
    return miditest::sentOn(host, MidiOnOff::MIDI_OUT);
  }
  Messages pass(const Bytes& message) {
    host.clearRecords();
    module.process(64, EventList().midi(9, MidiOnOff::MIDI_IN, message));
    return miditest::sentOn(host, MidiOnOff::MIDI_OUT);
  }
};

Messages allSixteen() {
  Messages out;
  for (int32_t c = 0; c < 16; ++c) out.push_back(allOff(c));
  return out;
}

TEST_F(MidiOnOffTest, PassesWhileOnAndMovesChannelMessagesOnly) {
  EXPECT_TRUE(set(-1, 1).empty()) << "the first values are only recorded";
  EXPECT_EQ(pass({0x95, 0x3C, 0x64}), Messages({{0x95, 0x3C, 0x64}}));
  EXPECT_TRUE(pass({}).empty());

  set(2, 1);
  EXPECT_EQ(pass({0x95, 0x3C, 0x64}), Messages({{0x92, 0x3C, 0x64}}));
  EXPECT_EQ(pass({0xD9, 0x40}), Messages({{0xD2, 0x40}}));
  EXPECT_EQ(pass({0xF8}), Messages({{0xF8}})) << "F8 must not become F2";

  set(16, 1);
  EXPECT_EQ(pass({0x95, 0x3C, 0x64}), Messages({{0x95, 0x3C, 0x64}})) << "out of range keeps the channel";

  for (int32_t off : {0, 2, -1}) {
    setOn(off);
    EXPECT_TRUE(pass({0x95, 0x3C, 0x64}).empty()) << off;
  }
}

TEST_F(MidiOnOffTest, SwitchingOffEndsTheNotesOfTheChannelInUse) {
  set(-1, 1);
  EXPECT_EQ(setOn(0), allSixteen()) << "no channel set: every channel, in order";
  EXPECT_TRUE(setOn(1).empty());
  EXPECT_EQ(setOn(2), allSixteen()) << "any value but 1 blocks, so it ends the notes too";
  EXPECT_TRUE(setOn(0).empty()) << "already off";
  EXPECT_TRUE(setOn(1).empty());

  EXPECT_EQ(set(3, 1), allSixteen()) << "leaving 'no channel' ends them all";
  EXPECT_EQ(set(4, 1), Messages({allOff(3)}));
  EXPECT_TRUE(set(4, 1).empty()) << "the same channel again";
  EXPECT_EQ(setOn(0), Messages({allOff(4)}));
  EXPECT_EQ(set(40, 1), Messages({allOff(4)}));
  EXPECT_TRUE(set(-1, 1).empty()) << "40 already meant no channel";
  for (const auto& v : host.values) EXPECT_EQ(v.position, time);
}

}  // namespace
