// GUI side shared by the patch-memory modules: pins bound to the fields of a
// host parameter, plain pins for panel controls, and pairs that copy a value
// across whenever the two pins differ. Each module is a table of pin kinds
// and mirror pairs; nothing else distinguishes them.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>

#include "frame/gui_base.h"

namespace zv::patchmemory {

enum class PinKind : uint8_t { None, Float, Int, Bool, Text, Blob };

inline constexpr int32_t kMaxPins = 12;

// Copies from -> to on a change of `from`, and back when bothWays.
struct Mirror {
  int32_t from;
  int32_t to;
  bool bothWays;
};

struct MirrorLayout {
  std::array<PinKind, kMaxPins> pins;  // by index; None is not registered
  std::span<const Mirror> mirrors;
};

// Pairs join registered pins of one kind, so copying the raw bytes copies
// the value exactly.
consteval bool isWellFormed(const MirrorLayout& layout) {
  for (const Mirror& m : layout.mirrors) {
    if (m.from < 0 || m.from >= kMaxPins || m.to < 0 || m.to >= kMaxPins || m.from == m.to) return false;
    if (layout.pins[m.from] == PinKind::None || layout.pins[m.from] != layout.pins[m.to]) return false;
  }
  return true;
}

class MirrorGui : public MpGuiBase {
 public:
  MirrorGui(IMpUnknown* host, const MirrorLayout& layout);

  int32_t MP_STDCALL pinNotifyFromHost(int32_t pin, int32_t voice) override;

 private:
  void mirrorFrom(int32_t source);
  void copy(int32_t from, int32_t to);

  const MirrorLayout& layout_;
  std::array<std::unique_ptr<MpGuiPinSimpleBase>, kMaxPins> owned_;
};

}  // namespace zv::patchmemory
