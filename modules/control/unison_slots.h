// Spreads notes from sixteen channels over the 128 keys of channel 1, so
// that the same key held on several channels sounds on keys ("slots") of
// its own. A slot that takes a new key is first retuned, with a single note
// tuning change, to the pitch the incoming key has in the tuning table.
// Released slots are reused oldest first; a slot keeps its owner (channel
// and key) until another note takes it, so a note-off or key pressure for a
// note whose slot was taken since is dropped.
//
// No frame types, so that it can be driven and checked on its own; the
// module hands what it sends to its MIDI output.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>

#include "modules/control/midi_tuning.h"

namespace zv::control {

class UnisonSlots : public hasMidiTuning {
 public:
  static constexpr int32_t kChannels = 16;
  // Age of a sounding slot; releases are stamped from 0 upwards and a
  // 64-bit count never reaches it.
  static constexpr int64_t kSounding = std::numeric_limits<int64_t>::max();

  UnisonSlots();

  // One incoming message. Notes leave rewritten onto channel 1; system
  // messages (tuning messages after they were applied) and every other
  // channel message leave unchanged. Note and key-pressure messages shorter
  // than three bytes or with a byte >= 0x80 after the status are dropped.
  void receive(const uint8_t* message, size_t size, int64_t timeStamp = 0);

  int32_t slotOf(int32_t channel, int32_t key) const { return map_[channel & 15][key & 127]; }
  int32_t slotKey(int32_t slot) const { return slotKey_[slot & 127]; }
  int32_t slotChannel(int32_t slot) const { return slotChannel_[slot & 127]; }
  int64_t slotAge(int32_t slot) const { return age_[slot & 127]; }

 protected:
  // A message to send on, in order, at the incoming message's time.
  virtual void emit(const uint8_t* message, size_t size) = 0;
  // The stamp the next release takes; lets long runs be checked quickly.
  void setReleaseCount(int64_t next) { releases_ = next; }

 private:
  void tuningChanged(int64_t timeStamp, int32_t key, int32_t value) override;
  void noteOn(int32_t channel, int32_t key, uint8_t velocity);
  void noteOff(int32_t channel, int32_t key, uint8_t velocity);
  void keyPressure(int32_t channel, int32_t key, uint8_t pressure);
  bool owns(int32_t slot, int32_t channel, int32_t key) const {
    return slotKey_[static_cast<size_t>(slot)] == key && slotChannel_[static_cast<size_t>(slot)] == channel;
  }
  int32_t oldestReleasedSlot() const;
  void emitNote(uint8_t status, int32_t slot, uint8_t value);

  std::array<int64_t, kKeys> age_{};
  std::array<uint8_t, kKeys> slotChannel_{};
  std::array<uint8_t, kKeys> slotKey_{};
  std::array<std::array<uint8_t, kKeys>, kChannels> map_{};
  int64_t releases_ = 0;
};

}  // namespace zv::control
