// Standard MIDI files (formats 0 and 1): every channel message and every
// complete System Exclusive message of every track, with running status,
// as events in seconds; and the tempo map, for the song position in beats.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/limits.h"

namespace zvhost {

struct MidiError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct MidiMessage {
  double seconds = 0.0;
  uint8_t bytes[3] = {0, 0, 0};
  uint8_t size = 0;            // of a channel message; 0 for System Exclusive
  uint32_t order = 0;          // position in the file, to keep equal times stable
  std::vector<uint8_t> sysex;  // a System Exclusive message, F0 to F7

  const uint8_t* data() const { return sysex.empty() ? bytes : sysex.data(); }
  int32_t length() const { return sysex.empty() ? size : static_cast<int32_t>(sysex.size()); }
};

// Where the tempo changes: from `seconds` (`beats` quarter notes into the
// song) on, a quarter note lasts microsecondsPerQuarter.
struct TempoChange {
  double seconds = 0.0;
  double beats = 0.0;
  uint32_t microsecondsPerQuarter = 500000;
};

struct MidiSong {
  std::vector<MidiMessage> messages;  // in time order
  double lengthSeconds = 0.0;         // the last event of any track, meta ones included
  // In time order, the first at 0 s (120 BPM until the file says otherwise).
  std::vector<TempoChange> tempos{TempoChange{}};
};

// The song position in quarter notes at a time, and the tempo then, in
// beats per minute; past the last change the last tempo goes on.
double songBeats(const MidiSong& song, double seconds);
double songTempo(const MidiSong& song, double seconds);

// Throws MidiError naming the byte offset and the problem; a song of more
// than maxEvents messages and tempo changes is refused.
MidiSong parseMidi(const std::vector<uint8_t>& data, size_t maxEvents = kMaxMidiEvents);
// Refuses what is not a regular file, or larger than kMaxMidiFileBytes.
MidiSong readMidiFile(const std::string& path);

}  // namespace zvhost
