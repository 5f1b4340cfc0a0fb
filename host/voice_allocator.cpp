#include "host/voice_allocator.h"

#include <algorithm>
#include <limits>

namespace zvhost {
namespace {

struct Voice {
  int channel = -1;
  int note = -1;
  bool held = false;
  bool sustained = false;   // released by its key, held by the pedal
  bool active = false;      // Voice/Active is 1
  double startedAt = -1.0;  // when the current note starts sounding
  double releasedAt = 0.0;
  uint64_t age = 0;  // note-on count, for "oldest"
};

class Allocator {
 public:
  Allocator(const VoiceSettings& settings)
      : settings_(settings), voices_(static_cast<size_t>(std::max(settings.voices, 0))) {}

  void noteOn(double t, int channel, int note, int velocity) {
    if (voices_.empty()) return;
    expire(t);
    int v = pick();
    Voice& voice = voices_[static_cast<size_t>(v)];
    double start = t;
    if (voice.held) {
      emit(t, v, VoiceInput::Active, -1.0f);
      start = t + settings_.stealSeconds;
    }
    emit(start, v, VoiceInput::Pitch, notePitch(note));
    emit(start, v, VoiceInput::Velocity, static_cast<float>(velocity) / 127.0f);
    emit(start, v, VoiceInput::Active, 1.0f);
    emit(start, v, VoiceInput::Gate, 1.0f);
    emit(start, v, VoiceInput::Trigger, 1.0f);
    voice.channel = channel;
    voice.note = note;
    voice.held = true;
    voice.sustained = false;
    voice.active = true;
    voice.startedAt = start;
    voice.age = ++counter_;
  }

  // Note-offs under a held sustain pedal wait for the pedal to rise.
  void sustain(double t, int channel, bool down) {
    pedal_[channel] = down;
    if (down) return;
    for (size_t v = 0; v < voices_.size(); ++v)
      if (voices_[v].held && voices_[v].sustained && voices_[v].channel == channel) release(t, static_cast<int>(v));
  }

  void noteOff(double t, int channel, int note) {
    // The most recent voice holding the note: repeated note-ons of one key
    // are released one by one, newest first.
    int found = -1;
    for (size_t v = 0; v < voices_.size(); ++v) {
      const Voice& voice = voices_[v];
      if (voice.held && !voice.sustained && voice.channel == channel && voice.note == note &&
          (found < 0 || voice.age > voices_[static_cast<size_t>(found)].age))
        found = static_cast<int>(v);
    }
    if (found < 0) return;
    if (pedal_[channel]) {
      voices_[static_cast<size_t>(found)].sustained = true;
    } else {
      release(t, found);
    }
  }

  void allOff(double t, int channel) {
    for (size_t v = 0; v < voices_.size(); ++v)
      if (voices_[v].held && voices_[v].channel == channel) release(t, static_cast<int>(v));
  }

  std::vector<VoiceChange> finish() {
    expire(std::numeric_limits<double>::infinity());
    std::stable_sort(changes_.begin(), changes_.end(),
                     [](const VoiceChange& a, const VoiceChange& b) { return a.seconds < b.seconds; });
    return std::move(changes_);
  }

 private:
  void release(double t, int v) {
    Voice& voice = voices_[static_cast<size_t>(v)];
    // A note-off that overtakes its own delayed start waits for it.
    double at = std::max(t, voice.startedAt);
    emit(at, v, VoiceInput::Gate, 0.0f);
    emit(at, v, VoiceInput::Trigger, 0.0f);
    voice.held = false;
    voice.sustained = false;
    voice.releasedAt = at;
  }

  // Released voices whose release time has passed become free.
  void expire(double t) {
    for (size_t v = 0; v < voices_.size(); ++v) {
      Voice& voice = voices_[v];
      double end = voice.releasedAt + settings_.releaseSeconds;
      if (voice.active && !voice.held && end <= t) {
        emit(end, static_cast<int>(v), VoiceInput::Active, 0.0f);
        voice.active = false;
      }
    }
  }

  // A free voice (lowest index), else the longest-released one, else the
  // oldest playing note.
  int pick() const {
    int released = -1;
    int oldest = -1;
    for (size_t i = 0; i < voices_.size(); ++i) {
      const Voice& voice = voices_[i];
      int v = static_cast<int>(i);
      if (!voice.active) return v;
      if (!voice.held && (released < 0 || voice.releasedAt < voices_[static_cast<size_t>(released)].releasedAt))
        released = v;
      if (voice.held && (oldest < 0 || voice.age < voices_[static_cast<size_t>(oldest)].age)) oldest = v;
    }
    return released >= 0 ? released : oldest;
  }

  void emit(double t, int v, VoiceInput input, float value) { changes_.push_back({t, v, input, value}); }

  VoiceSettings settings_;
  std::vector<Voice> voices_;
  std::vector<VoiceChange> changes_;
  uint64_t counter_ = 0;
  bool pedal_[16] = {};
};

}  // namespace

float notePitch(int note) { return static_cast<float>((5.0 + (note - 69) / 12.0) / 10.0); }

float voiceInputInitial(VoiceInput input) { return input == VoiceInput::Pitch ? notePitch(69) : 0.0f; }

std::vector<VoiceChange> allocateVoices(const MidiSong& song, const VoiceSettings& settings) {
  Allocator allocator(settings);
  for (const MidiMessage& m : song.messages) {
    int kind = m.bytes[0] & 0xF0;
    int channel = m.bytes[0] & 0x0F;
    if (kind == 0x90 && m.bytes[2] > 0) {
      allocator.noteOn(m.seconds, channel, m.bytes[1], m.bytes[2]);
    } else if (kind == 0x80 || kind == 0x90) {
      allocator.noteOff(m.seconds, channel, m.bytes[1]);
    } else if (kind == 0xB0 && m.bytes[1] == 64) {
      allocator.sustain(m.seconds, channel, m.bytes[2] >= 64);
    } else if (kind == 0xB0 && (m.bytes[1] == 120 || m.bytes[1] == 123)) {
      allocator.allOff(m.seconds, channel);
    }
  }
  return allocator.finish();
}

}  // namespace zvhost
