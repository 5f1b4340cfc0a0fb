#include "modules/gui/full_path_x.h"

#include "modules/gui/resolved_path.h"

FullPathX::FullPathX(IMpUnknown* host) : MpBase(host) {
  registerPin(FILE_NAME, fileName_);
  registerPin(FULL_PATH, fullPath_);
}

void FullPathX::pinsUpdated() {
  if (fileName_.isUpdated()) fullPath_ = zv::gui::resolvedPath(host(), fileName_.getValue());
}

FullPathXGui::FullPathXGui(IMpUnknown* host) : MpGuiBase(host) {
  fileName_.initialize(this, FILE_NAME, &FullPathXGui::refresh);
  textA_.initialize(this, TEXT_A, &FullPathXGui::onTextA);
  textB_.initialize(this, TEXT_B, &FullPathXGui::onTextB);
  fullPath_.initialize(this, FULL_PATH);
  fileNameIn_.initialize(this, FILE_NAME_IN, &FullPathXGui::onFileNameIn);
  fileNameOut_.initialize(this, FILE_NAME_OUT);
}

int32_t MP_STDCALL FullPathXGui::initializeGui() {
  refresh();
  return MP_OK;
}

void FullPathXGui::refresh() {
  fileNameOut_ = fileName_.getValue();
  fileNameIn_ = fileName_.getValue();
  fullPath_ = zv::gui::resolvedPath(guiHost(), fileName_.getValue());
}

void FullPathXGui::onFileNameIn() {
  fileName_ = fileNameIn_.getValue();
  refresh();
}
