// Any bytes as the text of the text-to-number, text-to-bool and
// text-to-blob conversions.
#include "tests/conversion/conversion_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (!fuzzing::convertText(data, size)) std::abort();
  return 0;
}
