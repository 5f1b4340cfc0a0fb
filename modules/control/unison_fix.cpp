#include "modules/control/unison_fix.h"

UnisonFix::UnisonFix(IMpUnknown* host) : MpBase(host) {
  registerPin(MIDI_IN, midiIn_);
  registerPin(MIDI_OUT, midiOut_);
}

void UnisonFix::midiReceived(int32_t /*pin*/, const unsigned char* data, int32_t size) {
  if (size <= 0) return;
  receive(data, static_cast<size_t>(size), currentBlockPosition());
}

void UnisonFix::emit(const uint8_t* message, size_t size) { midiOut_.send(message, static_cast<int32_t>(size)); }
