// Raw pin values as they cross the boundary: 4-byte int and float, 1-byte
// bool, UTF-16 text without terminator, blobs as bytes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zvhost {

using RawValue = std::vector<uint8_t>;

RawValue rawFloat(float value);
RawValue rawInt(int32_t value);
RawValue rawBool(bool value);
RawValue rawText(const std::string& utf8);
// Why a number cannot be given to a pin of the datatype ("beyond the
// range of a float"), empty when it can: float and audio pins take finite
// numbers that stay finite as floats, int and enum pins numbers whose whole
// part is an int32. Such a value never becomes another one silently.
std::string numberProblem(int32_t datatype, double value);
// A number given to a pin of the datatype: truncated toward zero for int
// pins, non-zero test for bool pins; nullopt when numberProblem names one.
std::optional<RawValue> rawFromNumber(int32_t datatype, double value);
// The same bytes written into out, without allocating, for values the host
// itself produces: out-of-range numbers are clamped (NaN-safe), not refused.
// Their count, 0 when the datatype takes no number.
int32_t numberBytes(int32_t datatype, double value, uint8_t (&out)[8]);
// A description default or patch text for the datatype; nullopt if it does
// not parse as one or its number does not fit.
std::optional<RawValue> rawFromText(int32_t datatype, const std::string& text);
// The zero value of the datatype (empty text, empty blob).
RawValue rawZero(int32_t datatype);
float rawAsFloat(const RawValue& raw);
// A parameter's normalised position: where a float, int or bool value lies
// in low..high, as a float from 0 to 1 (clamped; bool: false 0, true 1);
// nullopt for NaN and for other datatypes.
std::optional<RawValue> normalizedFromRaw(int32_t datatype, const RawValue& value, double low, double high);
// The value at a normalised position (clamped to 0..1; ints to the nearest
// whole number, bool true from 0.5); nullopt for a NaN position and for
// other datatypes.
std::optional<RawValue> rawFromNormalized(int32_t datatype, float position, double low, double high);
// Whether two values of the datatype are the same: byte for byte, but any
// two float NaNs are the same, so that a NaN echoed back is no change.
bool sameRaw(int32_t datatype, const RawValue& a, const RawValue& b);

}  // namespace zvhost
