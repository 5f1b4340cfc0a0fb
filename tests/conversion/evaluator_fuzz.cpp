// Any bytes as formulas (and A) for the formula evaluator.
#include "tests/conversion/conversion_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (!fuzzing::evaluateFormulas(data, size)) std::abort();
  return 0;
}
