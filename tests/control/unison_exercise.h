// Feeds any bytes, cut into messages, to the tuning table and to the note
// spreader, and checks what comes out:
// - every message leaves well formed: notes as three bytes on channel 1,
//   the spreader's own tuning messages in their fixed layouts, everything
//   else exactly as it came in;
// - no table value leaves the three 7-bit bytes it is sent in;
// - the pitch a receiver would hear on each slot, following only what the
//   spreader sent, is the tuning of the key that owns the slot (until a
//   change with bank arrives: those deliberately retune nothing);
// - a slot's owner maps to that slot.
// Each message is copied into a buffer of exactly its size, so a read past
// it is caught under the sanitizers.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>
#include <vector>

#include "modules/control/midi_tuning.h"
#include "modules/control/unison_slots.h"

namespace fuzzing {

using zv::control::hasMidiTuning;
using zv::control::UnisonSlots;

class CheckedTuning : public hasMidiTuning {
 public:
  std::string fault;

 protected:
  void tuningChanged(int64_t, int32_t key, int32_t value) override {
    if (key < 0 || key >= kKeys || value != tuning(key)) fault = "hook disagrees with the table";
  }
};

class CheckedSlots : public UnisonSlots {
 public:
  std::string fault;
  std::vector<std::vector<uint8_t>> sent;

  CheckedSlots() {
    for (int32_t s = 0; s < kKeys; ++s) heard[static_cast<size_t>(s)] = s * kUnitsPerSemitone;
  }

  // The pitch a receiver has on each slot key, from the spreader's messages.
  std::array<int32_t, kKeys> heard{};

 protected:
  void emit(const uint8_t* message, size_t size) override {
    sent.emplace_back(message, message + size);
  }
};

inline bool dataBytesOnly(const std::vector<uint8_t>& m, size_t from, size_t to) {
  for (size_t i = from; i < to && i < m.size(); ++i) {
    if (m[i] >= 0x80) return false;
  }
  return true;
}

inline int32_t valueAt(const std::vector<uint8_t>& m, size_t at) { return (m[at] * 128 + m[at + 1]) * 128 + m[at + 2]; }

// Checks one output message; applies the spreader's retunes to the model.
inline std::string checkSent(CheckedSlots& slots, const std::vector<uint8_t>& in, const std::vector<uint8_t>& out) {
  const uint8_t kind = in[0] & 0xF0;
  const bool noteIn = in[0] < 0xF0 && (kind == 0x80 || kind == 0x90 || kind == 0xA0);
  if (!noteIn && out == in) return {};
  if (out.size() == 3 && out[0] >= 0x80 && out[0] <= 0xA0 && (out[0] & 0x0F) == 0) {
    if (!noteIn) return "a note left for a message that was no note";
    return dataBytesOnly(out, 1, 3) ? std::string() : "note with a status byte as data";
  }
  static const uint8_t kSingle[] = {0xF0, 0x7F, 0x00, 0x08, 0x02, 0x00, 0x01};
  static const uint8_t kBank[] = {0xF0, 0x7F, 0x00, 0x08, 0x07, 0x00, 0x00, 0x01};
  size_t slotAt = 0;
  if (out.size() == 12 && std::equal(std::begin(kSingle), std::end(kSingle), out.begin())) slotAt = 7;
  if (out.size() == 13 && std::equal(std::begin(kBank), std::end(kBank), out.begin())) slotAt = 8;
  if (slotAt == 0 || out.back() != 0xF7) return "unexpected message out";
  if (!dataBytesOnly(out, slotAt, out.size() - 1)) return "tuning message with a status byte as data";
  slots.heard[out[slotAt]] = valueAt(out, slotAt + 1);
  return {};
}

// One input: a length byte, then that many bytes, repeated. Long lengths
// come in steps of eight so that whole dumps are reachable.
inline std::string exerciseUnison(const uint8_t* data, size_t size) {
  CheckedTuning table;
  CheckedSlots slots;
  bool modelHolds = true;
  size_t at = 0;
  while (at < size) {
    const uint8_t code = data[at++];
    size_t length = code < 0xC0 ? code % 24 : 24 + static_cast<size_t>(code - 0xC0) * 8;
    if (length > size - at) length = size - at;
    const std::vector<uint8_t> message(data + at, data + at + length);
    at += length;

    table.receiveTuningMessage(message.data(), message.size(), 0);
    if (!table.fault.empty()) return table.fault;

    slots.sent.clear();
    slots.receive(message.data(), message.size(), 0);
    if (!slots.fault.empty()) return slots.fault;
    if (hasMidiTuning::isTuningMessage(message.data(), message.size()) && message.size() > 4 && message[4] == 7) {
      modelHolds = false;
    }
    for (const auto& out : slots.sent) {
      std::string fault = checkSent(slots, message, out);
      if (!fault.empty()) return fault;
    }

    for (int32_t k = 0; k < hasMidiTuning::kKeys; ++k) {
      const int32_t pitches[2] = {table.tuning(k), slots.tuning(k)};
      for (int32_t p : pitches) {
        if (p < 0 || p >= (1 << 21)) return "tuning beyond three 7-bit bytes";
      }
      if (pitches[0] != pitches[1]) return "the spreader's table differs from a plain one";
      const int32_t owner = slots.slotOf(slots.slotChannel(k), slots.slotKey(k));
      if (owner != k) return "a slot's owner maps elsewhere";
      if (modelHolds && slots.heard[static_cast<size_t>(k)] != slots.tuning(slots.slotKey(k))) {
        return "a slot sounds at a pitch other than its key's";
      }
    }
  }
  return {};
}

}  // namespace fuzzing
