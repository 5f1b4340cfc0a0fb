#include "tests/support/event_list.h"

#include <algorithm>
#include <cstring>

namespace {

template <class T>
std::vector<uint8_t> bytesOf(const T& value) {
  std::vector<uint8_t> bytes(sizeof(T));
  std::memcpy(bytes.data(), &value, sizeof(T));
  return bytes;
}

}  // namespace

EventList& EventList::add(int32_t time, int32_t type, int32_t pin, std::vector<uint8_t> bytes) {
  MpEvent e{};
  e.time = time;
  e.type = type;
  e.pin = pin;
  e.size = static_cast<int32_t>(bytes.size());
  if (bytes.empty()) {
    // nothing inline
  } else if (bytes.size() <= 8) {
    std::memcpy(&e.data1, bytes.data(), std::min<size_t>(bytes.size(), 4));
    if (bytes.size() > 4) std::memcpy(&e.data2, bytes.data() + 4, bytes.size() - 4);
  } else {
    payloads_.push_back(std::move(bytes));
    e.extra = reinterpret_cast<char*>(payloads_.back().data());
  }
  events_.push_back(e);
  return *this;
}

EventList& EventList::graphStart(int32_t time) { return add(time, MP_EVENT_GRAPH_START, 0, {}); }
EventList& EventList::value(int32_t time, int32_t pin, float v) {
  return add(time, MP_EVENT_PIN_VALUE, pin, bytesOf(v));
}
EventList& EventList::value(int32_t time, int32_t pin, int32_t v) {
  return add(time, MP_EVENT_PIN_VALUE, pin, bytesOf(v));
}
EventList& EventList::value(int32_t time, int32_t pin, bool v) {
  return add(time, MP_EVENT_PIN_VALUE, pin, {static_cast<uint8_t>(v ? 1 : 0)});
}
EventList& EventList::value(int32_t time, int32_t pin, const MpString& text) {
  std::vector<uint8_t> bytes(text.size() * 2);
  if (!text.empty()) std::memcpy(bytes.data(), text.data(), bytes.size());
  // Text always travels as extra data, as a host sends it.
  MpEvent e{};
  e.time = time;
  e.type = MP_EVENT_PIN_VALUE;
  e.pin = pin;
  e.size = static_cast<int32_t>(bytes.size());
  payloads_.push_back(std::move(bytes));
  e.extra = reinterpret_cast<char*>(payloads_.back().data());
  events_.push_back(e);
  return *this;
}
EventList& EventList::value(int32_t time, int32_t pin, const MpBlob& blob) {
  std::vector<uint8_t> bytes(blob.data(), blob.data() + blob.size());
  return raw(time, pin, std::move(bytes));
}
EventList& EventList::raw(int32_t time, int32_t pin, std::vector<uint8_t> bytes) {
  return add(time, MP_EVENT_PIN_VALUE, pin, std::move(bytes));
}
EventList& EventList::streaming(int32_t time, int32_t pin, bool isStreaming) {
  return add(time, isStreaming ? MP_EVENT_STREAMING_START : MP_EVENT_STREAMING_STOP, pin, {});
}
EventList& EventList::midi(int32_t time, int32_t pin, std::vector<uint8_t> message) {
  return add(time, MP_EVENT_MIDI, pin, std::move(message));
}
EventList& EventList::event(const MpEvent& e) {
  events_.push_back(e);
  events_.back().next = nullptr;
  return *this;
}

const MpEvent* EventList::head() {
  if (events_.empty()) return nullptr;
  std::vector<MpEvent*> order;
  for (auto& e : events_) order.push_back(&e);
  std::stable_sort(order.begin(), order.end(), [](const MpEvent* a, const MpEvent* b) { return a->time < b->time; });
  for (size_t i = 0; i + 1 < order.size(); ++i) order[i]->next = order[i + 1];
  order.back()->next = nullptr;
  return order.front();
}

void EventList::clear() {
  events_.clear();
  payloads_.clear();
}
