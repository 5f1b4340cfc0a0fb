// Standard MIDI files (formats 0 and 1): every channel message of every
// track, with running status and tempo changes, as events in seconds.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace zvhost {

struct MidiError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct MidiMessage {
  double seconds = 0.0;
  uint8_t bytes[3] = {0, 0, 0};
  uint8_t size = 0;
  uint32_t order = 0;  // position in the file, to keep equal times stable
};

struct MidiSong {
  std::vector<MidiMessage> messages;  // in time order
  double lengthSeconds = 0.0;         // the last event of any track, meta ones included
};

// Throws MidiError naming the byte offset and the problem.
MidiSong parseMidi(const std::vector<uint8_t>& data);
// Refuses what is not a regular file, or larger than kMaxMidiFileBytes.
MidiSong readMidiFile(const std::string& path);

}  // namespace zvhost
