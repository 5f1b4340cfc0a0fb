// "ZV-MOD CS": a MIDI note allocator without audio. In allocation mode it
// limits the notes of a key range to up to eight voices (round robin
// optional, stealing the oldest or the newest voice when all are busy) and
// forwards a second key range unchanged to the split output; in layer mode
// it copies every note onto up to three channels. Changing a setting ends
// every note it let through.
#pragma once

#include <array>
#include <cstdint>

#include "frame/mp_base.h"
#include "frame/pins.h"

namespace zv::control {

// The voices of the allocator. Ages keep arrival order among the busy
// voices: 1 is the oldest and `busyCount()` the newest, without gaps.
struct VoiceTable {
  static constexpr int32_t kVoices = 8;

  struct Voice {
    bool busy = false;
    int32_t note = -1;
    int32_t channel = 0;
    int32_t age = 0;
  };

  // The first busy voice among the first `count` holding note on channel, or -1.
  int32_t find(int32_t count, int32_t note, int32_t channel) const;
  // The first free voice at or after `from` among the first `count`, else
  // the first free one; -1 when all are busy.
  int32_t firstFree(int32_t count, int32_t from) const;
  // The busy voice of the given age, or -1.
  int32_t withAge(int32_t age) const;
  int32_t busyCount() const;
  // Takes a voice as the newest.
  void start(int32_t v, int32_t note, int32_t channel);
  // Frees a voice; the voices younger than it move up one place.
  void free(int32_t v);
  void clear() { voices = {}; }

  std::array<Voice, kVoices> voices{};
};

}  // namespace zv::control

class ZvmodCS : public MpBase {
 public:
  enum Pin {
    MIDI_IN,
    VOICE_OUT,
    ALLOCATION_MODE,
    VOICES,
    ROUND_ROBIN,
    STEAL_MODE,
    SPARE,
    SPARE_2,
    ON,
    CHANNEL,
    SPLIT_OUT,
    VOICE_LOW,
    VOICE_HIGH,
    SPLIT_LOW,
    SPLIT_HIGH,
  };
  enum StealMode { STEAL_OLDEST = 1, STEAL_NEWEST = 2 };

  explicit ZvmodCS(IMpUnknown* host);
  void midiReceived(int32_t pin, const unsigned char* data, int32_t size) override;
  void pinsUpdated() override;

 private:
  int32_t voiceCount() const;
  bool inVoiceRange(int32_t note) const { return note >= voiceLow_ && note <= voiceHigh_; }
  bool inSplitRange(int32_t note) const { return note >= splitLow_ && note <= splitHigh_; }
  void send(MidiOutPin& pin, int32_t status, int32_t data1, int32_t data2);
  void allocate(int32_t channel, int32_t note, int32_t velocity);
  void releaseNote(int32_t status, int32_t channel, int32_t note, int32_t velocity);
  void layer(int32_t status, int32_t note, int32_t velocity);
  void endAllNotes(int32_t channel);

  MidiInPin midiIn_;
  MidiOutPin voiceOut_;
  IntInPin allocationMode_;
  IntInPin voices_;
  IntInPin roundRobin_;
  IntInPin stealMode_;
  IntInPin spare_;
  IntInPin spare2_;
  IntInPin on_;
  IntInPin channel_;
  MidiOutPin splitOut_;
  IntInPin voiceLow_;
  IntInPin voiceHigh_;
  IntInPin splitLow_;
  IntInPin splitHigh_;

  zv::control::VoiceTable table_;
  int32_t robinPosition_ = 0;
  // Channels that carried a note-on since the last reset, per output: an
  // all-notes-off on channel 0 alone would leave the others sounding.
  uint32_t voiceChannels_ = 0;
  uint32_t splitChannels_ = 0;
  bool notesSounding_ = false;
};
