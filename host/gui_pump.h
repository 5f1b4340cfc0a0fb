// The GUI thread's share of an offline render, run between blocks: values
// that GUI-side modules are sent (by the audio side or by each other) are
// delivered in the order sent, and the library's GUI timer is ticked on a
// clock that follows the rendered audio.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>

#include "frame/interfaces.h"
#include "host/values.h"

namespace zvhost {

class GuiPump {
 public:
  // Hands one value to a GUI-side module's pin (set, then notify).
  using Deliver = std::function<void(int instance, int32_t pin, const RawValue& value)>;

  explicit GuiPump(MpGuiTimerTickFunction tick) : tick_(tick) {}
  void setDeliver(Deliver deliver) { deliver_ = std::move(deliver); }

  void post(int instance, int32_t pin, const void* data, int32_t size);
  // Delivers everything posted, and what those deliveries post in turn. A
  // call from inside a delivery only posts. Bounded, so that two GUI
  // modules echoing each other cannot hang the host: what is left after
  // the bound is dropped.
  void pump();
  // After a block of frames: pump, then the timer ticks that fell due.
  void afterBlock(int32_t frames, float sampleRate);

 private:
  struct Delivery {
    int instance;
    int32_t pin;
    RawValue value;
  };
  static constexpr size_t kMostDeliveries = 100000;

  MpGuiTimerTickFunction tick_;
  Deliver deliver_;
  std::deque<Delivery> queue_;
  bool pumping_ = false;
  double clockMs_ = 0.0;
  double nextTickMs_ = 0.0;
};

}  // namespace zvhost
