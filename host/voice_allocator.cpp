#include "host/voice_allocator.h"

#include <algorithm>
#include <array>
#include <limits>

#include "modules/control/midi_tuning.h"

namespace zvhost {
namespace {

using zv::control::hasMidiTuning;

constexpr int kChannels = 16;
constexpr int32_t kBendCentre = 8192;
constexpr uint8_t kNoParameter = 127;
constexpr double kNever = std::numeric_limits<double>::infinity();

struct Voice {
  int channel = -1;
  int note = -1;
  bool held = false;
  bool sustained = false;   // released by its key, held by the pedal
  bool active = false;      // Voice/Active is 1
  double startedAt = -1.0;  // when the current note starts sounding
  double releasedAt = 0.0;
  uint64_t age = 0;             // note-on count, for "oldest"
  float pressure = 0.0f;        // the last of its channel's and its key's pressure
  std::vector<float> reported;  // per voice controller: the value the voice was last given
};

struct Channel {
  bool pedal = false;
  int32_t bend = kBendCentre;
  uint8_t rpnMsb = kNoParameter;
  uint8_t rpnLsb = kNoParameter;
  int32_t rangeSemitones = 2;
  int32_t rangeCents = 0;
  float pressure = 0.0f;
  std::array<uint8_t, 128> controllers{};

  bool rpnZero() const { return rpnMsb == 0 && rpnLsb == 0; }
  double bendSemitones() const { return (bend - kBendCentre) / 8192.0 * (rangeSemitones + rangeCents / 100.0); }
};

uint8_t powerOnValue(int32_t controller) {
  switch (controller) {
    case 7: return 100;
    case 8:
    case 10: return 64;
    case 11: return 127;
    case 98:
    case 99:
    case 100:
    case 101: return kNoParameter;
    default: return 0;
  }
}

float controllerValue(uint8_t raw) { return static_cast<float>(raw) / 127.0f; }

// Tuning messages of tuning program 0 (of bank 0, where they name one):
// the only program the voices play.
bool forProgramZero(const uint8_t* m, size_t size) {
  switch (m[4]) {
    case 1:
    case 2: return size > 5 && m[5] == 0;
    case 4:
    case 7: return size > 6 && m[5] == 0 && m[6] == 0;
    default: return false;
  }
}

}  // namespace

class VoiceAllocator::Impl {
 public:
  explicit Impl(const VoiceSettings& settings)
      : settings_(settings), voices_(static_cast<size_t>(std::max(settings.voices, 0))) {
    for (Channel& c : channels_)
      for (int32_t n = 0; n < 128; ++n) c.controllers[static_cast<size_t>(n)] = powerOnValue(n);
    for (Voice& v : voices_)
      for (int32_t n : settings_.voiceControllers) v.reported.push_back(controllerInitial(n));
    for (int32_t n : settings_.patchControllers) patchReported_.push_back(controllerInitial(n));
  }

  void receive(double t, const uint8_t* data, size_t size) {
    if (data == nullptr || size == 0) return;
    const uint8_t status = data[0];
    if (status == 0xF0) {
      tuning(t, data, size);
      return;
    }
    if (status < 0x80 || status >= 0xF0) return;
    const int kind = status & 0xF0;
    const int channel = status & 0x0F;
    const size_t needed = kind == 0xC0 || kind == 0xD0 ? 2 : 3;
    if (size < needed || data[1] >= 0x80 || (needed == 3 && data[2] >= 0x80)) return;
    switch (kind) {
      case 0x90:
        if (data[2] > 0) {
          noteOn(t, channel, data[1], data[2]);
        } else {
          noteOff(t, channel, data[1]);
        }
        break;
      case 0x80: noteOff(t, channel, data[1]); break;
      case 0xA0: keyPressure(t, channel, data[1], data[2]); break;
      case 0xB0: controller(t, channel, data[1], data[2]); break;
      case 0xD0: channelPressure(t, channel, data[1]); break;
      case 0xE0: bend(t, channel, data[1] | data[2] << 7); break;
      default: break;
    }
  }

  void takeDue(const std::function<bool(double)>& due, std::vector<VoiceChange>& out) {
    // Between notes no voice is releasing: the voices are not looked at.
    if (due(firstReleaseEnd_)) {
      firstReleaseEnd_ = kNever;
      for (size_t v = 0; v < voices_.size(); ++v) {
        Voice& voice = voices_[v];
        if (!voice.active || voice.held) continue;
        const double end = voice.releasedAt + settings_.releaseSeconds;
        if (due(end)) {
          emit(end, static_cast<int>(v), VoiceInput::Active, 0.0f);
          voice.active = false;
        } else {
          firstReleaseEnd_ = std::min(firstReleaseEnd_, end);
        }
      }
    }
    if (!ordered_)
      std::stable_sort(changes_.begin(), changes_.end(),
                       [](const VoiceChange& a, const VoiceChange& b) { return a.seconds < b.seconds; });
    ordered_ = true;
    size_t n = 0;
    while (n < changes_.size() && due(changes_[n].seconds)) ++n;
    out.insert(out.end(), changes_.begin(), changes_.begin() + static_cast<std::ptrdiff_t>(n));
    changes_.erase(changes_.begin(), changes_.begin() + static_cast<std::ptrdiff_t>(n));
  }

 private:
  void noteOn(double t, int channel, int note, int velocity) {
    if (voices_.empty()) return;
    expire(t);
    int v = pick();
    Voice& voice = voices_[static_cast<size_t>(v)];
    double start = t;
    if (voice.held) {
      // The stolen note ends here: its gate falls, so that an envelope
      // starts the new note from silence, while Voice/Active -1 gives a
      // fade its time to take the old one away.
      emit(t, v, VoiceInput::Active, -1.0f);
      emit(t, v, VoiceInput::Gate, 0.0f);
      emit(t, v, VoiceInput::Trigger, 0.0f);
      start = t + settings_.stealSeconds;
    }
    emit(start, v, VoiceInput::Pitch, pitchOf(channel, note));
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
    voice.pressure = channels_[static_cast<size_t>(channel)].pressure;
    follow(start, v);
  }

  // Note-offs under a held sustain pedal wait for the pedal to rise.
  void sustain(double t, int channel, bool down) {
    channels_[static_cast<size_t>(channel)].pedal = down;
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
    if (channels_[static_cast<size_t>(channel)].pedal) {
      voices_[static_cast<size_t>(found)].sustained = true;
    } else {
      release(t, found);
    }
  }

  void allOff(double t, int channel) {
    for (size_t v = 0; v < voices_.size(); ++v)
      if (voices_[v].held && voices_[v].channel == channel) release(t, static_cast<int>(v));
  }

  void controller(double t, int channel, int number, int value) {
    Channel& c = channels_[static_cast<size_t>(channel)];
    c.controllers[static_cast<size_t>(number)] = static_cast<uint8_t>(value);
    switch (number) {
      case 6:
      case 38:
        if (c.rpnZero()) {
          const double before = c.bendSemitones();
          (number == 6 ? c.rangeSemitones : c.rangeCents) = value;
          if (c.bendSemitones() != before) retune(t, channel);
        }
        break;
      case 64: sustain(t, channel, value >= 64); break;
      case 98:
      case 99: c.rpnMsb = c.rpnLsb = kNoParameter; break;
      case 100: c.rpnLsb = static_cast<uint8_t>(value); break;
      case 101: c.rpnMsb = static_cast<uint8_t>(value); break;
      case 120:
      case 123:
      case 124:
      case 125:
      case 126:
      case 127: allOff(t, channel); break;
      case 121: resetControllers(t, channel); return;
      default: break;
    }
    followChannel(t, channel);
    report(t, number, controllerValue(static_cast<uint8_t>(value)));
  }

  // What a reset of all controllers restores; volume, pan and the bend
  // range stay.
  void resetControllers(double t, int channel) {
    Channel& c = channels_[static_cast<size_t>(channel)];
    static constexpr int kReset[] = {1, 11, 64, 65, 66, 67, 98, 99, 100, 101};
    for (int n : kReset) c.controllers[static_cast<size_t>(n)] = powerOnValue(n);
    c.rpnMsb = c.rpnLsb = kNoParameter;
    c.pressure = 0.0f;
    for (Voice& v : voices_)
      if (v.active && v.channel == channel) v.pressure = 0.0f;
    if (c.pedal) sustain(t, channel, false);
    bend(t, channel, kBendCentre);
    followChannel(t, channel);
    for (int n : kReset) report(t, n, controllerValue(c.controllers[static_cast<size_t>(n)]));
    report(t, kPressure, 0.0f);
  }

  void channelPressure(double t, int channel, int value) {
    Channel& c = channels_[static_cast<size_t>(channel)];
    c.pressure = controllerValue(static_cast<uint8_t>(value));
    for (Voice& v : voices_)
      if (v.active && v.channel == channel) v.pressure = c.pressure;
    followChannel(t, channel);
    report(t, kPressure, c.pressure);
  }

  void keyPressure(double t, int channel, int note, int value) {
    const float pressure = controllerValue(static_cast<uint8_t>(value));
    for (size_t v = 0; v < voices_.size(); ++v) {
      Voice& voice = voices_[v];
      if (!voice.active || voice.channel != channel || voice.note != note) continue;
      voice.pressure = pressure;
      follow(std::max(t, voice.startedAt), static_cast<int>(v));
    }
    report(t, kPressure, pressure);
  }

  void bend(double t, int channel, int32_t value) {
    Channel& c = channels_[static_cast<size_t>(channel)];
    if (c.bend == value) return;
    const double before = c.bendSemitones();
    c.bend = value;
    if (c.bendSemitones() != before) retune(t, channel);
  }

  void tuning(double t, const uint8_t* data, size_t size) {
    if (!hasMidiTuning::isTuningMessage(data, size) || size < 5 || !forProgramZero(data, size)) return;
    std::array<int32_t, hasMidiTuning::kKeys> before{};
    for (int32_t k = 0; k < hasMidiTuning::kKeys; ++k) before[static_cast<size_t>(k)] = tuning_.tuning(k);
    tuning_.receiveTuningMessage(data, size);
    // A non-real-time message tunes the notes to come only.
    if (data[1] != 0x7F) return;
    for (size_t v = 0; v < voices_.size(); ++v) {
      const Voice& voice = voices_[v];
      if (voice.active && tuning_.tuning(voice.note) != before[static_cast<size_t>(voice.note)])
        emit(std::max(t, voice.startedAt), static_cast<int>(v), VoiceInput::Pitch, pitchOf(voice.channel, voice.note));
    }
  }

  void retune(double t, int channel) {
    for (size_t v = 0; v < voices_.size(); ++v) {
      const Voice& voice = voices_[v];
      if (voice.active && voice.channel == channel)
        emit(std::max(t, voice.startedAt), static_cast<int>(v), VoiceInput::Pitch, pitchOf(channel, voice.note));
    }
  }

  float pitchOf(int channel, int note) const {
    const double semitones = tuning_.pitch(note) + channels_[static_cast<size_t>(channel)].bendSemitones();
    return static_cast<float>((5.0 + (semitones - 69.0) / 12.0) / 10.0);
  }

  // The voice controllers of one voice that changed, at the time given.
  void follow(double at, int v) {
    Voice& voice = voices_[static_cast<size_t>(v)];
    const Channel& c = channels_[static_cast<size_t>(voice.channel)];
    for (size_t i = 0; i < settings_.voiceControllers.size(); ++i) {
      const int32_t n = settings_.voiceControllers[i];
      const float value = n == kPressure ? voice.pressure : controllerValue(c.controllers[static_cast<size_t>(n)]);
      if (value == voice.reported[i]) continue;
      voice.reported[i] = value;
      emit(at, v, VoiceInput::Controller, value, n);
    }
  }

  void followChannel(double t, int channel) {
    if (settings_.voiceControllers.empty()) return;
    for (size_t v = 0; v < voices_.size(); ++v)
      if (voices_[v].active && voices_[v].channel == channel)
        follow(std::max(t, voices_[v].startedAt), static_cast<int>(v));
  }

  // A patch-wide controller takes the value of the last message on any
  // channel.
  void report(double t, int32_t number, float value) {
    for (size_t i = 0; i < settings_.patchControllers.size(); ++i) {
      if (settings_.patchControllers[i] != number || patchReported_[i] == value) continue;
      patchReported_[i] = value;
      emit(t, -1, VoiceInput::Controller, value, number);
    }
  }

  void release(double t, int v) {
    Voice& voice = voices_[static_cast<size_t>(v)];
    // A note-off that overtakes its own delayed start waits for it.
    double at = std::max(t, voice.startedAt);
    emit(at, v, VoiceInput::Gate, 0.0f);
    emit(at, v, VoiceInput::Trigger, 0.0f);
    voice.held = false;
    voice.sustained = false;
    voice.releasedAt = at;
    firstReleaseEnd_ = std::min(firstReleaseEnd_, at + settings_.releaseSeconds);
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

  void emit(double t, int v, VoiceInput input, float value, int32_t controller = -1) {
    if (!changes_.empty() && t < changes_.back().seconds) ordered_ = false;
    changes_.push_back({t, v, input, value, controller});
  }

  VoiceSettings settings_;
  std::vector<Voice> voices_;
  std::array<Channel, kChannels> channels_{};
  std::vector<float> patchReported_;
  hasMidiTuning tuning_;
  std::vector<VoiceChange> changes_;  // not yet due, in the order they arose
  bool ordered_ = true;
  uint64_t counter_ = 0;
  // No earlier than this does a released voice end (kNever: none releasing).
  double firstReleaseEnd_ = kNever;
};

VoiceAllocator::VoiceAllocator(const VoiceSettings& settings) : impl_(std::make_unique<Impl>(settings)) {}
VoiceAllocator::~VoiceAllocator() = default;

void VoiceAllocator::receive(double seconds, const uint8_t* data, size_t size) { impl_->receive(seconds, data, size); }

void VoiceAllocator::takeDue(const std::function<bool(double)>& due, std::vector<VoiceChange>& out) {
  impl_->takeDue(due, out);
}

float notePitch(int note) { return static_cast<float>((5.0 + (note - 69) / 12.0) / 10.0); }

float voiceInputInitial(VoiceInput input) { return input == VoiceInput::Pitch ? notePitch(69) : 0.0f; }

float controllerInitial(int32_t controller) {
  return controller >= 0 && controller < 128 ? controllerValue(powerOnValue(controller)) : 0.0f;
}

std::vector<VoiceChange> allocateVoices(const MidiSong& song, const VoiceSettings& settings) {
  VoiceAllocator allocator(settings);
  for (const MidiMessage& m : song.messages) allocator.receive(m.seconds, m.data(), static_cast<size_t>(m.length()));
  std::vector<VoiceChange> changes;
  allocator.takeDue([](double) { return true; }, changes);
  return changes;
}

}  // namespace zvhost
