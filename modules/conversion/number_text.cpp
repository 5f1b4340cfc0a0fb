#include "modules/conversion/number_text.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

namespace zv::conversion {

namespace {

bool isBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isHexDigit(char c) { return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

// from_chars leaves the value alone when it is out of range. Whether it
// overflowed or underflowed follows from where the first significant digit
// sits relative to the point, plus the exponent: in decades for decimal
// numbers, in bits (4 per digit) for hexadecimal ones.
bool overflows(std::string_view number, bool hex) {
  const int digitWeight = hex ? 4 : 1;
  const char exponentMark = hex ? 'p' : 'e';
  size_t i = 0;
  while (i < number.size() && number[i] == '0') ++i;
  long long magnitude = 0;
  bool significant = false;
  for (; i < number.size() && (hex ? isHexDigit(number[i]) : isDigit(number[i])); ++i) {
    magnitude += digitWeight;
    significant = true;
  }
  if (i < number.size() && number[i] == '.') {
    for (++i; i < number.size() && (hex ? isHexDigit(number[i]) : isDigit(number[i])); ++i) {
      if (significant) continue;
      if (number[i] != '0')
        significant = true;
      else
        magnitude -= digitWeight;
    }
  }
  if (i < number.size() && (number[i] | 0x20) == exponentMark) {
    ++i;
    bool negative = false;
    if (i < number.size() && (number[i] == '+' || number[i] == '-')) negative = number[i++] == '-';
    long long exponent = 0;
    for (; i < number.size() && isDigit(number[i]); ++i) {
      if (exponent < 1000000000LL) exponent = exponent * 10 + (number[i] - '0');
    }
    magnitude += negative ? -exponent : exponent;
  }
  return magnitude > 0;
}

}  // namespace

double parseDoublePrefix(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && isBlank(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  // from_chars takes its own '-', which must not follow ours.
  if (i >= text.size() || text[i] == '+' || text[i] == '-') return 0.0;

  std::string_view rest = text.substr(i);
  bool hex = false;
  if (rest.size() > 2 && rest[0] == '0' && (rest[1] | 0x20) == 'x' &&
      (isHexDigit(rest[2]) || (rest[2] == '.' && rest.size() > 3 && isHexDigit(rest[3])))) {
    rest.remove_prefix(2);
    hex = true;
  }
  double value = 0.0;
  const auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), value,
                                            hex ? std::chars_format::hex : std::chars_format::general);
  if (error == std::errc::result_out_of_range) {
    value = overflows(std::string_view(rest.data(), static_cast<size_t>(end - rest.data())), hex)
                ? std::numeric_limits<double>::infinity()
                : 0.0;
  } else if (error != std::errc()) {
    return 0.0;
  }
  return negative ? -value : value;
}

int32_t parseIntPrefix(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && isBlank(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  // Accumulated as a negative number, which reaches INT32_MIN.
  constexpr int64_t kLowest = std::numeric_limits<int32_t>::min();
  int64_t value = 0;
  for (; i < text.size() && isDigit(text[i]); ++i) {
    value = value * 10 - (text[i] - '0');
    if (value < kLowest) value = kLowest - 1;  // saturated; stays below the range
  }
  if (negative) return value < kLowest ? std::numeric_limits<int32_t>::min() : static_cast<int32_t>(value);
  return value < -std::numeric_limits<int32_t>::max() ? std::numeric_limits<int32_t>::max()
                                                      : static_cast<int32_t>(-value);
}

float narrowToFloat(double v) {
  // FLT_MAX plus half its last step: from here on the float rounding is infinity.
  constexpr double kRoundsToInfinity = 340282356779733661637539395458142568448.0;
  if (v >= kRoundsToInfinity) return std::numeric_limits<float>::infinity();
  if (v <= -kRoundsToInfinity) return -std::numeric_limits<float>::infinity();
  return static_cast<float>(v);
}

std::string formatFixed(double v, int32_t places) {
  if (places < 0) places = 0;
  if (places > 149) places = 149;
  // Sign, up to 309 integer digits, the point and the decimals.
  std::string text(320 + static_cast<size_t>(places), '\0');
  const auto result = std::to_chars(text.data(), text.data() + text.size(), v, std::chars_format::fixed, places);
  text.resize(result.ec == std::errc() ? static_cast<size_t>(result.ptr - text.data()) : 0);
  return text;
}

std::string formatInt(int32_t v) {
  char digits[16];
  const auto result = std::to_chars(digits, digits + sizeof digits, v);
  return std::string(digits, result.ptr);
}

}  // namespace zv::conversion
