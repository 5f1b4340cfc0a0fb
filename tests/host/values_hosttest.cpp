// Pin constants from patches and command lines: a number that the pin's
// type cannot hold is refused with a reason, never turned into another.
#include <gtest/gtest.h>

#include <cstring>
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

TEST(ParameterPosition, MapsTheRangeOntoZeroToOneBothWays) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  struct Case {
    int32_t datatype;
    RawValue value;
    double low, high;
    std::optional<float> position;  // nullopt: none
  };
  const Case toPosition[] = {
      {MP_DT_FLOAT, rawFloat(2.5f), 0.0, 10.0, 0.25f},
      {MP_DT_FLOAT, rawFloat(-5.0f), -5.0, 5.0, 0.0f},
      {MP_DT_FLOAT, rawFloat(0.0f), -5.0, 5.0, 0.5f},
      {MP_DT_FLOAT, rawFloat(20.0f), 0.0, 10.0, 1.0f},
      {MP_DT_FLOAT, rawFloat(-1.0f), 0.0, 10.0, 0.0f},
      {MP_DT_FLOAT, rawFloat(nan), 0.0, 10.0, std::nullopt},
      {MP_DT_INT, rawInt(7), 0.0, 10.0, 0.7f},
      {MP_DT_INT, rawInt(-3), -4.0, 0.0, 0.25f},
      {MP_DT_BOOL, rawBool(true), 0.0, 10.0, 1.0f},
      {MP_DT_BOOL, rawBool(false), 0.0, 10.0, 0.0f},
      {MP_DT_TEXT, rawText("5"), 0.0, 10.0, std::nullopt},
  };
  for (const Case& c : toPosition) {
    SCOPED_TRACE(::testing::Message() << datatypeName(c.datatype) << " " << c.low << ".." << c.high);
    auto position = normalizedFromRaw(c.datatype, c.value, c.low, c.high);
    ASSERT_EQ(position.has_value(), c.position.has_value());
    if (position) {
      EXPECT_FLOAT_EQ(rawAsFloat(*position), *c.position);
    }
  }
  struct Back {
    int32_t datatype;
    float position;
    double low, high;
    std::optional<RawValue> value;
  };
  const Back toValue[] = {
      {MP_DT_FLOAT, 0.25f, 0.0, 10.0, rawFloat(2.5f)},  {MP_DT_FLOAT, 2.0f, -5.0, 5.0, rawFloat(5.0f)},
      {MP_DT_FLOAT, -1.0f, -5.0, 5.0, rawFloat(-5.0f)}, {MP_DT_FLOAT, nan, 0.0, 10.0, std::nullopt},
      {MP_DT_INT, 0.74f, 0.0, 10.0, rawInt(7)},         {MP_DT_INT, 0.76f, 0.0, 10.0, rawInt(8)},
      {MP_DT_INT, 0.5f, -3.0, 0.0, rawInt(-1)},         {MP_DT_BOOL, 0.5f, 0.0, 10.0, rawBool(true)},
      {MP_DT_BOOL, 0.49f, 0.0, 10.0, rawBool(false)},   {MP_DT_TEXT, 0.5f, 0.0, 10.0, std::nullopt},
  };
  for (const Back& c : toValue) {
    SCOPED_TRACE(::testing::Message() << datatypeName(c.datatype) << " " << c.position);
    EXPECT_EQ(rawFromNormalized(c.datatype, c.position, c.low, c.high), c.value);
  }
}

TEST(ParameterPosition, TwoNansAreTheSameValueOtherwiseBytesDecide) {
  const uint32_t quiet = 0x7FC00000u;
  const uint32_t payload = 0x7FC00123u;
  RawValue a(4), b(4);
  std::memcpy(a.data(), &quiet, 4);
  std::memcpy(b.data(), &payload, 4);
  EXPECT_TRUE(sameRaw(MP_DT_FLOAT, a, b));
  EXPECT_FALSE(sameRaw(MP_DT_INT, a, b));
  EXPECT_FALSE(sameRaw(MP_DT_FLOAT, rawFloat(0.0f), rawFloat(-0.0f)));
  EXPECT_FALSE(sameRaw(MP_DT_FLOAT, a, rawFloat(1.0f)));
  EXPECT_TRUE(sameRaw(MP_DT_TEXT, rawText("x"), rawText("x")));
}

}  // namespace
}  // namespace zvhost::testing
