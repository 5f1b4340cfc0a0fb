// Pin constants from patches and command lines: a number that the pin's
// type cannot hold is refused with a reason, never turned into another.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <optional>

#include "frame/interfaces.h"
#include "host/descriptions.h"
#include "host/values.h"

namespace zvhost::testing {
namespace {

std::optional<double> decoded(int32_t datatype, const RawValue& raw) {
  if (datatype == MP_DT_BOOL) return raw.size() == 1 ? std::optional<double>(raw[0]) : std::nullopt;
  if (raw.size() != 4) return std::nullopt;
  if (datatype == MP_DT_INT || datatype == MP_DT_ENUM) {
    int32_t i = 0;
    std::memcpy(&i, raw.data(), 4);
    return i;
  }
  return rawAsFloat(raw);
}

TEST(PinValues, NumbersBeyondThePinTypeAreRefusedOthersConverted) {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double floatMax = 3.4028234663852886e38;  // the largest float
  struct Case {
    int32_t datatype;
    double value;
    std::optional<double> expected;  // nullopt: refused
  };
  const Case cases[] = {
      {MP_DT_FLOAT, 0.5, 0.5},
      {MP_DT_FLOAT, -1e-50, -0.0},  // underflow is still a float
      {MP_DT_FLOAT, 1e39, std::nullopt},
      {MP_DT_AUDIO, 1e39, std::nullopt},
      {MP_DT_AUDIO, -1e300, std::nullopt},
      {MP_DT_FLOAT, inf, std::nullopt},
      {MP_DT_FLOAT, nan, std::nullopt},
      {MP_DT_FLOAT, floatMax, floatMax},
      // Rounds down to the largest float, not up to infinity.
      {MP_DT_FLOAT, 3.4028235e38, floatMax},
      {MP_DT_FLOAT, 3.4028236e38, std::nullopt},
      {MP_DT_INT, 2147483647.9, 2147483647.0},
      {MP_DT_INT, -2147483648.9, -2147483648.0},
      {MP_DT_INT, -7.9, -7.0},
      {MP_DT_INT, 2147483648.0, std::nullopt},
      {MP_DT_INT, -2147483649.0, std::nullopt},
      {MP_DT_ENUM, 1e300, std::nullopt},
      {MP_DT_INT, nan, std::nullopt},
      {MP_DT_BOOL, 1e300, 1.0},
      {MP_DT_BOOL, 0.0, 0.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << datatypeName(c.datatype) << " " << c.value);
    const std::optional<RawValue> raw = rawFromNumber(c.datatype, c.value);
    EXPECT_EQ(numberProblem(c.datatype, c.value).empty(), c.expected.has_value());
    ASSERT_EQ(raw.has_value(), c.expected.has_value());
    if (raw) {
      const std::optional<double> got = decoded(c.datatype, *raw);
      ASSERT_TRUE(got.has_value());
      EXPECT_EQ(*got, *c.expected);
      EXPECT_EQ(std::signbit(*got), std::signbit(*c.expected));
    }
  }
}

TEST(PinValues, TextsParseUnderTheSameBounds) {
  EXPECT_FALSE(rawFromText(MP_DT_FLOAT, "1e39"));
  EXPECT_FALSE(rawFromText(MP_DT_AUDIO, "inf"));
  EXPECT_FALSE(rawFromText(MP_DT_FLOAT, "nan"));
  EXPECT_FALSE(rawFromText(MP_DT_INT, "3000000000"));
  EXPECT_EQ(rawFromText(MP_DT_INT, "-12"), rawInt(-12));
  EXPECT_EQ(rawFromText(MP_DT_FLOAT, "1e38"), rawFloat(1e38f));
}

}  // namespace
}  // namespace zvhost::testing
