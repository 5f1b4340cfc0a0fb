#include "frame/gui_timer.h"

#include <algorithm>

#include "frame/platform/platform_timer.h"

TimerClient::~TimerClient() { SharedGuiTimer::instance().remove(this); }
void TimerClient::startTimer() { SharedGuiTimer::instance().add(this); }
void TimerClient::stopTimer() { SharedGuiTimer::instance().remove(this); }
void TimerClient::setTimerInterval(int32_t milliseconds) { SharedGuiTimer::instance().setInterval(milliseconds); }

SharedGuiTimer& SharedGuiTimer::instance() {
  static SharedGuiTimer timer;
  return timer;
}

SharedGuiTimer::~SharedGuiTimer() {
  stop();
  clients_.clear();
}

bool SharedGuiTimer::isListed(const TimerClient* client) const {
  return std::find(clients_.begin(), clients_.end(), client) != clients_.end();
}

void SharedGuiTimer::add(TimerClient* client) {
  if (isListed(client)) return;
  clients_.push_back(client);
  if (clients_.size() == 1) {
    stop();
    start();
  }
}

void SharedGuiTimer::remove(TimerClient* client) {
  auto found = std::find(clients_.begin(), clients_.end(), client);
  if (found == clients_.end()) return;
  clients_.erase(found);
  if (clients_.empty()) stop();
}

void SharedGuiTimer::setInterval(int32_t milliseconds) {
  interval_ = milliseconds;
  if (isRunning()) stop();
  if (!clients_.empty()) start();
}

void SharedGuiTimer::tick() {
  // Clients may start, stop or destroy clients from inside onTimer.
  std::vector<TimerClient*> snapshot = clients_;
  for (TimerClient* client : snapshot) {
    if (!isListed(client)) continue;
    if (!client->onTimer()) remove(client);
  }
}

void SharedGuiTimer::start() { platformTimer_ = platformStartTimer(interval_); }

void SharedGuiTimer::stop() {
  if (platformTimer_ != 0) platformStopTimer(platformTimer_);
  platformTimer_ = 0;
}
