// A per-key tuning table kept up to date from MIDI Tuning Standard System
// Exclusive messages: bulk dump (sub-identifier 1), single note change (2),
// key-based dump (4) and single note change with bank (7). Program and bank
// numbers are not looked at: every message tunes the one table.
//
// A pitch is held in the messages' own form, semitone × 16384 + fraction in
// 1/16384 semitone, so it is always below 2^21 and fits the three 7-bit
// bytes it is sent back out in. No frame types: hosts reuse it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace zv::control {

class hasMidiTuning {
 public:
  static constexpr int32_t kKeys = 128;
  static constexpr int32_t kUnitsPerSemitone = 16384;
  // The entry 7F 7F 7F: leave the key as it is.
  static constexpr int32_t kNoChange = 0x1FFFFF;

  hasMidiTuning();
  hasMidiTuning(const hasMidiTuning&) = default;
  hasMidiTuning& operator=(const hasMidiTuning&) = default;
  virtual ~hasMidiTuning() = default;

  // F0 7E|7F <device> 08 ...: a tuning message of any kind and device.
  static bool isTuningMessage(const uint8_t* message, size_t size);

  // Applies the entries of a tuning message that are present in full and
  // hold only data bytes; anything else is ignored. timeStamp is handed on
  // to tuningChanged.
  void receiveTuningMessage(const uint8_t* message, size_t size, int64_t timeStamp = 0);

  // A key's pitch in message units; keys outside 0..127 read the nearest key.
  int32_t tuning(int32_t key) const { return table_[clampKey(key)]; }
  // A key's pitch in semitones (60.5 is a quarter tone above middle C).
  double pitch(int32_t key) const { return tuning(key) / static_cast<double>(kUnitsPerSemitone); }

  // The three data bytes that carry a table value in a message.
  static void encode(int32_t value, uint8_t* threeBytes);

 protected:
  // A key took a new value from a dump or a single note change without
  // bank; changes with a bank only update the table.
  virtual void tuningChanged(int64_t /*timeStamp*/, int32_t /*key*/, int32_t /*value*/) {}

 private:
  static size_t clampKey(int32_t key) { return static_cast<size_t>(key < 0 ? 0 : (key >= kKeys ? kKeys - 1 : key)); }
  void applyEntry(int32_t key, const uint8_t* entry, bool announce, int64_t timeStamp);

  std::array<int32_t, kKeys> table_{};
};

}  // namespace zv::control
