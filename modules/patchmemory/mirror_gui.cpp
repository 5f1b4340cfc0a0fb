#include "modules/patchmemory/mirror_gui.h"

namespace zv::patchmemory {
namespace {

std::unique_ptr<MpGuiPinSimpleBase> makePin(PinKind kind) {
  switch (kind) {
    case PinKind::Float: return std::make_unique<GuiFloatPin>();
    case PinKind::Int: return std::make_unique<GuiIntPin>();
    case PinKind::Bool: return std::make_unique<GuiBoolPin>();
    case PinKind::Text: return std::make_unique<GuiStringPin>();
    case PinKind::Blob: return std::make_unique<GuiBlobPin>();
    case PinKind::None: break;
  }
  return nullptr;
}

}  // namespace

MirrorGui::MirrorGui(IMpUnknown* host, const MirrorLayout& layout) : MpGuiBase(host), layout_(layout) {
  for (int32_t index = 0; index < kMaxPins; ++index) {
    owned_[index] = makePin(layout.pins[index]);
    if (owned_[index]) owned_[index]->initialize(this, index);
  }
}

int32_t MP_STDCALL MirrorGui::pinNotifyFromHost(int32_t pin, int32_t voice) {
  int32_t result = MpGuiBase::pinNotifyFromHost(pin, voice);
  if (result == MP_OK) mirrorFrom(pin);
  return result;
}

void MirrorGui::mirrorFrom(int32_t source) {
  for (const Mirror& m : layout_.mirrors) {
    if (m.from == source) {
      copy(m.from, m.to);
    } else if (m.bothWays && m.to == source) {
      copy(m.to, m.from);
    }
  }
}

void MirrorGui::copy(int32_t from, int32_t to) {
  const MpGuiPinSimpleBase& source = *owned_[from];
  MpGuiPinSimpleBase& target = *owned_[to];
  // The pin's own comparison decides, which holds two NaNs the same: a NaN
  // echoed back by the host then stops here instead of bouncing for ever.
  if (!target.setRawValue(0, source.rawSize(), source.rawPointer())) return;
  guiHost_->sendGuiPinValue(to, target.rawSize(), target.rawPointer(), 0);
}

}  // namespace zv::patchmemory
