// MIDI messages of one block with their sample offsets, in arrival order,
// kept in one growing byte store so that a block allocates nothing once
// the store has grown.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zvhost {

class MidiBuffer {
 public:
  void push(int32_t time, const uint8_t* data, int32_t size) {
    if (data == nullptr || size <= 0) return;
    entries_.push_back({time, bytes_.size(), size});
    bytes_.insert(bytes_.end(), data, data + size);
  }
  size_t size() const { return entries_.size(); }
  bool empty() const { return entries_.empty(); }
  int32_t time(size_t i) const { return entries_[i].time; }
  const uint8_t* data(size_t i) const { return bytes_.data() + entries_[i].offset; }
  int32_t length(size_t i) const { return entries_[i].size; }
  void clear() {
    entries_.clear();
    bytes_.clear();
  }
  void swap(MidiBuffer& other) noexcept {
    entries_.swap(other.entries_);
    bytes_.swap(other.bytes_);
  }

 private:
  struct Entry {
    int32_t time;
    size_t offset;
    int32_t size;
  };
  std::vector<Entry> entries_;
  std::vector<uint8_t> bytes_;
};

}  // namespace zvhost
