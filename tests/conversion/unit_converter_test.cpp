#include "modules/conversion/unit_converter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "tests/support/module_harness.h"

namespace {

using zv::conversion::convertUnit;

constexpr float kInf = std::numeric_limits<float>::infinity();

struct Point {
  int32_t code;
  float x;
  float expected;
};

TEST(UnitConverter, ConvertsAtKnownPoints) {
  const Point points[] = {
      {0, 440.0f, 5.0f},         {0, 880.0f, 6.0f},         {0, 27.5f, 1.0f},
      {0, 0.0f, 0.0f},           {0, -440.0f, 0.0f},        {100, 5.0f, 440.0f},
      {100, 6.0f, 880.0f},       {100, 30.0f, 14417920.0f}, {100, -30.0f, 1.3113022e-05f},
      {1, 0.0f, 10.0f},          {1, -34.9f, 1.0257143f},   {1, -35.0f, 0.91375638f},
      {101, 10.0f, 0.0f},        {101, 1.0f, -35.0f},       {101, 0.5f, -52.5f},
      {101, 0.0f, -70.0f},       {101, -3.0f, -70.0f},      {2, 0.0f, 10.0f},
      {102, 10.0f, 0.0f},        {102, -10.0f, -200.0f},    {3, 1000.0f, 7.5f},
      {3, 1.0f, 0.0f},           {3, 10000.0f, 10.0f},      {3, 0.0f, 0.0f},
      {103, 7.5f, 1000.0f},      {103, 0.0f, 1.0f},         {103, 100.0f, kInf},
      {4, 1000.0f, 8.666666f},   {4, 2000.0f, 9.666666f},   {4, 1.0f, 0.0f},
      {104, 8.666666f, 1000.0f}, {104, 0.0f, 0.0f},         {104, 200.0f, kInf},
      {2, 800.0f, kInf},         {102, 0.0f, -200.0f},
  };
  for (const Point& p : points) {
    SCOPED_TRACE("code " + std::to_string(p.code) + " at " + std::to_string(p.x));
    float r = -1.0f;
    ASSERT_TRUE(convertUnit(p.code, p.x, r));
    if (std::isinf(p.expected)) {
      EXPECT_EQ(r, p.expected);
    } else {
      EXPECT_NEAR(r, p.expected, 2e-5f * std::fabs(p.expected) + 2e-5f);
    }
  }
}

TEST(UnitConverter, EachCodeIsUndoneByItsInverse) {
  const float values[][4] = {
      {20.0f, 440.0f, 1000.0f, 15000.0f},  // Hz
      {-30.0f, -6.0f, 0.0f, 12.0f},        // dB
      {-40.0f, -6.0f, 0.0f, 6.0f},         // dB, exponential scale
      {0.5f, 20.0f, 1000.0f, 9000.0f},     // ms
      {20.0f, 440.0f, 1000.0f, 15000.0f},  // Hz
  };
  for (int32_t code = 0; code < 5; ++code) {
    for (float x : values[code]) {
      SCOPED_TRACE("code " + std::to_string(code) + " at " + std::to_string(x));
      float volts = 0.0f, back = 0.0f;
      ASSERT_TRUE(convertUnit(code, x, volts));
      ASSERT_TRUE(convertUnit(code + 100, volts, back));
      EXPECT_NEAR(back, x, 1e-3f * std::fabs(x) + 1e-3f);
    }
  }
}

// A NaN fails every comparison: codes 4 and 104 take their "else 0" branch,
// the other formulas carry it through.
TEST(UnitConverter, NaNFollowsEachFormulasBranches) {
  for (int32_t code : {0, 1, 2, 3, 4, 100, 101, 102, 103, 104}) {
    float r = -1.0f;
    ASSERT_TRUE(convertUnit(code, std::numeric_limits<float>::quiet_NaN(), r));
    if (code == 4 || code == 104) {
      EXPECT_EQ(r, 0.0f) << code;
    } else {
      EXPECT_TRUE(std::isnan(r)) << code;
    }
  }
}

TEST(UnitConverter, OtherCodesKeepTheResultAndANaNIsSentOnce) {
  TestHost host;
  AudioModule module(host, MP_TEXT("SE Unit Converter"));
  module.open();
  module.process(64, EventList().value(0, UnitConverter::CONVERSION, 0).value(0, UnitConverter::VALUE, 880.0f));
  ASSERT_EQ(host.valuesOn(UnitConverter::RESULT).size(), 1u);
  EXPECT_EQ(host.lastValue(UnitConverter::RESULT).asFloat(), 6.0f);

  module.process(64, EventList().value(0, UnitConverter::CONVERSION, 7).value(1, UnitConverter::VALUE, 440.0f));
  EXPECT_EQ(host.valuesOn(UnitConverter::RESULT).size(), 1u);

  const float nan = std::numeric_limits<float>::quiet_NaN();
  module.process(64, EventList().value(0, UnitConverter::CONVERSION, 3).value(0, UnitConverter::VALUE, nan));
  module.process(64, EventList().value(0, UnitConverter::VALUE, nan));
  EXPECT_EQ(host.valuesOn(UnitConverter::RESULT).size(), 2u);
  EXPECT_TRUE(std::isnan(host.lastValue(UnitConverter::RESULT).asFloat()));
}

}  // namespace
