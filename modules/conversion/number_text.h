// Numbers to and from text for the converters and the formula evaluator.
//
// Everything here reads and writes in the "C" conventions whatever locale the
// host process has set (a point as decimal separator, no grouping), and never
// writes into a fixed buffer: a float printed with 149 places is ~190
// characters long.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zv::conversion {

// The number at the start of the text, as the C library's text-to-double
// reads it: leading white space, a sign, then a decimal number with optional
// exponent, a hexadecimal "0x" number, "inf", "infinity" or "nan". Reading
// stops at the first character that does not fit; 0 when nothing is read.
// Values beyond the double range give ±infinity, values below it ±0.
double parseDoublePrefix(std::string_view text);

// The base-10 integer at the start of the text (white space, sign, digits),
// saturated to the int32 range; 0 when nothing is read.
int32_t parseIntPrefix(std::string_view text);

// Nearest float; beyond the float range (after rounding) ±infinity, without
// the undefined out-of-range conversion.
float narrowToFloat(double v);

// Fixed-point text with `places` decimals (0..149), like "%.*f"; "inf",
// "-inf", "nan" for the special values.
std::string formatFixed(double v, int32_t places);

// Decimal text of an integer, like "%d".
std::string formatInt(int32_t v);

}  // namespace zv::conversion
