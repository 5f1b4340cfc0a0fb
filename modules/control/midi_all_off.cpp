#include "modules/control/midi_all_off.h"

using namespace zv::control;

MidiAllOff::MidiAllOff(IMpUnknown* host) : MpBase(host) {
  registerPin(MIDI_IN, midiIn_);
  registerPin(MIDI_OUT, midiOut_);
  registerPin(CHANNEL, channel_);
}

void MidiAllOff::midiReceived(int32_t, const unsigned char* data, int32_t size) {
  // Without a channel to move it to, the stream is muted.
  const int32_t channel = channelOrNone(channel_);
  if (channel < 0) return;
  if (const unsigned char* out = rechanneller_.apply(data, size, channel)) midiOut_.send(out, size);
}

void MidiAllOff::pinsUpdated() {
  const int32_t channel = channelOrNone(channel_);
  const bool changed = channel_.isUpdated() && previousValid_ && channel != previousChannel_;
  if (changed && previousChannel_ >= 0) {
    const ShortMessage off = shortMessage(kControlChange | previousChannel_, kAllNotesOff, 0);
    midiOut_.send(off.data(), 3);
  }
  previousChannel_ = channel;
  previousValid_ = true;
}
