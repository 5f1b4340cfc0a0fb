// Pieces shared by the MIDI modules: channel values read from pins, the
// three-byte messages they send, and re-channelling a message without
// touching the host's bytes (which are read-only).
#pragma once

#include <array>
#include <cstdint>

namespace zv::control {

constexpr int32_t kNoteOff = 0x80;
constexpr int32_t kNoteOn = 0x90;
constexpr int32_t kControlChange = 0xB0;
constexpr int32_t kAllNotesOff = 123;

using ShortMessage = std::array<unsigned char, 3>;

inline ShortMessage shortMessage(int32_t status, int32_t data1, int32_t data2) {
  return {static_cast<unsigned char>(status), static_cast<unsigned char>(data1), static_cast<unsigned char>(data2)};
}

// A Channel pin value as a channel 0..15; anything else means no channel (-1).
inline int32_t channelOrNone(int32_t value) { return value >= 0 && value <= 15 ? value : -1; }

// Only channel-voice status bytes carry a channel in their low nibble;
// rewriting a system message (F8 -> F0) or a data byte would change its meaning.
inline bool hasChannel(unsigned char status) { return status >= 0x80 && status <= 0xEF; }

// Re-channels messages into a buffer of its own. Channel-voice messages are
// at most three bytes (more only under running status), so the buffer is
// fixed and a longer one is refused rather than allocated for on the audio
// thread.
class Rechanneller {
 public:
  static constexpr int32_t kCapacity = 256;

  // The bytes to send for a message on `channel` (0..15): the host's own when
  // nothing is to change, else the rewritten copy; null when the message is
  // dropped (empty, or too long to copy).
  const unsigned char* apply(const unsigned char* data, int32_t size, int32_t channel) {
    if (data == nullptr || size <= 0) return nullptr;
    if (!hasChannel(data[0])) return data;
    if (size > kCapacity) return nullptr;
    for (int32_t i = 0; i < size; ++i) copy_[i] = data[i];
    copy_[0] = static_cast<unsigned char>((data[0] & 0xF0) | channel);
    return copy_.data();
  }

 private:
  std::array<unsigned char, kCapacity> copy_{};
};

}  // namespace zv::control
