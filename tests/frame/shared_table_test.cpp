#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "frame/shared_table.h"
#include "tests/support/test_host.h"

namespace {

TEST(SharedTable, FirstUserFillsEveryElementIncludingTheSpare) {
  TestHost host;
  SharedTable table;
  ASSERT_TRUE(table.open(&host, MP_TEXT("ramp"), -1.0f, 11));
  table.fill([](int32_t i) { return i * 0.5; });
  const float* block = host.namedMemory(MP_TEXT("ramp"), -1.0f);
  for (int i = 0; i < 11; ++i) EXPECT_EQ(block[i], i * 0.5f);
  EXPECT_EQ(block[11], 5.0f) << "spare element copies the last entry";

  SharedTable again;
  EXPECT_FALSE(again.open(&host, MP_TEXT("ramp"), -1.0f, 11));
  EXPECT_EQ(again.data(), table.data());
  SharedTable otherRate;
  EXPECT_TRUE(otherRate.open(&host, MP_TEXT("ramp"), 48000.0f, 11));
  EXPECT_NE(otherRate.data(), table.data());
}

TEST(SharedTable, LookupInterpolatesAndClampsEveryInput) {
  TestHost host;
  SharedTable table;
  table.open(&host, MP_TEXT("ramp"), -1.0f, 10001);
  table.fill([](int32_t i) { return i * 0.0001; });
  EXPECT_NEAR(table.atControl(0.25f), 0.25f, 1e-6f);
  EXPECT_NEAR(table.at(2.5f), 0.00025f, 1e-9f);
  EXPECT_EQ(table.atControl(1.0f), table[10000]);
  EXPECT_EQ(table.atControl(7.0f), table[10000]);
  EXPECT_EQ(table.atControl(-3.0f), 0.0f);
  EXPECT_EQ(table.atControl(std::numeric_limits<float>::quiet_NaN()), 0.0f);
  EXPECT_EQ(table.atControl(std::numeric_limits<float>::infinity()), table[10000]);
  EXPECT_EQ(table.atControl(-std::numeric_limits<float>::infinity()), 0.0f);
  EXPECT_EQ(table.entry(1e30f), table[10000]);
  EXPECT_EQ(table.entry(std::numeric_limits<float>::quiet_NaN()), 0.0f);
  EXPECT_EQ(table.entry(3.9f), table[3]);
}

}  // namespace
