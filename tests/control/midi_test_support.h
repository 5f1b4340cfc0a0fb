// What the MIDI tests need beside the test host: the messages a module
// sent on one pin, as bytes.
#pragma once

#include <cstdint>
#include <vector>

#include "tests/support/test_host.h"

namespace miditest {

using Bytes = std::vector<uint8_t>;
using Messages = std::vector<Bytes>;

inline Messages sentOn(const TestHost& host, int32_t pin) {
  Messages out;
  for (const auto& v : host.valuesOn(pin)) out.push_back(v.bytes);
  return out;
}

// All Notes Off on a channel.
inline Bytes allOff(int32_t channel) { return {static_cast<uint8_t>(0xB0 | channel), 0x7B, 0x00}; }

}  // namespace miditest
