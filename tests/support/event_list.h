// Builds the time-ordered event list that processBlock takes.
//
//   EventList events;
//   events.graphStart().value(0, 2, 0.5f).streaming(10, 1, true).midi(20, 0, {0x90, 60, 100});
//   module.process(64, events);
#pragma once

#include <cstdint>
#include <deque>
#include <initializer_list>
#include <vector>

#include "frame/interfaces.h"
#include "frame/mp_blob.h"
#include "frame/wide_text.h"

class EventList {
 public:
  EventList() = default;
  EventList(const EventList&) = delete;
  EventList& operator=(const EventList&) = delete;

  EventList& graphStart(int32_t time = 0);
  EventList& value(int32_t time, int32_t pin, float v);
  EventList& value(int32_t time, int32_t pin, int32_t v);
  EventList& value(int32_t time, int32_t pin, bool v);
  EventList& value(int32_t time, int32_t pin, const MpString& text);
  EventList& value(int32_t time, int32_t pin, const MpBlob& blob);
  // Any bytes as a pin value; inline when they fit in 8 bytes.
  EventList& raw(int32_t time, int32_t pin, std::vector<uint8_t> bytes);
  EventList& streaming(int32_t time, int32_t pin, bool isStreaming);
  EventList& midi(int32_t time, int32_t pin, std::vector<uint8_t> message);
  // A record as given (only its link is replaced).
  EventList& event(const MpEvent& e);

  // The first record, events linked in time order (stable); null when empty.
  const MpEvent* head();
  bool empty() const { return events_.empty(); }
  void clear();

 private:
  EventList& add(int32_t time, int32_t type, int32_t pin, std::vector<uint8_t> bytes);
  std::deque<MpEvent> events_;
  std::deque<std::vector<uint8_t>> payloads_;
};
