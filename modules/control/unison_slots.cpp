#include "modules/control/unison_slots.h"

namespace zv::control {

UnisonSlots::UnisonSlots() {
  // Every key starts as its own slot, owned by channel 1.
  for (size_t k = 0; k < kKeys; ++k) {
    slotKey_[k] = static_cast<uint8_t>(k);
    for (auto& channel : map_) channel[k] = static_cast<uint8_t>(k);
  }
}

void UnisonSlots::receive(const uint8_t* message, size_t size, int64_t timeStamp) {
  if (message == nullptr || size == 0) return;
  const uint8_t status = message[0];
  if (status >= 0xF0) {
    if (isTuningMessage(message, size)) receiveTuningMessage(message, size, timeStamp);
    emit(message, size);
    return;
  }
  const uint8_t kind = status & 0xF0;
  if (kind != 0x80 && kind != 0x90 && kind != 0xA0) {
    emit(message, size);
    return;
  }
  // Key and value index the tables: only whole messages with data bytes.
  if (size < 3 || message[1] >= 0x80 || message[2] >= 0x80) return;
  const int32_t channel = status & 0x0F;
  const int32_t key = message[1];
  const uint8_t value = message[2];
  if (kind == 0xA0) {
    keyPressure(channel, key, value);
  } else if (kind == 0x90 && value > 0) {
    noteOn(channel, key, value);
  } else {
    noteOff(channel, key, value);
  }
}

int32_t UnisonSlots::oldestReleasedSlot() const {
  int32_t oldest = -1;
  int64_t oldestAge = kSounding;
  for (int32_t s = 0; s < kKeys; ++s) {
    if (age_[static_cast<size_t>(s)] < oldestAge) {
      oldest = s;
      oldestAge = age_[static_cast<size_t>(s)];
    }
  }
  return oldest;
}

void UnisonSlots::noteOn(int32_t channel, int32_t key, uint8_t velocity) {
  int32_t slot = map_[static_cast<size_t>(channel)][static_cast<size_t>(key)];
  if (owns(slot, channel, key)) {
    if (age_[static_cast<size_t>(slot)] == kSounding) return;
  } else {
    // With every slot sounding, the note takes its old slot over.
    const int32_t oldest = oldestReleasedSlot();
    if (oldest >= 0) slot = oldest;
    map_[static_cast<size_t>(channel)][static_cast<size_t>(key)] = static_cast<uint8_t>(slot);
    slotChannel_[static_cast<size_t>(slot)] = static_cast<uint8_t>(channel);
    if (slotKey_[static_cast<size_t>(slot)] != key) {
      slotKey_[static_cast<size_t>(slot)] = static_cast<uint8_t>(key);
      // Single note tuning change, program 0: the slot takes the key's pitch.
      uint8_t retune[12] = {0xF0, 0x7F, 0x00, 0x08, 0x02, 0x00, 0x01, static_cast<uint8_t>(slot), 0, 0, 0, 0xF7};
      encode(tuning(key), retune + 8);
      emit(retune, sizeof retune);
    }
  }
  emitNote(0x90, slot, velocity);
  age_[static_cast<size_t>(slot)] = kSounding;
}

void UnisonSlots::noteOff(int32_t channel, int32_t key, uint8_t velocity) {
  const int32_t slot = map_[static_cast<size_t>(channel)][static_cast<size_t>(key)];
  if (!owns(slot, channel, key)) return;
  emitNote(0x80, slot, velocity);
  age_[static_cast<size_t>(slot)] = releases_++;
}

void UnisonSlots::keyPressure(int32_t channel, int32_t key, uint8_t pressure) {
  const int32_t slot = map_[static_cast<size_t>(channel)][static_cast<size_t>(key)];
  if (owns(slot, channel, key)) emitNote(0xA0, slot, pressure);
}

void UnisonSlots::tuningChanged(int64_t /*timeStamp*/, int32_t key, int32_t value) {
  // The key may own a slot on several channels, sounding or still ringing
  // out; each is retuned, or a later note there would play the old pitch.
  for (int32_t channel = 0; channel < kChannels; ++channel) {
    const int32_t slot = map_[static_cast<size_t>(channel)][static_cast<size_t>(key)];
    if (!owns(slot, channel, key)) continue;
    // Single note tuning change with bank 0, program 0.
    uint8_t retune[13] = {0xF0, 0x7F, 0x00, 0x08, 0x07, 0x00, 0x00, 0x01, static_cast<uint8_t>(slot), 0, 0, 0, 0xF7};
    encode(value, retune + 9);
    emit(retune, sizeof retune);
  }
}

void UnisonSlots::emitNote(uint8_t status, int32_t slot, uint8_t value) {
  const uint8_t note[3] = {status, static_cast<uint8_t>(slot), value};
  emit(note, sizeof note);
}

}  // namespace zv::control
