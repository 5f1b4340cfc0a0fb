#include "modules/control/zvmod_cs.h"

#include <algorithm>

#include "modules/control/midi_message.h"

namespace zv::control {

int32_t VoiceTable::find(int32_t count, int32_t note, int32_t channel) const {
  for (int32_t v = 0; v < count; ++v) {
    if (voices[v].busy && voices[v].note == note && voices[v].channel == channel) return v;
  }
  return -1;
}

int32_t VoiceTable::firstFree(int32_t count, int32_t from) const {
  for (int32_t v = from; v < count; ++v) {
    if (!voices[v].busy) return v;
  }
  for (int32_t v = 0; v < count; ++v) {
    if (!voices[v].busy) return v;
  }
  return -1;
}

int32_t VoiceTable::withAge(int32_t age) const {
  for (int32_t v = 0; v < kVoices; ++v) {
    if (voices[v].busy && voices[v].age == age) return v;
  }
  return -1;
}

int32_t VoiceTable::busyCount() const {
  return static_cast<int32_t>(std::count_if(voices.begin(), voices.end(), [](const Voice& v) { return v.busy; }));
}

void VoiceTable::start(int32_t v, int32_t note, int32_t channel) {
  voices[v] = Voice{true, note, channel, busyCount() + 1};
}

void VoiceTable::free(int32_t v) {
  const int32_t age = voices[v].age;
  for (Voice& other : voices) {
    if (other.busy && other.age > age) --other.age;
  }
  voices[v] = Voice{};
}

}  // namespace zv::control

using namespace zv::control;

ZvmodCS::ZvmodCS(IMpUnknown* host) : MpBase(host) {
  registerPin(MIDI_IN, midiIn_);
  registerPin(VOICE_OUT, voiceOut_);
  registerPin(ALLOCATION_MODE, allocationMode_);
  registerPin(VOICES, voices_);
  registerPin(ROUND_ROBIN, roundRobin_);
  registerPin(STEAL_MODE, stealMode_);
  registerPin(SPARE, spare_);
  registerPin(SPARE_2, spare2_);
  registerPin(ON, on_);
  registerPin(CHANNEL, channel_);
  registerPin(SPLIT_OUT, splitOut_);
  registerPin(VOICE_LOW, voiceLow_);
  registerPin(VOICE_HIGH, voiceHigh_);
  registerPin(SPLIT_LOW, splitLow_);
  registerPin(SPLIT_HIGH, splitHigh_);
}

int32_t ZvmodCS::voiceCount() const { return std::clamp<int32_t>(voices_, 1, VoiceTable::kVoices); }

void ZvmodCS::send(MidiOutPin& pin, int32_t status, int32_t data1, int32_t data2) {
  const ShortMessage message = shortMessage(status, data1, data2);
  pin.send(message.data(), 3);
}

void ZvmodCS::midiReceived(int32_t, const unsigned char* data, int32_t size) {
  // Notes and controllers are three bytes; anything shorter would be read
  // past its end, and data bytes of 0x80 and up are not MIDI.
  if (on_ != 1 || data == nullptr || size != 3) return;
  const int32_t status = data[0];
  const int32_t note = data[1];
  const int32_t velocity = data[2];
  if (status < 0x80 || note >= 0x80 || velocity >= 0x80) return;
  const int32_t kind = status & 0xF0;
  const int32_t channel = status & 0x0F;
  // -1 takes every channel; any other value only its own, so one outside
  // 0..15 takes none.
  if (channel_ != -1 && channel != channel_) return;

  if (kind == kControlChange && note == kAllNotesOff) {
    endAllNotes(channel);
    return;
  }
  if (kind != kNoteOn && kind != kNoteOff) return;
  const bool noteOn = kind == kNoteOn && velocity > 0;
  if (allocationMode_ == 1) {
    layer(status, note, velocity);
    return;
  }
  if (allocationMode_ != 0) return;
  if (inSplitRange(note)) {
    send(splitOut_, status, note, velocity);
    if (noteOn) splitChannels_ |= 1u << channel;
  }
  if (!inVoiceRange(note)) return;
  if (noteOn) {
    allocate(channel, note, velocity);
  } else {
    releaseNote(status, channel, note, velocity);
  }
}

void ZvmodCS::allocate(int32_t channel, int32_t note, int32_t velocity) {
  const int32_t n = voiceCount();
  if (table_.busyCount() >= n) {
    int32_t victim = -1;
    if (stealMode_ == STEAL_OLDEST) victim = table_.withAge(1);
    if (stealMode_ == STEAL_NEWEST) victim = table_.withAge(table_.busyCount());
    if (victim >= 0) {
      // Ended on its own channel, which may differ from the new note's.
      const VoiceTable::Voice& old = table_.voices[victim];
      send(voiceOut_, kNoteOn | old.channel, old.note, 0);
      table_.free(victim);
    }
  }
  if (roundRobin_ != 1 || robinPosition_ > n - 1) robinPosition_ = 0;
  const int32_t v = table_.firstFree(n, robinPosition_);
  if (v < 0) return;
  send(voiceOut_, kNoteOn | channel, note, velocity);
  table_.start(v, note, channel);
  voiceChannels_ |= 1u << channel;
  if (roundRobin_ == 1) robinPosition_ = v + 1;
}

void ZvmodCS::releaseNote(int32_t status, int32_t channel, int32_t note, int32_t velocity) {
  const int32_t v = table_.find(voiceCount(), note, channel);
  if (v < 0) return;
  send(voiceOut_, status, note, velocity);
  table_.free(v);
}

void ZvmodCS::layer(int32_t status, int32_t note, int32_t velocity) {
  const int32_t copies = std::min(voiceCount(), 3);
  const int32_t kind = status & 0xF0;
  const bool noteOn = kind == kNoteOn && velocity > 0;
  for (int32_t j = 0; j < copies; ++j) {
    send(voiceOut_, kind | j, note, velocity);
    if (noteOn) voiceChannels_ |= 1u << j;
  }
  send(splitOut_, status, note, velocity);
  if (noteOn) splitChannels_ |= 1u << (status & 0x0F);
}

void ZvmodCS::endAllNotes(int32_t channel) {
  // Voices on other channels than the controller's would stick once cleared.
  for (const VoiceTable::Voice& v : table_.voices) {
    if (v.busy) send(voiceOut_, kNoteOff | v.channel, v.note, 0);
  }
  send(voiceOut_, kControlChange | channel, kAllNotesOff, 0);
  send(splitOut_, kControlChange | channel, kAllNotesOff, 0);
  table_.clear();
  robinPosition_ = 0;
}

void ZvmodCS::pinsUpdated() {
  const bool settingChanged = allocationMode_.isUpdated() || voices_.isUpdated() || roundRobin_.isUpdated() ||
                              stealMode_.isUpdated() || spare_.isUpdated() || spare2_.isUpdated() ||
                              channel_.isUpdated() || voiceLow_.isUpdated() || voiceHigh_.isUpdated() ||
                              splitLow_.isUpdated() || splitHigh_.isUpdated();
  // Every value but 1 blocks the note-offs, so leaving 1 for any of them ends the notes.
  const bool switchedOff = on_.isUpdated() && on_ != 1;
  if (!settingChanged && !switchedOff) return;

  for (const VoiceTable::Voice& v : table_.voices) {
    if (v.busy) send(voiceOut_, kNoteOff | v.channel, v.note, 0);
  }
  if (notesSounding_) {
    for (int32_t c = 0; c < 16; ++c) {
      const uint32_t bit = 1u << c;
      if (c == 0 || (voiceChannels_ & bit) != 0) send(voiceOut_, kControlChange | c, kAllNotesOff, 0);
    }
    for (int32_t c = 0; c < 16; ++c) {
      const uint32_t bit = 1u << c;
      if (c == 0 || (splitChannels_ & bit) != 0) send(splitOut_, kControlChange | c, kAllNotesOff, 0);
    }
  }
  table_.clear();
  robinPosition_ = 0;
  voiceChannels_ = 0;
  splitChannels_ = 0;
  notesSounding_ = true;
}
