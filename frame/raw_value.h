// Conversions between typed pin values and the raw bytes that cross the host
// boundary. Shared by audio-side control pins and GUI pins, so that both read
// a host value the same way and never past the bytes they were given.
#pragma once

#include <cstdint>
#include <cstring>

#include "frame/mp_blob.h"
#include "frame/wide_text.h"

template <class T>
struct RawValue;

// Change detection for pin values: equal values are the same, and so are two
// NaNs (NaN != NaN would make every echo between two pins look like a change).
template <class T>
inline bool mpSameValue(const T& a, const T& b) {
  return a == b;
}
template <>
inline bool mpSameValue<float>(const float& a, const float& b) {
  return a == b || (a != a && b != b);
}

// 4-byte values take the first four bytes; fewer bytes are zero-extended.
template <class T>
struct RawFourBytes {
  static void set(T& value, int32_t size, const void* data) {
    uint8_t bytes[4] = {0, 0, 0, 0};
    if (data != nullptr && size > 0) std::memcpy(bytes, data, size < 4 ? size : 4);
    std::memcpy(&value, bytes, 4);
  }
  static int32_t size(const T&) { return 4; }
  static const void* pointer(const T& value) { return &value; }
};

template <>
struct RawValue<float> : RawFourBytes<float> {};
template <>
struct RawValue<int32_t> : RawFourBytes<int32_t> {};

// A 4-byte value is true when non-zero; any other size takes its first byte.
template <>
struct RawValue<bool> {
  static void set(bool& value, int32_t size, const void* data) {
    if (data == nullptr || size <= 0) {
      value = false;
    } else if (size == 4) {
      int32_t word;
      std::memcpy(&word, data, 4);
      value = word != 0;
    } else {
      value = *static_cast<const uint8_t*>(data) != 0;
    }
  }
  static int32_t size(const bool&) { return 1; }
  static const void* pointer(const bool& value) { return &value; }
};

// size / 2 characters; an odd last byte is dropped.
template <>
struct RawValue<MpString> {
  static void set(MpString& value, int32_t size, const void* data) {
    size_t count = (data != nullptr && size > 0) ? static_cast<size_t>(size) / 2 : 0;
    value.resize(count);
    if (count > 0) std::memcpy(value.data(), data, count * 2);
  }
  static int32_t size(const MpString& value) { return static_cast<int32_t>(value.size() * 2); }
  static const void* pointer(const MpString& value) { return value.data(); }
};

template <>
struct RawValue<MpBlob> {
  static void set(MpBlob& value, int32_t size, const void* data) { value.assign(data != nullptr ? size : 0, data); }
  static int32_t size(const MpBlob& value) { return value.size(); }
  static const void* pointer(const MpBlob& value) { return value.data(); }
};
