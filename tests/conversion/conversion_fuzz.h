// What the conversion fuzz targets do with their bytes; the unit tests run
// the same checks over generated inputs. Each returns false as soon as an
// invariant does not hold.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "modules/conversion/evaluator.h"
#include "modules/conversion/number_text.h"
#include "modules/conversion/value_conversion.h"

namespace fuzzing {

// The first 8 bytes (when there are 8) are A; the rest are lines of formulas
// evaluated one after another by one evaluator, so that assignments meet
// later uses and the variable table fills.
inline bool evaluateFormulas(const uint8_t* data, size_t size) {
  using zv::conversion::Evaluator;
  double a = 0.0;
  if (size >= 8) {
    std::memcpy(&a, data, 8);
    data += 8;
    size -= 8;
  }
  Evaluator evaluator;
  evaluator.setVariable("a", a);
  std::string_view rest(reinterpret_cast<const char*>(data), size);
  for (;;) {
    const size_t end = rest.find('\n');
    const std::string_view line = rest.substr(0, end);
    double result = 1.0;
    bool assigned = true;
    const int32_t code = evaluator.evaluate(line, result, assigned);
    const Evaluator::ErrorRecord& error = evaluator.lastError();
    if (code < 0 || code > 9 || error.code != code) return false;
    if (code != 0) {
      if (result != 0.0 || assigned) return false;
      if (error.position < 0 || static_cast<size_t>(error.position) > std::max<size_t>(line.size(), 499)) return false;
      if (error.token.size() > Evaluator::kMaxTokenLength) return false;
    }
    if (end == std::string_view::npos) return true;
    rest.remove_prefix(end + 1);
  }
}

// The bytes as UTF-16 text through every conversion from text; blobs and
// integers must come back from their text unchanged.
inline bool convertText(const uint8_t* data, size_t size) {
  namespace conv = zv::conversion;
  MpString text(size / 2, 0);
  if (!text.empty()) std::memcpy(text.data(), data, text.size() * 2);

  const int32_t i = conv::toInt(text);
  if (conv::toInt(conv::toText(i)) != i) return false;
  // Six decimals: back within half the last decimal and the float's own step.
  const float f = conv::toFloat(text);
  const MpString printed = conv::toText(f);
  if (printed.size() > 48) return false;
  const float back = conv::toFloat(printed);
  if (std::isnan(f)   ? !std::isnan(back)
      : std::isinf(f) ? back != f
                      : !(std::fabs(back - f) <= 5e-7f + std::fabs(f) * 1e-7f)) {
    return false;
  }
  (void)conv::toBool(text);
  const MpBlob blob = conv::toBlob(text);
  if (conv::toText(blob).size() != static_cast<size_t>(blob.size()) * 3) return false;
  if (conv::toBlob(conv::toText(blob)) != blob) return false;

#ifndef _WIN32
  // The C library, in the C locale of this process, reads the same numbers.
  const std::string ascii = conv::asciiPrefix(text);
  const double reference = std::strtod(ascii.c_str(), nullptr);
  const double parsed = conv::parseDoublePrefix(ascii);
  if (!(std::isnan(reference) && std::isnan(parsed)) && reference != parsed) return false;
  const long referenceInt = std::strtol(ascii.c_str(), nullptr, 10);
  const long clamped = referenceInt < INT32_MIN ? INT32_MIN : (referenceInt > INT32_MAX ? INT32_MAX : referenceInt);
  if (conv::parseIntPrefix(ascii) != clamped) return false;
#endif
  return true;
}

}  // namespace fuzzing
