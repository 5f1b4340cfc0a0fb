// "ZvPrgChange": after a program change, lets an audio signal through for a
// set time (modes 0 and 1) or until the next note (mode 2), so that a patch
// can sound or mute around a switch of program. The GUI side copies one
// integer pin into another.
#pragma once

#include <cstdint>

#include "frame/gui_base.h"
#include "frame/mp_base.h"
#include "frame/pins.h"

class PrgCh : public MpBase {
 public:
  enum Pin { PROGRAM, SIGNAL, DURATION, OUTPUT, MIDI_IN, MODE };
  // Mode 0: one window when opened; 1: a window after each program change;
  // 2: pass from a program change until the next note-on.
  enum Mode { WINDOW_AT_START, WINDOW_AFTER_CHANGE, UNTIL_NOTE };

  explicit PrgCh(IMpUnknown* host);
  int32_t MP_STDCALL openModule() override;
  void pinsUpdated() override;
  void midiReceived(int32_t pin, const unsigned char* data, int32_t size) override;

 private:
  void openWindow();
  void subProcessPass(int32_t bufferOffset, int32_t sampleFrames);
  void subProcessSilence(int32_t bufferOffset, int32_t sampleFrames);
  void subProcessWindow(int32_t bufferOffset, int32_t sampleFrames);

  IntInPin program_;
  AudioInPin signal_;
  AudioInPin duration_;
  AudioOutPin output_;
  MidiInPin midiIn_;
  IntInPin mode_;

  bool opened_ = false;
  bool armed_ = false;
  int64_t passed_ = 0;             // samples let through in the current window
  int64_t after_ = 0;              // zeros written since the window's last sample
  float samplesPerUnit_ = 441.0f;  // Duration 1.0 = 10 ms
};

class PrgChGui : public MpGuiBase {
 public:
  explicit PrgChGui(IMpUnknown* host);

 private:
  void onValueIn();

  GuiIntPin value_;
  GuiIntPin valueIn_;
};
