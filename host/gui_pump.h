// The GUI thread's share of an offline render, run between blocks: values
// on their way to GUI-side pins and to parameters are handed over in the
// order sent, and the library's GUI timer is ticked on a clock that follows
// the rendered audio.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>

#include "frame/interfaces.h"
#include "host/values.h"

namespace zvhost {

// One value on its way: to a GUI instance's pin, or to a field of a
// parameter (which passes it on to the pins bound to that field).
struct GuiDelivery {
  enum class Kind { Pin, Parameter };
  Kind kind = Kind::Pin;
  int target = 0;         // instance, or parameter index
  int32_t slot = 0;       // pin index, or field index
  int fromInstance = -1;  // the pin it came from, which it does not go back to
  int32_t fromPin = -1;
  RawValue value;
  int32_t hops = 0;  // deliveries it took to get here
};

class GuiPump {
 public:
  using Deliver = std::function<void(const GuiDelivery&)>;
  // Told of a delivery dropped because its chain went on too long.
  using Cut = std::function<void(const GuiDelivery&)>;

  // period may be null (an older library): the timer is then ticked every
  // period it last reported, or every 50 ms.
  GuiPump(MpGuiTimerTickFunction tick, MpGuiTimerPeriodFunction period, float sampleRate);
  void setDeliver(Deliver deliver) { deliver_ = std::move(deliver); }
  void setCut(Cut cut) { cut_ = std::move(cut); }

  // Queues a value; one posted while a delivery runs is one hop further on.
  void post(GuiDelivery delivery);
  // Delivers everything posted, and what those deliveries post in turn. A
  // call from inside a delivery only posts. A chain of more than kMostHops
  // deliveries (values echoing round a loop that never settles), and
  // anything beyond kMostDeliveries in one pump, is dropped and reported.
  void pump();
  // While held, pump() only leaves things queued (GUI modules starting up
  // are all initialised before any is handed what another sent).
  void hold(bool on) { held_ = on; }
  // After a block of frames: pump, then the timer ticks that fell due.
  void afterBlock(int32_t frames);
  int64_t clock() const { return clock_; }

  static constexpr int32_t kMostHops = 256;
  static constexpr size_t kMostDeliveries = 100000;

 private:
  int64_t samples(int32_t milliseconds) const;
  // A timer that started, stopped or changed its period since the last
  // look runs its first period from now.
  void followTimer();

  MpGuiTimerTickFunction tick_;
  MpGuiTimerPeriodFunction period_;
  float sampleRate_;
  Deliver deliver_;
  Cut cut_;
  std::deque<GuiDelivery> queue_;
  bool pumping_ = false;
  bool held_ = false;
  int32_t currentHops_ = 0;
  int64_t clock_ = 0;  // samples rendered
  int64_t nextTick_ = 0;
  bool timerRunning_ = false;
  int32_t timerPeriod_ = 0;
};

}  // namespace zvhost
