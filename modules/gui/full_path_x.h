// "ZV Full Path Memory-x16": keeps a file name and reports the full path the
// host makes of it. The GUI side also mirrors a pair of texts.
#pragma once

#include "frame/gui_base.h"
#include "frame/mp_base.h"
#include "frame/pins.h"

class FullPathX : public MpBase {
 public:
  enum Pin { FILE_NAME, FULL_PATH };

  explicit FullPathX(IMpUnknown* host);
  void pinsUpdated() override;

 private:
  StringInPin fileName_;
  StringOutPin fullPath_;
};

class FullPathXGui : public MpGuiBase {
 public:
  enum Pin { FILE_NAME, TEXT_A, TEXT_B, FULL_PATH, FILE_NAME_IN, FILE_NAME_OUT };

  explicit FullPathXGui(IMpUnknown* host);
  int32_t MP_STDCALL initializeGui() override;

 private:
  void refresh();
  void onTextA() { textB_ = textA_.getValue(); }
  void onTextB() { textA_ = textB_.getValue(); }
  void onFileNameIn();

  GuiStringPin fileName_;
  GuiStringPin textA_;
  GuiStringPin textB_;
  GuiStringPin fullPath_;
  GuiStringPin fileNameIn_;
  GuiStringPin fileNameOut_;
};
