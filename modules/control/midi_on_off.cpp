#include "modules/control/midi_on_off.h"

using namespace zv::control;

MidiOnOff::MidiOnOff(IMpUnknown* host) : MpBase(host) {
  registerPin(MIDI_IN, midiIn_);
  registerPin(MIDI_OUT, midiOut_);
  registerPin(CHANNEL, channel_);
  registerPin(ON, on_);
}

void MidiOnOff::midiReceived(int32_t, const unsigned char* data, int32_t size) {
  if (on_ != 1 || data == nullptr || size <= 0) return;
  const int32_t channel = channelOrNone(channel_);
  const unsigned char* out = channel < 0 ? data : rechanneller_.apply(data, size, channel);
  if (out != nullptr) midiOut_.send(out, size);
}

void MidiOnOff::pinsUpdated() {
  const int32_t channel = channelOrNone(channel_);
  const bool channelChanged = channel_.isUpdated() && channel != previousChannel_;
  // Any value but 1 blocks the note-offs too, so leaving 1 for any of them
  // must end the notes.
  const bool switchedOff = wasOn_ && on_ != 1;
  wasOn_ = on_ == 1;
  if (previousValid_ && (channelChanged || switchedOff)) {
    for (int32_t c = 0; c < 16; ++c) {
      if (previousChannel_ >= 0 && c != previousChannel_) continue;
      const ShortMessage off = shortMessage(kControlChange | c, kAllNotesOff, 0);
      midiOut_.send(off.data(), 3);
    }
  }
  previousChannel_ = channel;
  previousValid_ = true;
}
