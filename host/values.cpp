#include "host/values.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "frame/interfaces.h"
#include "host/text.h"

namespace zvhost {
namespace {

template <class T>
RawValue bytesOf(T value) {
  RawValue raw(sizeof(T));
  std::memcpy(raw.data(), &value, sizeof(T));
  return raw;
}

// Halfway between the largest float and the next power of two: finite
// doubles from here on would round to infinity.
constexpr double kFloatOverflow = 0x1.ffffffp+127;

// A finite double beyond the float range converts to the largest float; the
// bare conversion is undefined there.
float clampToFloat(double value) {
  if (std::isfinite(value) && std::fabs(value) > std::numeric_limits<float>::max())
    return value > 0.0 ? std::numeric_limits<float>::max() : std::numeric_limits<float>::lowest();
  return static_cast<float>(value);
}

int32_t clampToInt(double value) {
  if (!(value == value)) return 0;
  if (value >= 2147483647.0) return std::numeric_limits<int32_t>::max();
  if (value <= -2147483648.0) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(value);
}

}  // namespace

RawValue rawFloat(float value) { return bytesOf(value); }
RawValue rawInt(int32_t value) { return bytesOf(value); }
RawValue rawBool(bool value) { return RawValue{static_cast<uint8_t>(value ? 1 : 0)}; }

RawValue rawText(const std::string& utf8) {
  WideString wide = utf8ToWide(utf8);
  RawValue raw(wide.size() * sizeof(MpChar));
  if (!raw.empty()) std::memcpy(raw.data(), wide.data(), raw.size());
  return raw;
}

int32_t numberBytes(int32_t datatype, double value, uint8_t (&out)[8]) {
  switch (datatype) {
    case MP_DT_AUDIO:
    case MP_DT_FLOAT: {
      const float f = clampToFloat(value);
      std::memcpy(out, &f, sizeof f);
      return sizeof f;
    }
    case MP_DT_INT:
    case MP_DT_ENUM: {
      const int32_t i = clampToInt(value);
      std::memcpy(out, &i, sizeof i);
      return sizeof i;
    }
    case MP_DT_BOOL: out[0] = value != 0.0 && value == value ? 1 : 0; return 1;
    default: return 0;
  }
}

std::string numberProblem(int32_t datatype, double value) {
  switch (datatype) {
    case MP_DT_AUDIO:
    case MP_DT_FLOAT:
      if (value != value) return "not a number";
      if (std::isinf(value)) return "infinite";
      if (!(std::fabs(value) < kFloatOverflow)) return "beyond the range of a float (3.4e38)";
      return {};
    case MP_DT_INT:
    case MP_DT_ENUM:
      if (value != value) return "not a number";
      if (!(value > -2147483649.0 && value < 2147483648.0))
        return "beyond the range of an int (-2147483648 to 2147483647)";
      return {};
    default: return {};
  }
}

std::optional<RawValue> rawFromNumber(int32_t datatype, double value) {
  if (!numberProblem(datatype, value).empty()) return std::nullopt;
  uint8_t bytes[8];
  const int32_t size = numberBytes(datatype, value, bytes);
  if (size == 0) return std::nullopt;
  return RawValue(bytes, bytes + size);
}

std::optional<RawValue> rawFromText(int32_t datatype, const std::string& text) {
  if (datatype == MP_DT_TEXT) return rawText(text);
  if (datatype == MP_DT_BLOB) return RawValue(text.begin(), text.end());
  if (datatype == MP_DT_MIDI) return std::nullopt;
  if (datatype == MP_DT_BOOL) {
    if (text == "true") return rawBool(true);
    if (text == "false") return rawBool(false);
  }
  if (text.empty()) return std::nullopt;
  char* end = nullptr;
  double value = std::strtod(text.c_str(), &end);
  if (end != text.c_str() + text.size()) return std::nullopt;
  return rawFromNumber(datatype, value);
}

RawValue rawZero(int32_t datatype) {
  switch (datatype) {
    case MP_DT_TEXT:
    case MP_DT_BLOB:
    case MP_DT_MIDI: return {};
    case MP_DT_BOOL: return rawBool(false);
    case MP_DT_INT:
    case MP_DT_ENUM: return rawInt(0);
    default: return rawFloat(0.0f);
  }
}

float rawAsFloat(const RawValue& raw) {
  float value = 0.0f;
  if (raw.size() >= sizeof(float)) std::memcpy(&value, raw.data(), sizeof(float));
  return value;
}

std::optional<RawValue> normalizedFromRaw(int32_t datatype, const RawValue& value, double low, double high) {
  double v = 0.0;
  if (datatype == MP_DT_BOOL && value.size() == 1) return rawFloat(value[0] != 0 ? 1.0f : 0.0f);
  if (datatype == MP_DT_FLOAT && value.size() == sizeof(float)) {
    v = rawAsFloat(value);
  } else if (datatype == MP_DT_INT && value.size() == sizeof(int32_t)) {
    int32_t i = 0;
    std::memcpy(&i, value.data(), sizeof i);
    v = i;
  } else {
    return std::nullopt;
  }
  if (std::isnan(v) || !(high > low)) return std::nullopt;
  const double position = (v - low) / (high - low);
  return rawFloat(static_cast<float>(position < 0.0 ? 0.0 : position > 1.0 ? 1.0 : position));
}

std::optional<RawValue> rawFromNormalized(int32_t datatype, float position, double low, double high) {
  if (std::isnan(position)) return std::nullopt;
  const double p = position < 0.0f ? 0.0 : position > 1.0f ? 1.0 : position;
  switch (datatype) {
    case MP_DT_BOOL: return rawBool(p >= 0.5);
    case MP_DT_FLOAT: return rawFloat(clampToFloat(low + p * (high - low)));
    case MP_DT_INT: return rawInt(clampToInt(std::floor(low + p * (high - low) + 0.5)));
    default: return std::nullopt;
  }
}

bool sameRaw(int32_t datatype, const RawValue& a, const RawValue& b) {
  if (a == b) return true;
  if ((datatype != MP_DT_FLOAT && datatype != MP_DT_AUDIO) || a.size() != sizeof(float) || b.size() != sizeof(float))
    return false;
  return std::isnan(rawAsFloat(a)) && std::isnan(rawAsFloat(b));
}

}  // namespace zvhost
