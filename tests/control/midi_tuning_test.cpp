#include "modules/control/midi_tuning.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using zv::control::hasMidiTuning;
using Bytes = std::vector<uint8_t>;

class RecordingTuning : public hasMidiTuning {
 public:
  size_t announced = 0;

 protected:
  void tuningChanged(int64_t, int32_t key, int32_t value) override {
    ++announced;
    EXPECT_EQ(value, tuning(key)) << "announced after the table changed";
  }
};

// Three data bytes for a pitch in semitones (exact in 1/16384 steps).
Bytes pitch(double semitones) {
  const auto units = static_cast<int32_t>(semitones * 16384.0);
  return {uint8_t(units / 16384), uint8_t(units / 128 % 128), uint8_t(units % 128)};
}
Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}
const Bytes kSingle = {0xF0, 0x7F, 0x00, 0x08, 0x02, 0x00};          // then count, entries
const Bytes kWithBank = {0xF0, 0x7F, 0x00, 0x08, 0x07, 0x00, 0x00};  // then count, entries

// Bulk (1) or key-based (4) dump: 128 entries after a 16-character name.
Bytes dump(uint8_t subId, double (*pitchOfKey)(int)) {
  Bytes m = {0xF0, 0x7E, 0x10, 0x08, subId, 0x03};
  if (subId == 4) m.push_back(0x02);
  m = m + Bytes(16, 'n');
  for (int k = 0; k < 128; ++k) m = m + pitch(pitchOfKey(k));
  return m + Bytes{0x55, 0xF7};
}
double quarterUp(int key) { return key + 0.25; }
double allOnA(int) { return 69.0; }

struct Case {
  const char* what;
  Bytes message;
  std::vector<std::pair<int32_t, double>> pitches;  // expected afterwards
  size_t announced;
};

// Whole messages of each kind, and cut or garbled ones: only whole entries
// of data bytes count, and nothing is read past the end (each buffer is
// exactly its message).
TEST(MidiTuning, TunesTheKeysOfWholeEntriesOnly) {
  const Bytes up = pitch(61.5);
  Bytes cutDump = dump(1, allOnA);
  cutDump.resize(22 + 3 * 10 + 2);
  const Case cases[] = {
      {"fresh", {}, {{0, 0.0}, {60, 60.0}, {127, 127.0}}, 0},
      {"single note, two keys",
       kSingle + Bytes{2, 60} + pitch(60.5) + Bytes{61} + pitch(59.75) + Bytes{0xF7},
       {{60, 60.5}, {61, 59.75}, {62, 62.0}},
       2},
      {"device 7F", Bytes{0xF0, 0x7F, 0x7F, 0x08, 0x02, 0x00, 1, 0} + pitch(1.0), {{0, 1.0}}, 1},
      {"with bank: not announced", kWithBank + Bytes{1, 60} + up, {{60, 61.5}}, 0},
      {"7F 7F 7F: no change", kSingle + Bytes{1, 60, 0x7F, 0x7F, 0x7F}, {{60, 60.0}}, 0},
      {"the value it has", kSingle + Bytes{1, 60} + pitch(60.0), {{60, 60.0}}, 0},
      {"just below no change", kSingle + Bytes{1, 5, 0x7F, 0x7F, 0x7E}, {{5, 127.0 + 16382.0 / 16384}}, 1},
      {"bulk dump", dump(1, quarterUp), {{0, 0.25}, {127, 127.25}}, 128},
      {"key-based dump", dump(4, allOnA), {{0, 69.0}, {127, 69.0}}, 127},
      {"sub-identifier 3", Bytes{0xF0, 0x7F, 0x00, 0x08, 0x03, 0x00, 1, 60} + up, {{60, 60.0}}, 0},
      {"not a tuning message", Bytes{0xF0, 0x7F, 0x00, 0x09, 0x02, 0x00, 1, 60} + up, {{60, 60.0}}, 0},
      {"F0 7F alone", {0xF0, 0x7F}, {}, 0},
      {"no count", kSingle, {}, 0},
      {"count 2, one entry", kSingle + Bytes{2, 60} + up, {{60, 61.5}}, 1},
      {"entry cut short", kSingle + Bytes{1, 60, up[0], up[1]}, {{60, 60.0}}, 0},
      {"terminator in the entry", kSingle + Bytes{1, 60, up[0], up[1], 0xF7}, {{60, 60.0}}, 0},
      {"count is a status byte", kSingle + Bytes{0x81, 60} + up, {{60, 60.0}}, 0},
      {"key 0xBC skipped, next kept", kSingle + Bytes{2, 0xBC} + up + Bytes{61} + up, {{61, 61.5}}, 1},
      {"value byte 0xFF skipped", kSingle + Bytes{2, 60, 0xFF, 0x7F, 0x7F, 62} + up, {{60, 60.0}, {62, 61.5}}, 1},
      {"with bank, cut before the count", kWithBank, {}, 0},
      {"dump cut after ten entries", cutDump, {{9, 69.0}, {10, 10.0}}, 10},
  };
  for (const Case& c : cases) {
    RecordingTuning table;
    table.receiveTuningMessage(c.message.data(), c.message.size());
    for (const auto& [key, semitones] : c.pitches) {
      EXPECT_DOUBLE_EQ(table.pitch(key), semitones) << c.what << " " << key;
    }
    EXPECT_EQ(table.announced, c.announced) << c.what;
  }
  const hasMidiTuning table;
  EXPECT_EQ(table.pitch(-5), 0.0) << "keys outside the table read its ends";
  EXPECT_EQ(table.pitch(300), 127.0);
}

}  // namespace
