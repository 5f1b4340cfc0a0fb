#include "modules/control/unison_fix.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "tests/control/unison_exercise.h"
#include "tests/support/module_harness.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Messages = std::vector<Bytes>;

Bytes noteOn(int channel, int key, int velocity = 100) {
  return {static_cast<uint8_t>(0x90 | (channel - 1)), static_cast<uint8_t>(key), static_cast<uint8_t>(velocity)};
}
Bytes noteOff(int channel, int key, int velocity = 64) {
  return {static_cast<uint8_t>(0x80 | (channel - 1)), static_cast<uint8_t>(key), static_cast<uint8_t>(velocity)};
}
// What the spreader sends before a slot plays another key: single note
// change, program 0, pitch in semitone and 1/16384 steps.
Bytes slotTuning(int slot, int semitone, int fraction = 0) {
  return {0xF0, 0x7F, 0x00, 0x08, 0x02, 0x00, 0x01, static_cast<uint8_t>(slot), static_cast<uint8_t>(semitone),
          static_cast<uint8_t>(fraction >> 7), static_cast<uint8_t>(fraction & 0x7F), 0xF7};
}
// Its retune of a slot when the key's tuning changes: with bank 0.
Bytes slotRetune(int slot, int semitone, int fraction = 0) {
  return {0xF0, 0x7F, 0x00, 0x08, 0x07, 0x00, 0x00, 0x01, static_cast<uint8_t>(slot), static_cast<uint8_t>(semitone),
          static_cast<uint8_t>(fraction >> 7), static_cast<uint8_t>(fraction & 0x7F), 0xF7};
}
// A received single note change for one key, sub-identifier 2 or 7.
Bytes tuneKey(uint8_t subId, int key, int semitone, int fraction) {
  Bytes m = {0xF0, 0x7F, 0x01, 0x08, subId};
  if (subId == 7) m.push_back(0x00);
  m.insert(m.end(), {0x00, 0x01, static_cast<uint8_t>(key), static_cast<uint8_t>(semitone),
                     static_cast<uint8_t>(fraction >> 7), static_cast<uint8_t>(fraction & 0x7F), 0xF7});
  return m;
}

struct UnisonFixTest : ::testing::Test {
  TestHost host;
  AudioModule module{host, MP_TEXT("SE Unison Fix")};

  void SetUp() override {
    module.open();
    module.process(64, EventList().graphStart());
  }

  // Plays the messages in one block, 3 samples apart; returns what left.
  Messages play(const Messages& in) {
    host.clearRecords();
    EventList events;
    for (size_t i = 0; i < in.size(); ++i) events.midi(static_cast<int32_t>(3 * i), UnisonFix::MIDI_IN, in[i]);
    module.process(static_cast<int32_t>(3 * in.size() + 1), events);
    Messages out;
    for (const SentValue& v : host.valuesOn(UnisonFix::MIDI_OUT)) {
      EXPECT_EQ(v.position % 3, 0) << "sent at the incoming message's time";
      out.push_back(v.bytes);
    }
    return out;
  }
};

TEST_F(UnisonFixTest, SameKeyOnASecondChannelTakesATunedSlotOfItsOwn) {
  EXPECT_EQ(play({noteOn(1, 60), noteOn(1, 64)}), (Messages{noteOn(1, 60), noteOn(1, 64)}))
      << "channel 1 keys start on their own slots";
  // All released slots are equally old: the lowest, slot 0, plays key 60.
  EXPECT_EQ(play({noteOn(2, 60, 90)}), (Messages{slotTuning(0, 60), noteOn(1, 0, 90)}));
  EXPECT_EQ(play({noteOff(2, 60), noteOff(1, 60)}), (Messages{noteOff(1, 0), noteOff(1, 60)}));
}

TEST_F(UnisonFixTest, RepeatedNoteOnIsDroppedAndAReleasedNoteComesBackWithoutRetuning) {
  play({noteOn(1, 60), noteOn(3, 60)});
  EXPECT_EQ(play({noteOn(3, 60, 50)}), Messages{}) << "already sounding";
  EXPECT_EQ(play({noteOn(3, 60, 0)}), (Messages{noteOff(1, 0, 0)})) << "velocity 0 releases";
  EXPECT_EQ(play({noteOn(3, 60, 70)}), (Messages{noteOn(1, 0, 70)}));
}

TEST_F(UnisonFixTest, ReleasedSlotsAreReusedOldestFirstAndAStolenSlotsNoteOffIsDropped) {
  Messages all;
  for (int k = 0; k < 128; ++k) all.push_back(noteOn(1, k));
  play(all);
  play({noteOff(1, 5), noteOff(1, 3)});
  EXPECT_EQ(play({noteOn(2, 60)}), (Messages{slotTuning(5, 60), noteOn(1, 5)}));
  EXPECT_EQ(play({noteOn(2, 61)}), (Messages{slotTuning(3, 61), noteOn(1, 3)}));
  // Every slot sounds: channel 2's key 62 takes its own mapping, slot 62.
  EXPECT_EQ(play({noteOn(2, 62)}), (Messages{noteOn(1, 62)}));
  EXPECT_EQ(play({noteOff(1, 62), noteOff(1, 5), {0xA1, 60, 33}}), (Messages{{0xA0, 5, 33}}))
      << "the taken notes' releases are dropped; pressure follows the slot";
  EXPECT_EQ(play({noteOff(2, 62)}), (Messages{noteOff(1, 62)}));
}

TEST_F(UnisonFixTest, TuningChangesRetuneEverySlotTheKeyOwns) {
  const Bytes quarterSharp = tuneKey(2, 60, 60, 4096);
  EXPECT_EQ(play({quarterSharp}), (Messages{slotRetune(60, 60, 4096), quarterSharp}))
      << "fresh: channel 1's own slot, then the message passes on";

  play({noteOn(1, 60), noteOn(2, 60)});  // slots 60 and 0
  const Bytes up = tuneKey(2, 60, 61, 0);
  EXPECT_EQ(play({up}), (Messages{slotRetune(60, 61), slotRetune(0, 61), up}));

  const Bytes withBank = tuneKey(7, 60, 59, 0);
  EXPECT_EQ(play({withBank}), (Messages{withBank})) << "with bank: the table only";
  play({noteOn(4, 60)});
  EXPECT_EQ(host.valuesOn(UnisonFix::MIDI_OUT).front().bytes, slotTuning(1, 59)) << "the table did change";
}

TEST_F(UnisonFixTest, BrokenNoteMessagesAreDroppedOthersPassUnchanged) {
  const Messages dropped = {{0x9F, 0xFF, 0x40}, {0x90, 60}, {0x90}, {0x90, 60, 0x80}, {0x8F, 0x80, 0}, {0xA0, 60}};
  for (const Bytes& m : dropped) EXPECT_EQ(play({m}), Messages{}) << int(m[0]) << " size " << m.size();

  const Messages passed = {{0xB3, 7, 100}, {0xC5, 9}, {0xE1, 0, 64}, {0xD2, 20}, {0xF8}, {0xF0, 0x43, 0x12, 0xF7}};
  for (const Bytes& m : passed) EXPECT_EQ(play({m}), Messages{m}) << int(m[0]);
}

// Stand-alone spreader for the checks below.
class Spreader : public zv::control::UnisonSlots {
 public:
  Messages sent;
  using UnisonSlots::setReleaseCount;
  void in(const Bytes& m) { receive(m.data(), m.size()); }

 protected:
  void emit(const uint8_t* m, size_t size) override { sent.emplace_back(m, m + size); }
};

TEST(UnisonSlots, ReleaseStampsPastTwoToTheThirtyOneStayReleased) {
  Spreader s;
  s.setReleaseCount(std::numeric_limits<int32_t>::max() - 1);
  for (int k : {60, 61, 62}) s.in(noteOn(1, k)), s.in(noteOff(1, k));
  EXPECT_LT(s.slotAge(60), s.slotAge(61));
  EXPECT_LT(s.slotAge(61), s.slotAge(62)) << "the count does not wrap";
  s.sent.clear();
  s.in(noteOn(1, 61));
  EXPECT_EQ(s.sent, (Messages{noteOn(1, 61)})) << "a slot released at stamp 2^31 - 1 is not sounding";
  s.in(noteOn(2, 70));
  EXPECT_EQ(s.sent.back(), noteOn(1, 0)) << "fresh slots are older than both stamps";
}

// A bounded run of the fuzz target's exercise on streams that mostly hold
// plausible messages: notes on a few keys and channels, the four tuning
// kinds, cut or garbled variants and stray bytes.
TEST(UnisonSlots, RandomMessageStreamsKeepEveryCheck) {
  std::mt19937 random(12345);
  auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
  for (int run = 0; run < 200; ++run) {
    Bytes stream;
    for (int m = 0; m < 300; ++m) {
      Bytes msg;
      const int kind = pick(10);
      if (kind < 6) {
        const uint8_t statuses[] = {0x80, 0x90, 0x90, 0x90, 0xA0};
        msg = {static_cast<uint8_t>(statuses[pick(5)] | pick(4)), static_cast<uint8_t>(58 + pick(6)),
               static_cast<uint8_t>(pick(3) == 0 ? 0 : 1 + pick(127))};
      } else if (kind < 9) {
        const uint8_t subIds[] = {1, 2, 4, 7};
        const uint8_t subId = subIds[pick(4)];
        msg = {0xF0, static_cast<uint8_t>(pick(2) ? 0x7F : 0x7E), 0x00, 0x08, subId, 0x00};
        const bool dump = subId == 1 || subId == 4;
        const int header = subId == 1 ? 22 : (subId == 4 ? 23 : (subId == 7 ? 8 : 7));
        while (static_cast<int>(msg.size()) < header) msg.push_back(static_cast<uint8_t>(pick(128)));
        if (!dump) msg[static_cast<size_t>(header - 1)] = static_cast<uint8_t>(1 + pick(4));
        const int entries = dump ? 128 : msg[static_cast<size_t>(header - 1)];
        for (int e = 0; e < entries; ++e) {
          if (!dump) msg.push_back(static_cast<uint8_t>(58 + pick(6)));
          msg.insert(msg.end(), {static_cast<uint8_t>(50 + pick(20)), static_cast<uint8_t>(pick(128)),
                                 static_cast<uint8_t>(pick(128))});
        }
        msg.push_back(0xF7);
      } else {
        for (int n = pick(5); n > 0; --n) msg.push_back(static_cast<uint8_t>(random()));
      }
      if (pick(8) == 0 && !msg.empty()) msg.resize(static_cast<size_t>(pick(static_cast<int>(msg.size()))));
      if (pick(16) == 0 && !msg.empty()) msg[static_cast<size_t>(pick(static_cast<int>(msg.size())))] |= 0x80;
      // The exercise's framing: a length code, then the bytes.
      const size_t n = msg.size();
      const uint8_t code = n < 24 ? static_cast<uint8_t>(n) : static_cast<uint8_t>(0xC0 + (n - 24 + 7) / 8);
      const size_t framed = code < 0xC0 ? n : 24 + static_cast<size_t>(code - 0xC0) * 8;
      msg.resize(framed, 0xF7);
      stream.push_back(code);
      stream.insert(stream.end(), msg.begin(), msg.end());
    }
    ASSERT_EQ(fuzzing::exerciseUnison(stream.data(), stream.size()), "") << "run " << run;
  }
}

}  // namespace
