// "zv midi on off": passes a MIDI stream, optionally moved onto one channel,
// while On is 1; switching it off or changing the channel ends the notes
// that were sounding.
#pragma once

#include "frame/mp_base.h"
#include "frame/pins.h"
#include "modules/control/midi_message.h"

class MidiOnOff : public MpBase {
 public:
  enum Pin { MIDI_IN, MIDI_OUT, CHANNEL, ON };

  explicit MidiOnOff(IMpUnknown* host);
  void midiReceived(int32_t pin, const unsigned char* data, int32_t size) override;
  void pinsUpdated() override;

 private:
  MidiInPin midiIn_;
  MidiOutPin midiOut_;
  IntInPin channel_;
  IntInPin on_;

  zv::control::Rechanneller rechanneller_;
  int32_t previousChannel_ = -1;
  bool previousValid_ = false;
  bool wasOn_ = false;
};
