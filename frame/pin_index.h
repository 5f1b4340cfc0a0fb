// A module's pins by index: a sorted flat list. Modules register their pins
// in index order once, so adding is an append and the list costs one
// allocation rather than one per pin; it is read by index per event.
#pragma once

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

template <class Pin>
class MpPinIndex {
 public:
  using Entry = std::pair<int32_t, Pin*>;

  // The first pin registered at an index keeps it.
  void add(int32_t index, Pin* pin) {
    // Room for most modules' pins at once, rather than growing by doubling.
    if (entries_.capacity() == 0) entries_.reserve(kTypicalPins);
    if (entries_.empty() || entries_.back().first < index) {
      entries_.emplace_back(index, pin);
      return;
    }
    auto at = lowerBound(index);
    if (at != entries_.end() && at->first == index) return;
    entries_.emplace(at, index, pin);
  }
  Pin* find(int32_t index) const {
    auto at = std::lower_bound(entries_.begin(), entries_.end(), index,
                               [](const Entry& e, int32_t i) { return e.first < i; });
    return at != entries_.end() && at->first == index ? at->second : nullptr;
  }
  size_t size() const { return entries_.size(); }
  void clear() { entries_.clear(); }
  typename std::vector<Entry>::const_iterator begin() const { return entries_.begin(); }
  typename std::vector<Entry>::const_iterator end() const { return entries_.end(); }

 private:
  static constexpr size_t kTypicalPins = 24;
  typename std::vector<Entry>::iterator lowerBound(int32_t index) {
    return std::lower_bound(entries_.begin(), entries_.end(), index,
                            [](const Entry& e, int32_t i) { return e.first < i; });
  }
  std::vector<Entry> entries_;
};
