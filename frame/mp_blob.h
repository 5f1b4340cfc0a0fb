// Binary pin value: a byte count and an owned copy of the bytes.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

class MpBlob {
 public:
  MpBlob() = default;
  MpBlob(int32_t size, const void* data) { assign(size, data); }

  // A size of 0 or less holds no bytes; a null pointer with a positive size
  // holds zeros.
  void assign(int32_t size, const void* data) {
    bytes_.assign(size > 0 ? static_cast<size_t>(size) : 0, 0);
    if (size > 0 && data != nullptr) std::memcpy(bytes_.data(), data, bytes_.size());
  }
  int32_t size() const { return static_cast<int32_t>(bytes_.size()); }
  const uint8_t* data() const { return bytes_.empty() ? nullptr : bytes_.data(); }
  uint8_t* data() { return bytes_.empty() ? nullptr : bytes_.data(); }

  friend bool operator==(const MpBlob& a, const MpBlob& b) { return a.bytes_ == b.bytes_; }
  friend bool operator!=(const MpBlob& a, const MpBlob& b) { return !(a == b); }

 private:
  std::vector<uint8_t> bytes_;
};
