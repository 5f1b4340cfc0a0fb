#include "modules/control/unison_fix.h"

#include <gtest/gtest.h>

#include <limits>
#include <random>
#include <vector>

#include "tests/control/unison_exercise.h"
#include "tests/support/module_harness.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Messages = std::vector<Bytes>;

Bytes on(int channel, int key, int velocity = 100) {
  return {uint8_t(0x8F + channel), uint8_t(key), uint8_t(velocity)};
}
Bytes off(int channel, int key) { return {uint8_t(0x7F + channel), uint8_t(key), 64}; }
// Single note change, program 0: sub-identifier 2, or 7 with bank 0.
Bytes tuning(uint8_t subId, int key, int semitone, int fraction = 0, uint8_t device = 0) {
  Bytes m = {0xF0, 0x7F, device, 0x08, subId, 0x00, 0x01};
  if (subId == 7) m.insert(m.begin() + 6, 0x00);
  m.insert(m.end(), {uint8_t(key), uint8_t(semitone), uint8_t(fraction >> 7), uint8_t(fraction & 0x7F), 0xF7});
  return m;
}

struct UnisonFixTest : ::testing::Test {
  TestHost host;
  AudioModule module{host, MP_TEXT("SE Unison Fix")};

  void SetUp() override {
    module.open();
    module.process(64, EventList().graphStart());
  }
  // Plays messages 3 samples apart in one block; returns what left.
  Messages play(const Messages& in) {
    host.clearRecords();
    EventList events;
    for (size_t i = 0; i < in.size(); ++i) events.midi(static_cast<int32_t>(3 * i), UnisonFix::MIDI_IN, in[i]);
    module.process(static_cast<int32_t>(3 * in.size() + 1), events);
    Messages out;
    for (const SentValue& v : host.valuesOn(UnisonFix::MIDI_OUT)) {
      EXPECT_EQ(v.position % 3, 0) << "at the incoming message's time";
      out.push_back(v.bytes);
    }
    return out;
  }
};

TEST_F(UnisonFixTest, SameKeyOnAnotherChannelTakesATunedSlotOfItsOwn) {
  EXPECT_EQ(play({on(1, 60), on(1, 64)}), (Messages{on(1, 60), on(1, 64)})) << "channel 1 keys own their slots";
  // All released slots are equally old: the lowest, slot 0, plays key 60.
  EXPECT_EQ(play({on(2, 60, 90)}), (Messages{tuning(2, 0, 60), on(1, 0, 90)}));
  EXPECT_EQ(play({on(2, 60, 50)}), Messages{}) << "already sounding";
  EXPECT_EQ(play({on(2, 60, 0), off(1, 60)}), (Messages{{0x80, 0, 0}, off(1, 60)})) << "velocity 0 releases";
  EXPECT_EQ(play({on(2, 60, 70)}), (Messages{on(1, 0, 70)})) << "back on its slot, no retune";
}

TEST_F(UnisonFixTest, ReleasedSlotsAreReusedOldestFirstAndTakenNotesLoseTheirReleases) {
  Messages all;
  for (int k = 0; k < 128; ++k) all.push_back(on(1, k));
  play(all);
  play({off(1, 5), off(1, 3)});
  EXPECT_EQ(play({on(2, 60), on(2, 61)}), (Messages{tuning(2, 5, 60), on(1, 5), tuning(2, 3, 61), on(1, 3)}));
  // Every slot sounds: channel 2's key 62 takes over its own mapping, slot 62.
  EXPECT_EQ(play({on(2, 62)}), (Messages{on(1, 62)}));
  EXPECT_EQ(play({off(1, 62), off(1, 5), {0xA1, 60, 33}, off(2, 62)}), (Messages{{0xA0, 5, 33}, off(1, 62)}));
}

TEST_F(UnisonFixTest, TuningChangesRetuneEverySlotTheKeyOwnsAndPassOn) {
  const Bytes quarterSharp = tuning(2, 60, 60, 4096, 0x7F);
  EXPECT_EQ(play({quarterSharp}), (Messages{tuning(7, 60, 60, 4096), quarterSharp})) << "fresh: channel 1's slot";
  play({on(1, 60), on(2, 60)});  // slots 60 and 0
  const Bytes up = tuning(2, 60, 61);
  EXPECT_EQ(play({up}), (Messages{tuning(7, 60, 61), tuning(7, 0, 61), up}));
  const Bytes withBank = tuning(7, 60, 59);
  EXPECT_EQ(play({withBank}), (Messages{withBank})) << "with bank: the table only";
  EXPECT_EQ(play({on(4, 60)}).front(), tuning(2, 1, 59)) << "the table did change";
}

TEST_F(UnisonFixTest, BrokenNoteMessagesAreDroppedOthersPassUnchanged) {
  const Messages broken = {{0x9F, 0xFF, 0x40}, {0x90, 60}, {0x90}, {0x90, 60, 0x80}, {0x8F, 0x80, 0}, {0xA0, 60}};
  for (const Bytes& m : broken) {
    EXPECT_EQ(play({m}), Messages{}) << int(m[0]) << " size " << m.size();
  }
  for (const Bytes& m : Messages{{0xB3, 7, 100}, {0xC5, 9}, {0xE1, 0, 64}, {0xD2, 20}, {0xF8}, {0xF0, 0x43, 0xF7}}) {
    EXPECT_EQ(play({m}), Messages{m}) << int(m[0]);
  }
}

class Spreader : public zv::control::UnisonSlots {
 public:
  Messages sent;
  using UnisonSlots::setReleaseCount;
  void in(const Bytes& m) { receive(m.data(), m.size()); }

 protected:
  void emit(const uint8_t* m, size_t size) override { sent.emplace_back(m, m + size); }
};

TEST(UnisonSlots, ReleaseStampsPastTwoToTheThirtyOneStayReleasedAndOrdered) {
  Spreader s;
  s.setReleaseCount(std::numeric_limits<int32_t>::max() - 1);
  for (int k : {60, 61, 62}) s.in(on(1, k)), s.in(off(1, k));
  EXPECT_LT(s.slotAge(60), s.slotAge(61));
  EXPECT_LT(s.slotAge(61), s.slotAge(62));
  s.sent.clear();
  s.in(on(1, 61));
  EXPECT_EQ(s.sent, (Messages{on(1, 61)})) << "released at stamp 2^31 - 1, not sounding";
}

// The fuzz target's exercise, bounded, on streams of mostly plausible
// messages (notes on a few keys, the four tuning kinds) now and then cut
// or garbled, framed as the exercise reads them.
TEST(UnisonSlots, RandomMessageStreamsKeepEveryCheck) {
  std::mt19937 random(12345);
  auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
  for (int run = 0; run < 30; ++run) {
    Bytes stream;
    for (int m = 0; m < 300; ++m) {
      Bytes msg;
      const int kind = pick(10);
      if (kind < 6) {
        msg = {uint8_t(0x80 + 16 * pick(3) + pick(4)), uint8_t(58 + pick(6)), uint8_t(pick(3) ? 1 + pick(127) : 0)};
        if (pick(4) == 0) msg[0] |= 0x10;
      } else if (kind < 9) {
        const uint8_t subIds[] = {1, 2, 4, 7}, headers[] = {22, 7, 23, 8};
        const int which = pick(4);
        const bool dump = which == 0 || which == 2;
        msg = {0xF0, uint8_t(pick(2) ? 0x7F : 0x7E), 0x00, 0x08, subIds[which]};
        while (msg.size() < headers[which]) msg.push_back(uint8_t(dump ? pick(128) : 1 + pick(4)));
        for (int e = dump ? 128 : msg.back(); e > 0; --e) {
          if (!dump) msg.push_back(uint8_t(58 + pick(6)));
          msg.insert(msg.end(), {uint8_t(50 + pick(20)), uint8_t(pick(128)), uint8_t(pick(128))});
        }
        msg.push_back(0xF7);
      } else {
        for (int n = pick(5); n > 0; --n) msg.push_back(uint8_t(random()));
      }
      if (pick(8) == 0 && !msg.empty()) msg.resize(size_t(pick(int(msg.size()))));
      if (pick(16) == 0 && !msg.empty()) msg[size_t(pick(int(msg.size())))] |= 0x80;
      const uint8_t code = msg.size() < 24 ? uint8_t(msg.size()) : uint8_t(0xC0 + (msg.size() - 24 + 7) / 8);
      msg.resize(code < 0xC0 ? code : 24 + size_t(code - 0xC0) * 8, 0xF7);
      stream.push_back(code);
      stream.insert(stream.end(), msg.begin(), msg.end());
    }
    ASSERT_EQ(fuzzing::exerciseUnison(stream.data(), stream.size()), "") << "run " << run;
  }
}

}  // namespace
