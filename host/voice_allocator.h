// Plays a MIDI stream on the voices of a patch: the values the host supplies
// to each voice (gate, trigger, pitch, velocity, Voice/Active and the
// controllers the patch asks for).
//
// Pitch follows the modules' convention: audio 1.0 = 10 V, 1 V per octave,
// 5 V = 440 Hz (note 69). A voice sounds its key's tuning (MIDI Tuning
// Standard messages of tuning program 0; real-time ones retune the notes
// that sound) moved by its channel's pitch bend (range from RPN 0, +-2
// semitones until set). Voice/Active is 1 while a voice plays or releases, 0
// once a released voice has had its release time, and -1 when a playing
// voice is taken for a new note: its gate falls then, and the new note
// starts a short fade later. The sustain pedal (controller 64) holds released notes;
// controllers 120 and 123 to 127 release every note of their channel, 121
// resets the channel's controllers.
//
// The allocator is fed as a render goes: messages in time order, and block
// by block the changes that have come due.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "host/midi_file.h"

namespace zvhost {

// Controller carries a controller number (0..127, or kPressure).
enum class VoiceInput : int32_t { Gate, Trigger, Pitch, Velocity, Active, Controller };
// The inputs every voice has; controller inputs exist where a patch uses them.
constexpr int32_t kVoiceInputCount = 5;
// The controller number of channel and key pressure.
constexpr int32_t kPressure = 128;

struct VoiceChange {
  double seconds;
  int32_t voice;  // -1: a controller of the whole patch
  VoiceInput input;
  float value;
  int32_t controller = -1;
};

struct VoiceSettings {
  int32_t voices = 1;
  double releaseSeconds = 2.0;  // a released voice stays active this long
  double stealSeconds = 0.005;  // fade given to a stolen voice
  // Controllers each voice follows on its own channel.
  std::vector<int32_t> voiceControllers;
  // Controllers followed patch-wide: the last value on any channel.
  std::vector<int32_t> patchControllers;
};

// Pitch value of a MIDI note in equal temperament.
float notePitch(int note);
// Initial value of each input before any note.
float voiceInputInitial(VoiceInput input);
// A controller's value (0..1) before any message: the customary power-on
// values (volume 100, balance and pan 64, expression 127, the rest 0).
float controllerInitial(int32_t controller);

class VoiceAllocator {
 public:
  explicit VoiceAllocator(const VoiceSettings& settings);
  ~VoiceAllocator();
  VoiceAllocator(const VoiceAllocator&) = delete;
  VoiceAllocator& operator=(const VoiceAllocator&) = delete;

  // One message, no earlier than the one before. What is not a complete,
  // well-formed message is ignored.
  void receive(double seconds, const uint8_t* data, size_t size);
  // Ends the voices whose release time is due, then moves every change that
  // is due into out, in time order (stable for equal times). due holds for
  // every time up to a point and for none after it.
  void takeDue(const std::function<bool(double)>& due, std::vector<VoiceChange>& out);

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

// A whole song at once; changes in time order (stable for equal times).
std::vector<VoiceChange> allocateVoices(const MidiSong& song, const VoiceSettings& settings);

}  // namespace zvhost
