// Pin constants from patches and command lines: a number that the pin's
// type cannot hold is refused with a reason, never turned into another.
#include <gtest/gtest.h>

#include <limits>
#include <optional>

#include "frame/interfaces.h"
#include "host/descriptions.h"
#include "host/values.h"

namespace zvhost::testing {
namespace {

TEST(PinValues, NumbersBeyondThePinTypeAreRefusedOthersConverted) {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double floatMax = 3.4028234663852886e38;  // the largest float
  struct Case {
    int32_t datatype;
    double value;
    std::optional<RawValue> expected;  // nullopt: refused
  };
  const Case cases[] = {
      {MP_DT_FLOAT, 0.5, rawFloat(0.5f)},
      {MP_DT_FLOAT, -1e-50, rawFloat(-0.0f)},  // underflow is still a float
      {MP_DT_FLOAT, 1e39, std::nullopt},
      {MP_DT_AUDIO, 1e39, std::nullopt},
      {MP_DT_AUDIO, -1e300, std::nullopt},
      {MP_DT_FLOAT, inf, std::nullopt},
      {MP_DT_FLOAT, nan, std::nullopt},
      {MP_DT_FLOAT, floatMax, rawFloat(std::numeric_limits<float>::max())},
      // Rounds down to the largest float, not up to infinity.
      {MP_DT_FLOAT, 3.4028235e38, rawFloat(std::numeric_limits<float>::max())},
      {MP_DT_FLOAT, 3.4028236e38, std::nullopt},
      {MP_DT_INT, 2147483647.9, rawInt(2147483647)},
      {MP_DT_INT, -2147483648.9, rawInt(std::numeric_limits<int32_t>::min())},
      {MP_DT_INT, -7.9, rawInt(-7)},
      {MP_DT_INT, 2147483648.0, std::nullopt},
      {MP_DT_INT, -2147483649.0, std::nullopt},
      {MP_DT_ENUM, 1e300, std::nullopt},
      {MP_DT_INT, nan, std::nullopt},
      {MP_DT_BOOL, 1e300, rawBool(true)},
      {MP_DT_BOOL, 0.0, rawBool(false)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << datatypeName(c.datatype) << " " << c.value);
    EXPECT_EQ(rawFromNumber(c.datatype, c.value), c.expected);
    EXPECT_EQ(numberProblem(c.datatype, c.value).empty(), c.expected.has_value());
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
