// The converters' one conversion table: how a value of one pin type becomes
// a value of another. Both converter families and both directions use it.
//
//   int -> bool   v != 0            float -> bool  v > 0 (NaN false)
//   bool -> int   1 or 0            bool -> float  1.0 or 0.0
//   int -> float  nearest           float -> int   toward zero, clamped, NaN 0
//   int -> text   "%d"              float -> text  "%f" of the double
//   bool -> text  "1" or "0"        text -> bool   exactly "1"
//   text -> int   leading base-10 integer, saturated, 0 when none
//   text -> float leading number, beyond the float range ±infinity
//   blob -> text  "%02X " per byte  text -> blob   hex digit pairs, spaces skipped
#pragma once

#include <cstdint>
#include <type_traits>

#include "frame/mp_blob.h"
#include "frame/wide_text.h"

namespace zv::conversion {

bool toBool(int32_t v);
bool toBool(float v);
bool toBool(const MpString& text);
int32_t toInt(bool v);
int32_t toInt(float v);
int32_t toInt(const MpString& text);
float toFloat(bool v);
float toFloat(int32_t v);
float toFloat(const MpString& text);
MpString toText(int32_t v);
MpString toText(float v);
MpString toText(bool v);
MpString toText(const MpBlob& blob);
MpBlob toBlob(const MpString& text);

// The ASCII prefix of a wide text, where a number can be: the first
// character beyond ASCII ends it.
std::string asciiPrefix(const MpString& text);

template <class To, class From>
To convert(const From& v) {
  if constexpr (std::is_same_v<To, From>) {
    return v;
  } else if constexpr (std::is_same_v<To, bool>) {
    return toBool(v);
  } else if constexpr (std::is_same_v<To, int32_t>) {
    return toInt(v);
  } else if constexpr (std::is_same_v<To, float>) {
    return toFloat(v);
  } else if constexpr (std::is_same_v<To, MpString>) {
    return toText(v);
  } else {
    static_assert(std::is_same_v<To, MpBlob>);
    return toBlob(v);
  }
}

}  // namespace zv::conversion
