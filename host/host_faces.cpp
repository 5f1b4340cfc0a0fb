#include "host/host_faces.h"

#include <cstring>

#include "host/canvas.h"
#include "host/engine.h"

namespace zvhost {

int32_t AudioHostFace::queryInterface(const MpGuid* iid, void** out) {
  if (out == nullptr) return MP_FAIL;
  *out = nullptr;
  if (!mpGuidEqual(iid, MP_IID_AUDIO_HOST) && !mpGuidEqual(iid, MP_IID_UNKNOWN)) return MP_UNHANDLED;
  *out = static_cast<IMpAudioHost*>(this);
  addRef();
  return MP_OK;
}

int32_t AudioHostFace::sendPinValue(int32_t position, int32_t pin, int32_t size, const void* data) {
  return engine_.onSendValue(instance_, position, pin, size, data);
}

int32_t AudioHostFace::sendPinStreaming(int32_t position, int32_t pin, bool streaming) {
  return engine_.onSendStreaming(instance_, position, pin, streaming);
}

int32_t AudioHostFace::requestSleep() {
  engine_.onRequestSleep(instance_);
  return MP_OK;
}

int32_t AudioHostFace::queryBlockSize(int32_t* out) {
  if (out == nullptr) return MP_FAIL;
  *out = engine_.settings().blockSize;
  return MP_OK;
}

int32_t AudioHostFace::querySampleRate(float* out) {
  if (out == nullptr) return MP_FAIL;
  *out = engine_.settings().sampleRate;
  return MP_OK;
}

int32_t AudioHostFace::openNamedMemory(const MpChar* name, void** out, float rate, int32_t size,
                                       int32_t* needInitialise) {
  return engine_.onOpenNamedMemory(instance_, name, out, rate, size, needInitialise);
}

int32_t AudioHostFace::resolveFilePath(const MpChar* name, int32_t capacity, MpChar* out) {
  return engine_.onResolveFilePath(instance_, name, capacity, out);
}

int32_t GraphicsHostFace::queryInterface(const MpGuid* iid, void** out) {
  if (out == nullptr) return MP_FAIL;
  *out = nullptr;
  if (!mpGuidEqual(iid, MP_IID_GRAPHICS_HOST)) return MP_UNHANDLED;
  *out = static_cast<IMpGraphicsHost*>(this);
  addRef();
  return MP_OK;
}

int32_t GraphicsHostFace::getStyle(const MpChar*, MpStyleRecord* style, const MpRect*) {
  if (style == nullptr) return MP_FAIL;
  std::memset(style, 0, sizeof(*style));
  style->values[2] = static_cast<int32_t>(kPanelBackground);
  return MP_OK;
}

int32_t GuiHostFace::queryInterface(const MpGuid* iid, void** out) {
  if (out == nullptr) return MP_FAIL;
  *out = nullptr;
  if (mpGuidEqual(iid, MP_IID_GRAPHICS_HOST)) return graphics_.queryInterface(iid, out);
  if (!mpGuidEqual(iid, MP_IID_GUI_HOST) && !mpGuidEqual(iid, MP_IID_UNKNOWN)) return MP_UNHANDLED;
  *out = static_cast<IMpGuiHost*>(this);
  addRef();
  return MP_OK;
}

int32_t GuiHostFace::sendGuiPinValue(int32_t pin, int32_t size, const void* data, int32_t) {
  return engine_.onSendGuiValue(instance_, pin, size, data);
}

int32_t GuiHostFace::resolveFilePath(const MpChar* name, int32_t capacity, MpChar* out) {
  return engine_.onResolveFilePath(instance_, name, capacity, out);
}

int32_t GuiHostFace::queryPinCount(int32_t* out) {
  if (out == nullptr) return MP_FAIL;
  *out = engine_.guiPinCount(instance_);
  return MP_OK;
}

}  // namespace zvhost
