// Arbitrary MIDI through every module with a MIDI input: messages of 0 to
// 64 bytes of anything, mixed with odd values on the module's integer
// pins. Each message lies alone in memory of exactly its size, so reading
// past it is caught by the address sanitizer; its bytes must be unchanged
// afterwards (they are the host's), and what the module sends must be no
// longer than it may be.
//
// Shared by the bounded mutation test and the libFuzzer target. A module
// with a MIDI input joins with one line in midiModules().
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "frame/interfaces.h"
#include "frame/wide_text.h"
#include "tests/support/module_harness.h"

namespace midiexercise {

// What a module may send on its MIDI outputs.
enum class Sends {
  NOTHING,
  SAME_LENGTH,  // a message as long as the one received; 3-byte all-notes-off on pin changes
  THREE_BYTES,  // only three-byte messages
  RELAYS,       // the message received, or tuning messages of at most 13 bytes
};

struct MidiModule {
  const MpChar* id;
  int32_t midiIn;
  std::vector<int32_t> midiOuts;
  std::vector<int32_t> intPins;  // varied between messages
  Sends sends;
};

inline const std::vector<MidiModule>& midiModules() {
  static const std::vector<MidiModule> modules = {
      {MP_TEXT("zv midi all off"), 0, {1}, {2}, Sends::SAME_LENGTH},
      {MP_TEXT("zv midi on off"), 0, {1}, {2, 3}, Sends::SAME_LENGTH},
      {MP_TEXT("ZvPrgChange"), 4, {}, {0, 5}, Sends::NOTHING},
      {MP_TEXT("ZV-MOD CS"), 0, {1, 10}, {2, 3, 4, 5, 6, 7, 8, 9, 11, 12, 13, 14}, Sends::THREE_BYTES},
      {MP_TEXT("SE Unison Fix"), 0, {1}, {}, Sends::RELAYS},
  };
  return modules;
}

// Reads the steps of an exercise from bytes (a fuzzer's input or a seeded
// generator's output); past the end it reads zeros.
class Reader {
 public:
  Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool done() const { return at_ >= size_; }
  uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }
  int32_t word() {
    uint32_t w = 0;
    for (int i = 0; i < 4; ++i) w = (w << 8) | byte();
    return static_cast<int32_t>(w);
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
};

// An integer pin value: mostly ones that mean something to the modules,
// sometimes any 32 bits.
inline int32_t pinValue(Reader& in) {
  static const int32_t kValues[] = {-1, 0, 1, 2, 3, 4, 7, 8, 9, 15, 16, 60, 127, 128, -2, INT32_MIN, INT32_MAX};
  const uint8_t pick = in.byte();
  if (pick < 224) return kValues[pick % (sizeof(kValues) / sizeof(kValues[0]))];
  return in.word();
}

// Runs the steps in `in` through a new instance; returns what went wrong,
// empty when nothing did.
inline std::string exercise(const MidiModule& m, Reader in) {
  TestHost host;
  host.blockSize = 32;
  AudioModule module(host, m.id);
  if (module.plugin() == nullptr) return "not created";
  std::vector<std::vector<float>> buffers(40, std::vector<float>(32, 0.5f));
  for (int32_t pin = 0; pin < 40; ++pin) module.plugin()->attachPinBuffer(pin, buffers[pin].data());
  module.open();
  {
    EventList start;
    start.graphStart();
    for (int32_t pin : m.intPins) start.value(0, pin, 1);
    module.process(32, start);
  }

  auto isOut = [&](int32_t pin) {
    for (int32_t out : m.midiOuts)
      if (out == pin) return true;
    return false;
  };
  // Sends after one step: only on MIDI outputs, and no longer than allowed.
  auto check = [&](size_t seen, int32_t received) -> std::string {
    for (size_t i = seen; i < host.values.size(); ++i) {
      const auto& v = host.values[i];
      if (!isOut(v.pin)) return "sent a value on pin " + std::to_string(v.pin);
      const auto size = static_cast<int32_t>(v.bytes.size());
      if (m.sends == Sends::NOTHING) return "sent MIDI";
      if (m.sends == Sends::THREE_BYTES && size != 3) return "sent " + std::to_string(size) + " bytes";
      if (m.sends == Sends::RELAYS && size != received && (size < 1 || size > 13)) {
        return "sent " + std::to_string(size) + " bytes for " + std::to_string(received);
      }
      if (m.sends == Sends::SAME_LENGTH && size != (received > 0 ? received : 3)) {
        return "sent " + std::to_string(size) + " bytes for " + std::to_string(received);
      }
    }
    return {};
  };

  for (int step = 0; step < 4096 && !in.done(); ++step) {
    const size_t seen = host.values.size();
    const uint8_t kind = in.byte();
    if (kind < 48 && !m.intPins.empty()) {
      const int32_t pin = m.intPins[in.byte() % m.intPins.size()];
      module.process(32, EventList().value(kind % 32, pin, pinValue(in)));
      if (auto problem = check(seen, 0); !problem.empty()) return problem;
      continue;
    }
    // Short messages most of the time, up to 64 bytes.
    const uint8_t pickLength = in.byte();
    const int32_t size = pickLength < 192 ? pickLength % 5 : pickLength % 65;
    std::unique_ptr<uint8_t[]> message(new uint8_t[size]);
    for (int32_t i = 0; i < size; ++i) message[i] = in.byte();
    std::vector<uint8_t> copy(message.get(), message.get() + size);
    MpEvent e{};
    e.time = kind % 32;
    e.type = MP_EVENT_MIDI;
    e.pin = m.midiIn;
    e.size = size;
    e.extra = reinterpret_cast<char*>(message.get());
    module.process(32, EventList().event(e));
    if (size > 0 && std::memcmp(copy.data(), message.get(), static_cast<size_t>(size)) != 0) {
      return "changed the host's message bytes";
    }
    if (auto problem = check(seen, size); !problem.empty()) return problem;
  }
  return {};
}

}  // namespace midiexercise
