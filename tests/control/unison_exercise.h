// Feeds any bytes, cut into messages, to a tuning table and to the note
// spreader, and checks that:
// - notes leave as three bytes on channel 1, the spreader's own tuning
//   messages in their fixed layouts, everything else exactly as it came;
// - no pitch leaves the three 7-bit bytes it is sent in, and the
//   spreader's table matches a plain one fed the same messages;
// - each slot's owner maps to that slot;
// - each slot sounds, for a receiver that follows the spreader's tuning
//   messages, at the pitch of the key that owns it (until a change with
//   bank arrives: those retune nothing, by design).
// Each message sits in a buffer of exactly its size, so that the sanitizers
// catch a read past it.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "modules/control/midi_tuning.h"
#include "modules/control/unison_slots.h"

namespace fuzzing {

using zv::control::hasMidiTuning;

class CheckedTuning : public hasMidiTuning {
 public:
  std::string fault;

 protected:
  void tuningChanged(int64_t, int32_t key, int32_t value) override {
    if (key < 0 || key >= kKeys || value != tuning(key)) fault = "announced change disagrees with the table";
  }
};

class CheckedSlots : public zv::control::UnisonSlots {
 public:
  std::vector<std::vector<uint8_t>> sent;
  std::array<int32_t, kKeys> heard{};  // the receiver's pitch of each slot key

  CheckedSlots() {
    for (int32_t s = 0; s < kKeys; ++s) heard[static_cast<size_t>(s)] = s * kUnitsPerSemitone;
  }

 protected:
  void emit(const uint8_t* message, size_t size) override { sent.emplace_back(message, message + size); }
};

// Checks one message sent for `in`; follows the spreader's retunes.
inline std::string checkSent(CheckedSlots& slots, const std::vector<uint8_t>& in, const std::vector<uint8_t>& out) {
  const bool noteIn = in[0] >= 0x80 && in[0] < 0xB0;
  if (!noteIn && out == in) return {};
  auto dataOnly = [&](size_t from, size_t to) {
    return std::all_of(out.begin() + from, out.begin() + to, [](uint8_t b) { return b < 0x80; });
  };
  if (out.size() == 3 && (out[0] == 0x80 || out[0] == 0x90 || out[0] == 0xA0)) {
    return noteIn && dataOnly(1, 3) ? std::string() : "bad note out";
  }
  static const uint8_t kSingle[] = {0xF0, 0x7F, 0x00, 0x08, 0x02, 0x00, 0x01};
  static const uint8_t kBank[] = {0xF0, 0x7F, 0x00, 0x08, 0x07, 0x00, 0x00, 0x01};
  size_t slotAt = 0;
  if (out.size() == 12 && std::equal(kSingle, kSingle + 7, out.begin())) slotAt = 7;
  if (out.size() == 13 && std::equal(kBank, kBank + 8, out.begin())) slotAt = 8;
  if (slotAt == 0 || out.back() != 0xF7 || !dataOnly(slotAt, out.size() - 1)) return "unexpected message out";
  slots.heard[out[slotAt]] = (out[slotAt + 1] * 128 + out[slotAt + 2]) * 128 + out[slotAt + 3];
  return {};
}

// The input is a length code and that many bytes, repeated; codes from
// 0xC0 up count in steps of eight, so that whole dumps fit.
inline std::string exerciseUnison(const uint8_t* data, size_t size) {
  CheckedTuning table;
  CheckedSlots slots;
  bool receiverFollows = true;
  for (size_t at = 0; at < size;) {
    const uint8_t code = data[at++];
    const size_t length = std::min<size_t>(code < 0xC0 ? code % 24u : 24u + (code - 0xC0u) * 8u, size - at);
    const std::vector<uint8_t> message(data + at, data + at + length);
    at += length;

    table.receiveTuningMessage(message.data(), message.size());
    slots.sent.clear();
    slots.receive(message.data(), message.size());
    if (!table.fault.empty()) return table.fault;
    const bool withBank = hasMidiTuning::isTuningMessage(message.data(), length) && length > 4 && message[4] == 7;
    if (withBank) receiverFollows = false;
    for (const auto& out : slots.sent) {
      if (std::string fault = checkSent(slots, message, out); !fault.empty()) return fault;
    }
    for (int32_t k = 0; k < hasMidiTuning::kKeys; ++k) {
      if (table.tuning(k) < 0 || table.tuning(k) >= (1 << 21)) return "pitch beyond three 7-bit bytes";
      if (slots.tuning(k) != table.tuning(k)) return "the spreader's table differs from a plain one";
      if (slots.slotOf(slots.slotChannel(k), slots.slotKey(k)) != k) return "a slot's owner maps elsewhere";
      if (receiverFollows && slots.heard[static_cast<size_t>(k)] != slots.tuning(slots.slotKey(k))) {
        return "a slot sounds at a pitch other than its key's";
      }
    }
  }
  return {};
}

}  // namespace fuzzing
