// Turns the notes of a song into the values the host supplies to each
// voice: gate, trigger, pitch, velocity and Voice/Active.
//
// Pitch follows the modules' convention: audio 1.0 = 10 V, 1 V per octave,
// 5 V = 440 Hz (note 69). Voice/Active is 1 while a voice plays or
// releases, 0 once a released voice has had its release time, and -1 when a
// playing voice is taken for a new note (the new note then starts a short
// fade later). The sustain pedal (controller 64) holds released notes;
// controllers 120 and 123 release every note of their channel.
#pragma once

#include <cstdint>
#include <vector>

#include "host/midi_file.h"

namespace zvhost {

enum class VoiceInput : int32_t { Gate, Trigger, Pitch, Velocity, Active };
constexpr int32_t kVoiceInputCount = 5;

struct VoiceChange {
  double seconds;
  int32_t voice;
  VoiceInput input;
  float value;
};

struct VoiceSettings {
  int32_t voices = 1;
  double releaseSeconds = 2.0;  // a released voice stays active this long
  double stealSeconds = 0.005;  // fade given to a stolen voice
};

// Pitch value of a MIDI note.
float notePitch(int note);
// Initial value of each input before any note.
float voiceInputInitial(VoiceInput input);

// Changes in time order (stable for equal times).
std::vector<VoiceChange> allocateVoices(const MidiSong& song, const VoiceSettings& settings);

}  // namespace zvhost
