#include "modules/gui/patch_info_gui.h"

PatchInfoGui::PatchInfoGui(IMpUnknown* host) : MpGuiBase(host) {
  intA_.initialize(this, INT_A, &PatchInfoGui::onIntA);
  textA_.initialize(this, TEXT_A, &PatchInfoGui::onTextA);
  textB_.initialize(this, TEXT_B, &PatchInfoGui::onTextB);
  intB_.initialize(this, INT_B, &PatchInfoGui::onIntB);
  shotOut_.initialize(this, SHOT_OUT);
  intAMirror_.initialize(this, INT_A_MIRROR, &PatchInfoGui::onIntAMirror);
  textACopy_.initialize(this, TEXT_A_COPY);
  textBMirror_.initialize(this, TEXT_B_MIRROR, &PatchInfoGui::onTextBMirror);
  intBMirror_.initialize(this, INT_B_MIRROR, &PatchInfoGui::onIntBMirror);
  channelList_.initialize(this, CHANNEL_LIST);
  shotIn_.initialize(this, SHOT_IN, &PatchInfoGui::onShot);
  textCCopy_.initialize(this, TEXT_C_COPY);
  textC_.initialize(this, TEXT_C, &PatchInfoGui::onTextC);
}

int32_t MP_STDCALL PatchInfoGui::initializeGui() {
  // "All" is -1, then the channels 1 ... 16 as the values 0 ... 15.
  channelList_ = MpString(MP_TEXT("All=-1,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16"));
  return MP_OK;
}

void PatchInfoGui::onShot() {
  shotOut_ = shotIn_.getValue();
  // A positive value is a one-shot: it reaches pin 4 once, then both rest at 0.
  if (shotIn_.getValue() > 0) {
    shotIn_ = 0;
    shotOut_ = 0;
  }
}
