#include "host/gui_pump.h"

namespace zvhost {

void GuiPump::post(int instance, int32_t pin, const void* data, int32_t size) {
  const auto* bytes = static_cast<const uint8_t*>(data);
  queue_.push_back({instance, pin, size > 0 ? RawValue(bytes, bytes + size) : RawValue()});
}

void GuiPump::pump() {
  if (pumping_) return;
  pumping_ = true;
  size_t delivered = 0;
  while (!queue_.empty() && delivered < kMostDeliveries) {
    Delivery d = std::move(queue_.front());
    queue_.pop_front();
    if (deliver_) deliver_(d.instance, d.pin, d.value);
    ++delivered;
  }
  queue_.clear();
  pumping_ = false;
}

void GuiPump::afterBlock(int32_t frames, float sampleRate) {
  pump();
  clockMs_ += 1000.0 * frames / sampleRate;
  if (tick_ == nullptr) return;
  while (clockMs_ >= nextTickMs_) {
    const int32_t interval = tick_();
    nextTickMs_ += interval > 0 ? interval : 50;
    pump();
  }
}

}  // namespace zvhost
