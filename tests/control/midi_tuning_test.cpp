#include "modules/control/midi_tuning.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <utility>
#include <vector>

namespace {

using zv::control::hasMidiTuning;
using Bytes = std::vector<uint8_t>;

struct Change {
  int32_t key;
  double semitones;
  bool operator==(const Change&) const = default;
};

class RecordingTuning : public hasMidiTuning {
 public:
  std::vector<Change> changes;

 protected:
  void tuningChanged(int64_t, int32_t key, int32_t value) override {
    changes.push_back({key, value / 16384.0});
  }
};

// Three data bytes for a pitch given in semitones (quarter tones and the
// like are exact in 1/16384).
Bytes pitchBytes(double semitones) {
  const auto units = static_cast<int32_t>(semitones * 16384.0);
  return {static_cast<uint8_t>(units / 16384), static_cast<uint8_t>(units / 128 % 128), static_cast<uint8_t>(units % 128)};
}

Bytes join(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

// Single note change (sub-identifier 2) or with bank (7) of some keys.
Bytes singleNote(uint8_t subId, const std::vector<std::pair<uint8_t, Bytes>>& entries, uint8_t device = 0x00) {
  Bytes m = {0xF0, 0x7F, device, 0x08, subId};
  if (subId == 7) m.push_back(0x00);  // bank
  m.push_back(0x00);                  // program
  m.push_back(static_cast<uint8_t>(entries.size()));
  for (const auto& [key, pitch] : entries) {
    m.push_back(key);
    m.insert(m.end(), pitch.begin(), pitch.end());
  }
  m.push_back(0xF7);
  return m;
}

// Bulk (1) or key-based (4) dump: 128 entries after a 16-character name.
Bytes dump(uint8_t subId, double (*pitchOfKey)(int)) {
  Bytes m = {0xF0, 0x7E, 0x10, 0x08, subId};
  if (subId == 4) m.push_back(0x00);  // bank
  m.push_back(0x03);                  // program
  for (int i = 0; i < 16; ++i) m.push_back('a' + i);
  for (int k = 0; k < 128; ++k) {
    const Bytes p = pitchBytes(pitchOfKey(k));
    m.insert(m.end(), p.begin(), p.end());
  }
  m.push_back(0x55);  // checksum
  m.push_back(0xF7);
  return m;
}

double quarterToneUp(int key) { return key + 0.25; }
double allOnA(int) { return 69.0; }

TEST(MidiTuning, StartsEqualTempered) {
  const hasMidiTuning table;
  for (int32_t k : {0, 1, 60, 127}) EXPECT_EQ(table.pitch(k), static_cast<double>(k));
  EXPECT_EQ(table.pitch(-5), 0.0) << "keys outside the table read its ends";
  EXPECT_EQ(table.pitch(300), 127.0);
}

TEST(MidiTuning, EachKindOfMessageTunesItsKeys) {
  struct Case {
    const char* what;
    Bytes message;
    std::vector<Change> table;  // expected pitches of these keys afterwards
    size_t announced;           // hook calls
  };
  const Case cases[] = {
      {"single note, two keys", singleNote(2, {{60, pitchBytes(60.5)}, {61, pitchBytes(59.75)}}),
       {{60, 60.5}, {61, 59.75}, {62, 62.0}}, 2},
      {"single note, device 7F", singleNote(2, {{0, pitchBytes(1.0)}}, 0x7F), {{0, 1.0}}, 1},
      {"single note with bank", singleNote(7, {{60, pitchBytes(60.5)}}), {{60, 60.5}}, 0},
      {"7F 7F 7F changes nothing", singleNote(2, {{60, {0x7F, 0x7F, 0x7F}}}), {{60, 60.0}}, 0},
      {"the value the key has already", singleNote(2, {{60, pitchBytes(60.0)}}), {{60, 60.0}}, 0},
      {"highest pitch below the no-change mark", singleNote(2, {{5, {0x7F, 0x7F, 0x7E}}}),
       {{5, 127.0 + 16382.0 / 16384.0}}, 1},
      {"bulk dump", dump(1, quarterToneUp), {{0, 0.25}, {64, 64.25}, {127, 127.25}}, 128},
      {"key-based dump", dump(4, allOnA), {{0, 69.0}, {69, 69.0}, {127, 69.0}}, 127},
      {"unknown sub-identifier 3", Bytes{0xF0, 0x7F, 0x00, 0x08, 0x03, 0x00, 0x01, 60, 0x30, 0, 0, 0xF7},
       {{60, 60.0}}, 0},
      {"not a tuning message", Bytes{0xF0, 0x7F, 0x00, 0x09, 0x02, 0x00, 0x01, 60, 0x30, 0, 0, 0xF7}, {{60, 60.0}}, 0},
  };
  for (const Case& c : cases) {
    RecordingTuning table;
    table.receiveTuningMessage(c.message.data(), c.message.size(), 7);
    for (const Change& expected : c.table) EXPECT_DOUBLE_EQ(table.pitch(expected.key), expected.semitones) << c.what;
    EXPECT_EQ(table.changes.size(), c.announced) << c.what;
    for (const Change& announced : table.changes) {
      EXPECT_DOUBLE_EQ(announced.semitones, table.pitch(announced.key)) << c.what;
    }
  }
}

// Cut and garbled messages: only whole entries of data bytes count, and
// nothing is read past the end (the buffers are exactly the message).
TEST(MidiTuning, ReadsOnlyWholeEntriesOfDataBytes) {
  const Bytes good = pitchBytes(61.5);
  struct Case {
    const char* what;
    Bytes message;
    std::vector<Change> table;
  };
  Bytes cutDump = dump(1, allOnA);
  cutDump.resize(22 + 3 * 10 + 2);  // ten whole entries and a part
  const Case cases[] = {
      {"F0 7F alone", {0xF0, 0x7F}, {}},
      {"header only", {0xF0, 0x7F, 0x00, 0x08}, {}},
      {"no count", {0xF0, 0x7F, 0x00, 0x08, 0x02, 0x00}, {}},
      {"count 2, one entry present", join({{0xF0, 0x7F, 0x00, 0x08, 0x02, 0x00, 0x02, 60}, good}), {{60, 61.5}}},
      {"entry cut short", {0xF0, 0x7F, 0x00, 0x08, 0x02, 0x00, 0x01, 60, good[0], good[1]}, {{60, 60.0}}},
      {"terminator inside the entry", {0xF0, 0x7F, 0x00, 0x08, 0x02, 0x00, 0x01, 60, good[0], good[1], 0xF7},
       {{60, 60.0}}},
      {"count byte is a status byte", join({{0xF0, 0x7F, 0x00, 0x08, 0x02, 0x00, 0x81, 60}, good, {0xF7}}),
       {{60, 60.0}}},
      {"key 128 and up skipped, the next entry kept",
       join({{0xF0, 0x7F, 0x00, 0x08, 0x02, 0x00, 0x02, 0xBC}, good, {61}, good, {0xF7}}), {{61, 61.5}, {60, 60.0}}},
      {"value byte >= 0x80 skipped", join({{0xF0, 0x7F, 0x00, 0x08, 0x02, 0x00, 0x02, 60, 0xFF, 0x7F, 0x7F, 62}, good}),
       {{60, 60.0}, {62, 61.5}}},
      {"bank change cut before its count", {0xF0, 0x7F, 0x00, 0x08, 0x07, 0x00, 0x00}, {}},
      {"dump cut after ten entries", cutDump, {{9, 69.0}, {10, 10.0}, {127, 127.0}}},
  };
  for (const Case& c : cases) {
    RecordingTuning table;
    table.receiveTuningMessage(c.message.data(), c.message.size(), 0);
    for (const Change& expected : c.table) EXPECT_DOUBLE_EQ(table.pitch(expected.key), expected.semitones) << c.what;
    for (int32_t k = 0; k < 128; ++k) EXPECT_LT(table.tuning(k), 1 << 21) << c.what;
  }
}

}  // namespace
