// A short, fixed run of the fuzz targets' checks in the ordinary tests, over
// inputs put together from the pieces that matter to the readers.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "tests/conversion/conversion_fuzz.h"

namespace {

std::string assemble(std::mt19937& random, const std::vector<std::string>& pieces, int maxPieces) {
  std::string out;
  const int count = static_cast<int>(random() % static_cast<uint32_t>(maxPieces + 1));
  for (int i = 0; i < count; ++i) out += pieces[random() % pieces.size()];
  return out;
}

TEST(ConversionFuzzChecks, FormulasFromTokenPieces) {
  const std::vector<std::string> pieces = {
      "sin(", "hypot(", "min(", "abs(",  "foo(", "(",  ")",  ",",        "=",   "^",
      "-",    "+",      "*",    "/",     "%",    "1",  "0",  ".",        "2.5", "a",
      "x",    "pi",     "e",    "_home", " ",    "\t", "\n", "\xC3\xA9", "$",   std::string(40, 'q')};
  std::mt19937 random(1234);
  for (int i = 0; i < 20000; ++i) {
    std::string bytes = assemble(random, pieces, 40);
    if (i % 2 == 0) bytes.insert(0, "\x00\x00\x00\x00\x00\x00\x08\x40", 8);  // A = 3
    ASSERT_TRUE(fuzzing::evaluateFormulas(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size())) << bytes;
  }
}

TEST(ConversionFuzzChecks, TextsFromNumberPieces) {
  const std::vector<std::string> pieces = {" ", "\t", "+", "-",   "0",    "1",   "9",   "99999999999",
                                           ".", "e",  "E", "x",   "0x",   "p",   "inf", "nan",
                                           "(", "a",  "f", "400", "1e39", "\xE9"};
  std::mt19937 random(99);
  for (int i = 0; i < 20000; ++i) {
    const std::string ascii = assemble(random, pieces, 12);
    std::vector<uint8_t> utf16;
    for (unsigned char c : ascii) {
      utf16.push_back(c);
      utf16.push_back(c == 0xE9 ? 0x20 : 0);  // a character beyond ASCII
    }
    ASSERT_TRUE(fuzzing::convertText(utf16.data(), utf16.size())) << ascii;
  }
}

}  // namespace
