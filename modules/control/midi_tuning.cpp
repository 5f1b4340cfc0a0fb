#include "modules/control/midi_tuning.h"

namespace zv::control {

namespace {

struct Layout {
  size_t firstEntry;
  int32_t countAt;  // byte holding the entry count; -1: one entry per key
  bool announce;
};

// Where each kind of message keeps its entries; null for kinds we ignore.
const Layout* layoutOf(uint8_t subIdentifier) {
  static constexpr Layout kBulkDump{22, -1, true};
  static constexpr Layout kSingleNote{7, 6, true};
  static constexpr Layout kKeyBasedDump{23, -1, true};
  static constexpr Layout kSingleNoteWithBank{8, 7, false};
  switch (subIdentifier) {
    case 1: return &kBulkDump;
    case 2: return &kSingleNote;
    case 4: return &kKeyBasedDump;
    case 7: return &kSingleNoteWithBank;
    default: return nullptr;
  }
}

bool dataBytes(const uint8_t* bytes, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    if (bytes[i] >= 0x80) return false;
  }
  return true;
}

}  // namespace

hasMidiTuning::hasMidiTuning() {
  for (int32_t k = 0; k < kKeys; ++k) table_[static_cast<size_t>(k)] = k * kUnitsPerSemitone;
}

bool hasMidiTuning::isTuningMessage(const uint8_t* message, size_t size) {
  return message != nullptr && size >= 4 && message[0] == 0xF0 && (message[1] == 0x7F || message[1] == 0x7E) &&
         message[3] == 0x08;
}

void hasMidiTuning::encode(int32_t value, uint8_t* threeBytes) {
  threeBytes[0] = static_cast<uint8_t>((value >> 14) & 0x7F);
  threeBytes[1] = static_cast<uint8_t>((value >> 7) & 0x7F);
  threeBytes[2] = static_cast<uint8_t>(value & 0x7F);
}

void hasMidiTuning::receiveTuningMessage(const uint8_t* message, size_t size, int64_t timeStamp) {
  if (!isTuningMessage(message, size) || size < 5) return;
  const Layout* layout = layoutOf(message[4]);
  if (layout == nullptr) return;

  if (layout->countAt < 0) {
    for (int32_t key = 0; key < kKeys; ++key) {
      const size_t at = layout->firstEntry + 3 * static_cast<size_t>(key);
      if (at + 3 > size) return;
      applyEntry(key, message + at, layout->announce, timeStamp);
    }
    return;
  }

  const auto countAt = static_cast<size_t>(layout->countAt);
  if (countAt >= size || message[countAt] >= 0x80) return;
  const size_t count = message[countAt];
  for (size_t i = 0; i < count; ++i) {
    const size_t at = layout->firstEntry + 4 * i;
    if (at + 4 > size) return;
    if (message[at] >= 0x80) continue;
    applyEntry(message[at], message + at + 1, layout->announce, timeStamp);
  }
}

void hasMidiTuning::applyEntry(int32_t key, const uint8_t* entry, bool announce, int64_t timeStamp) {
  // A status byte inside an entry means a cut or garbled message.
  if (!dataBytes(entry, 3)) return;
  const int32_t value = (entry[0] * 128 + entry[1]) * 128 + entry[2];
  int32_t& current = table_[static_cast<size_t>(key)];
  if (value == kNoChange || value == current) return;
  current = value;
  if (announce) tuningChanged(timeStamp, key, value);
}

}  // namespace zv::control
