// One periodic timer for the whole library, giving GUI modules callbacks on
// the GUI thread. The platform layer starts and stops the real timer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class TimerClient {
 public:
  TimerClient() = default;
  TimerClient(const TimerClient&) = delete;
  TimerClient& operator=(const TimerClient&) = delete;
  virtual ~TimerClient();
  // Return false to leave the timer.
  virtual bool onTimer() = 0;

  void startTimer();
  void stopTimer();
  static void setTimerInterval(int32_t milliseconds);
};

class SharedGuiTimer {
 public:
  static SharedGuiTimer& instance();

  void add(TimerClient* client);
  void remove(TimerClient* client);
  void setInterval(int32_t milliseconds);
  // One timer period: calls every client registered when the tick began and
  // still registered when its turn comes.
  void tick();

  int32_t interval() const { return interval_; }
  bool isRunning() const { return platformTimer_ != 0; }
  bool isListed(const TimerClient* client) const;
  size_t clientCount() const { return clients_.size(); }
  ~SharedGuiTimer();

 private:
  void start();
  void stop();

  int32_t interval_ = 50;
  std::vector<TimerClient*> clients_;
  uintptr_t platformTimer_ = 0;
};
