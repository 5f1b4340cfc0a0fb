#include "modules/dsp/table_view.h"

#include <gtest/gtest.h>

#include <limits>
#include <vector>

namespace {

using zv::dsp::TableView;

TEST(TableView, FillsItsSpareAndInterpolatesAtClampedPositions) {
  std::vector<float> data(5, -1.0f);
  zv::dsp::fillTable(data.data(), 4, [](int32_t i) { return i * i; });  // 0 1 4 9, spare 9
  EXPECT_EQ(data[4], 9.0f);
  const TableView t(data.data(), 4);
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  const std::pair<float, float> cases[] = {{0.0f, 0.0f}, {1.5f, 2.5f},  {2.25f, 5.25f}, {3.0f, 9.0f},
                                           {3.5f, 9.0f}, {-2.0f, 0.0f}, {nan, 0.0f},    {inf, 9.0f}};
  for (const auto& [position, value] : cases) EXPECT_EQ(t.at(position), value) << position;
  EXPECT_FLOAT_EQ(t.atControl(0.00015f), 2.5f) << "1 mV steps";
  EXPECT_FALSE(TableView(nullptr, 4).isOpen());
  EXPECT_EQ(TableView(nullptr, 4).entries(), 0);
}

}  // namespace
