#include "host/gui_pump.h"

#include <cmath>

namespace zvhost {

GuiPump::GuiPump(MpGuiTimerTickFunction tick, MpGuiTimerPeriodFunction period, float sampleRate)
    : tick_(tick), period_(period), sampleRate_(sampleRate) {}

int64_t GuiPump::samples(int32_t milliseconds) const {
  const auto n = static_cast<int64_t>(std::llround(static_cast<double>(milliseconds) * sampleRate_ / 1000.0));
  return n > 0 ? n : 1;
}

void GuiPump::post(GuiDelivery delivery) {
  delivery.hops = pumping_ ? currentHops_ + 1 : 0;
  queue_.push_back(std::move(delivery));
}

void GuiPump::pump() {
  if (pumping_ || held_) return;
  pumping_ = true;
  size_t delivered = 0;
  while (!queue_.empty()) {
    GuiDelivery d = std::move(queue_.front());
    queue_.pop_front();
    if (d.hops > kMostHops || delivered >= kMostDeliveries) {
      if (cut_) cut_(d);
      continue;
    }
    currentHops_ = d.hops;
    if (deliver_) deliver_(d);
    ++delivered;
  }
  currentHops_ = 0;
  pumping_ = false;
  followTimer();
}

void GuiPump::followTimer() {
  if (tick_ == nullptr || period_ == nullptr) return;
  const int32_t period = period_();
  if (period <= 0) {
    timerRunning_ = false;
  } else if (!timerRunning_ || period != timerPeriod_) {
    timerRunning_ = true;
    timerPeriod_ = period;
    nextTick_ = clock_ + samples(period);
  }
}

void GuiPump::afterBlock(int32_t frames) {
  clock_ += frames;
  pump();
  if (tick_ == nullptr) return;
  if (period_ == nullptr) {
    while (clock_ >= nextTick_) {
      const int32_t interval = tick_();
      nextTick_ += samples(interval > 0 ? interval : 50);
      pump();
    }
    return;
  }
  // Ticks that fell due in the block are run at its end, each period
  // counted from the one before.
  while (timerRunning_ && nextTick_ <= clock_) {
    const int64_t due = nextTick_;
    tick_();
    const int32_t period = period_();
    timerRunning_ = period > 0;
    timerPeriod_ = period;
    nextTick_ = due + samples(period > 0 ? period : 1);
    pump();
  }
}

}  // namespace zvhost
