// "SE Patch Info": mirrors pairs of panel pins, offers a MIDI channel list
// and turns a positive value on pin 10 into a one-shot on pin 4.
#pragma once

#include "frame/gui_base.h"

class PatchInfoGui : public MpGuiBase {
 public:
  enum Pin {
    INT_A,
    TEXT_A,
    TEXT_B,
    INT_B,
    SHOT_OUT,
    INT_A_MIRROR,
    TEXT_A_COPY,
    TEXT_B_MIRROR,
    INT_B_MIRROR,
    CHANNEL_LIST,
    SHOT_IN,
    TEXT_C_COPY,
    TEXT_C,
  };

  explicit PatchInfoGui(IMpUnknown* host);
  int32_t MP_STDCALL initializeGui() override;

 private:
  void onIntA() { intAMirror_ = intA_.getValue(); }
  void onIntAMirror() { intA_ = intAMirror_.getValue(); }
  void onIntB() { intBMirror_ = intB_.getValue(); }
  void onIntBMirror() { intB_ = intBMirror_.getValue(); }
  void onTextA() { textACopy_ = textA_.getValue(); }
  void onTextB() { textBMirror_ = textB_.getValue(); }
  void onTextBMirror() { textB_ = textBMirror_.getValue(); }
  void onTextC() { textCCopy_ = textC_.getValue(); }
  void onShot();

  GuiIntPin intA_;
  GuiStringPin textA_;
  GuiStringPin textB_;
  GuiIntPin intB_;
  GuiIntPin shotOut_;
  GuiIntPin intAMirror_;
  GuiStringPin textACopy_;
  GuiStringPin textBMirror_;
  GuiIntPin intBMirror_;
  GuiStringPin channelList_;
  GuiIntPin shotIn_;
  GuiStringPin textCCopy_;
  GuiStringPin textC_;
};
