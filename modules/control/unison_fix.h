// "SE Unison Fix": moves every sounding note to a key of its own on channel
// 1 and retunes that key to the incoming note's pitch, so that equal notes
// on several channels never collide at the receiver.
#pragma once

#include "frame/mp_base.h"
#include "frame/pins.h"
#include "modules/control/unison_slots.h"

class UnisonFix : public MpBase, private zv::control::UnisonSlots {
 public:
  enum Pin { MIDI_IN, MIDI_OUT };

  explicit UnisonFix(IMpUnknown* host);
  void midiReceived(int32_t pin, const unsigned char* data, int32_t size) override;

 private:
  void emit(const uint8_t* message, size_t size) override;

  MidiInPin midiIn_;
  MidiOutPin midiOut_;
};
