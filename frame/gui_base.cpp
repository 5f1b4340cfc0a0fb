#include "frame/gui_base.h"

#include <algorithm>

namespace {

template <class Interface>
Interface* askHost(IMpUnknown* host, const MpGuid& iid) {
  void* answer = nullptr;
  if (host == nullptr || host->queryInterface(&iid, &answer) != MP_OK) return nullptr;
  return static_cast<Interface*>(answer);
}

}  // namespace

MpGuiBase::MpGuiBase(IMpUnknown* host) : guiHost_(askHost<IMpGuiHost>(host, MP_IID_GUI_HOST)) {
  if (guiHost_ == nullptr) throw "host Interfaces not supported";
}

MpGuiBase::~MpGuiBase() {
  pins_.clear();
  if (guiHost_ != nullptr) guiHost_->release();
}

int32_t MP_STDCALL MpGuiBase::queryInterface(const MpGuid* iid, void** returnInterface) {
  if (returnInterface == nullptr) return MP_FAIL;
  if (mpGuidEqual(iid, MP_IID_UNKNOWN) || mpGuidEqual(iid, MP_IID_GUI_PLUGIN)) {
    *returnInterface = static_cast<IMpUserInterface*>(this);
    addRef();
    return MP_OK;
  }
  *returnInterface = nullptr;
  return MP_UNHANDLED;
}

int32_t MP_STDCALL MpGuiBase::release() {
  if (--references_ <= 0) {
    delete this;
    return 0;
  }
  return references_;
}

MpGuiPinBase* MpGuiBase::guiPin(int32_t index) const { return pins_.find(index); }

int32_t MP_STDCALL MpGuiBase::pinValueFromHost(int32_t pin, int32_t voice, int32_t size, const void* data) {
  MpGuiPinBase* target = guiPin(pin);
  if (target == nullptr) return MP_FAIL;
  target->setRawValue(voice, size, data);
  return MP_OK;
}

int32_t MP_STDCALL MpGuiBase::pinNotifyFromHost(int32_t pin, int32_t voice) {
  MpGuiPinBase* target = guiPin(pin);
  if (target == nullptr) return MP_FAIL;
  target->notify(voice);
  return MP_OK;
}

SeGuiCompositedGfxBase::SeGuiCompositedGfxBase(IMpUnknown* host)
    : MpGuiBase(host), graphicsHost_(askHost<IMpGraphicsHost>(host, MP_IID_GRAPHICS_HOST)) {
  if (graphicsHost_ == nullptr) throw "host Interfaces not supported";
}

SeGuiCompositedGfxBase::~SeGuiCompositedGfxBase() {
  if (graphicsHost_ != nullptr) graphicsHost_->release();
}

int32_t MP_STDCALL SeGuiCompositedGfxBase::queryInterface(const MpGuid* iid, void** returnInterface) {
  if (returnInterface != nullptr && mpGuidEqual(iid, MP_IID_GRAPHICS_COMPOSITED)) {
    *returnInterface = static_cast<ISeGraphicsComposited*>(this);
    addRef();
    return MP_OK;
  }
  return MpGuiBase::queryInterface(iid, returnInterface);
}

int32_t MP_STDCALL SeGuiCompositedGfxBase::queryDesiredSize(int32_t availableWidth, int32_t availableHeight,
                                                            int32_t* desiredSize) {
  if (desiredSize == nullptr) return MP_FAIL;
  desiredSize[0] = std::clamp(availableWidth, 15, 100);
  desiredSize[1] = std::clamp(availableHeight, 15, 100);
  return MP_OK;
}
