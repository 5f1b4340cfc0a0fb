// The two-pin converters: pin 0 holds a value of type A, pin 1 its
// conversion to type B, and each pin's change is converted into the other.
// A value is sent only when it differs from the pin's current one (two NaNs
// count as the same), so two converters wired back to back settle after one
// exchange.
//
// SimpleConverter is the audio side (it acts only in pinsUpdated, never
// renders, and sleeps); SimpleGuiConverter the GUI side.
#pragma once

#include <cstdint>

#include "frame/gui_base.h"
#include "frame/pins.h"
#include "modules/conversion/value_conversion.h"

namespace zv::conversion {

// The control-pin datatype of each value type; a list choice is an int with
// MP_DT_ENUM instead.
template <class T>
constexpr bool kHasPinCode = false;
template <class T>
constexpr MpDatatype kPinCode = MP_DT_INT;
template <>
inline constexpr bool kHasPinCode<int32_t> = true;
template <>
inline constexpr bool kHasPinCode<float> = true;
template <>
inline constexpr MpDatatype kPinCode<float> = MP_DT_FLOAT;
template <>
inline constexpr bool kHasPinCode<bool> = true;
template <>
inline constexpr MpDatatype kPinCode<bool> = MP_DT_BOOL;
template <>
inline constexpr bool kHasPinCode<MpString> = true;
template <>
inline constexpr MpDatatype kPinCode<MpString> = MP_DT_TEXT;
template <>
inline constexpr bool kHasPinCode<MpBlob> = true;
template <>
inline constexpr MpDatatype kPinCode<MpBlob> = MP_DT_BLOB;

}  // namespace zv::conversion

template <class A, class B, MpDatatype CodeA = zv::conversion::kPinCode<A>>
class SimpleConverter : public MpBase {
  static_assert(zv::conversion::kHasPinCode<A> && zv::conversion::kHasPinCode<B>, "no control pin for this value type");

 public:
  enum Pin { VALUE_IN, VALUE_OUT };

  explicit SimpleConverter(IMpUnknown* host) : MpBase(host) {
    registerPin(VALUE_IN, in_);
    registerPin(VALUE_OUT, out_);
  }

  void pinsUpdated() override {
    if (in_.isUpdated()) out_.setValue(zv::conversion::convert<B>(in_.getValue()));
    if (out_.isUpdated()) in_.setValue(zv::conversion::convert<A>(out_.getValue()));
  }

 private:
  MpControlPin<A, MP_PIN_IN, CodeA> in_;
  MpControlPin<B, MP_PIN_OUT, zv::conversion::kPinCode<B>> out_;
};

template <class A, class B>
class SimpleGuiConverter : public MpGuiBase {
 public:
  enum Pin { VALUE_IN, VALUE_OUT };

  explicit SimpleGuiConverter(IMpUnknown* host) : MpGuiBase(host) {
    in_.initialize(this, VALUE_IN, &SimpleGuiConverter::onInput);
    out_.initialize(this, VALUE_OUT, &SimpleGuiConverter::onOutput);
  }

 private:
  void onInput() { out_.setValue(zv::conversion::convert<B>(in_.getValue())); }
  void onOutput() { in_.setValue(zv::conversion::convert<A>(out_.getValue())); }

  MpGuiPin<A> in_;
  MpGuiPin<B> out_;
};
