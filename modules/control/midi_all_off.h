// "zv midi all off": moves a MIDI stream onto one channel, and ends the
// notes left sounding on the old channel when the channel changes.
#pragma once

#include "frame/mp_base.h"
#include "frame/pins.h"
#include "modules/control/midi_message.h"

class MidiAllOff : public MpBase {
 public:
  enum Pin { MIDI_IN, MIDI_OUT, CHANNEL };

  explicit MidiAllOff(IMpUnknown* host);
  void midiReceived(int32_t pin, const unsigned char* data, int32_t size) override;
  void pinsUpdated() override;

 private:
  MidiInPin midiIn_;
  MidiOutPin midiOut_;
  IntInPin channel_;

  zv::control::Rechanneller rechanneller_;
  int32_t previousChannel_ = -1;
  bool previousValid_ = false;
};
