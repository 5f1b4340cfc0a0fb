// The canvas GUI modules draw on, its PNG files and the scope's contact
// sheet.
#include <gtest/gtest.h>
#include <png.h>

#include <cmath>
#include <random>
#include <set>
#include <utility>

#include "host/canvas.h"
#include "host/png_writer.h"
#include "host/scope_sheet.h"
#include "host_fixture.h"

namespace zvhost::testing {
namespace {

constexpr uint32_t kInk = 0x00332211;
constexpr uint32_t kPaper = 0x00FFFFFF;

std::set<std::pair<int, int>> inked(const Canvas& c) {
  std::set<std::pair<int, int>> points;
  for (int y = 0; y < c.height(); ++y)
    for (int x = 0; x < c.width(); ++x)
      if (c.pixel(x, y) == kInk) points.insert({x, y});
  return points;
}

TEST(Canvas, FillsAndLinesLeaveOutTheirFarEdgesAsGdiDoes) {
  struct Case {
    const char* what;
    void (*draw)(Canvas&);
    std::set<std::pair<int, int>> expected;
  };
  const Case cases[] = {
      {"rectangle", [](Canvas& c) { c.fillRectangle(1, 1, 3, 3, kInk); }, {{1, 1}, {2, 1}, {1, 2}, {2, 2}}},
      {"rectangle over the corner", [](Canvas& c) { c.fillRectangle(-5, -5, 1, 2, kInk); }, {{0, 0}, {0, 1}}},
      {"empty rectangle", [](Canvas& c) { c.fillRectangle(3, 3, 3, 5, kInk); }, {}},
      {"horizontal line",
       [](Canvas& c) {
         c.moveTo(0, 1);
         c.lineTo(4, 1);
       },
       {{0, 1}, {1, 1}, {2, 1}, {3, 1}}},
      {"line upwards",
       [](Canvas& c) {
         c.moveTo(2, 4);
         c.lineTo(2, 1);
       },
       {{2, 4}, {2, 3}, {2, 2}}},
      {"diagonal",
       [](Canvas& c) {
         c.moveTo(0, 0);
         c.lineTo(3, 3);
       },
       {{0, 0}, {1, 1}, {2, 2}}},
      {"lines join without a gap",
       [](Canvas& c) {
         c.moveTo(0, 0);
         c.lineTo(2, 0);
         c.lineTo(2, 2);
       },
       {{0, 0}, {1, 0}, {2, 0}, {2, 1}}},
      {"wide pen",
       [](Canvas& c) {
         c.setPen(kInk, 3);
         c.moveTo(2, 2);
         c.lineTo(3, 2);
       },
       {{1, 1}, {2, 1}, {3, 1}, {1, 2}, {2, 2}, {3, 2}, {1, 3}, {2, 3}, {3, 3}}},
  };
  for (const Case& c : cases) {
    Canvas canvas(6, 6, kPaper);
    canvas.setPen(kInk, 1);
    c.draw(canvas);
    EXPECT_EQ(inked(canvas), c.expected) << c.what;
  }
}

TEST(Canvas, LinesFollowTheIdealLineWithinHalfAPixel) {
  std::mt19937 random(7);
  std::uniform_int_distribution<int> coordinate(0, 39);
  for (int n = 0; n < 300; ++n) {
    const int x0 = coordinate(random), y0 = coordinate(random), x1 = coordinate(random), y1 = coordinate(random);
    Canvas canvas(40, 40, kPaper);
    canvas.setPen(kInk, 1);
    canvas.moveTo(x0, y0);
    canvas.lineTo(x1, y1);
    const auto points = inked(canvas);
    const int steps = std::max(std::abs(x1 - x0), std::abs(y1 - y0));
    ASSERT_EQ(static_cast<int>(points.size()), steps) << x0 << "," << y0 << " to " << x1 << "," << y1;
    EXPECT_EQ(points.count({x1, y1}), 0u) << "the end point is left out";
    for (const auto& [x, y] : points) {
      // Distance from the ideal line along the minor axis.
      const bool flat = std::abs(x1 - x0) >= std::abs(y1 - y0);
      const double t = flat ? double(x - x0) / (x1 - x0) : double(y - y0) / (y1 - y0);
      const double ideal = flat ? y0 + t * (y1 - y0) : x0 + t * (x1 - x0);
      EXPECT_LE(std::fabs((flat ? y : x) - ideal), 0.5) << x0 << "," << y0 << " to " << x1 << "," << y1;
    }
  }
}

TEST(Canvas, WildCoordinatesDrawOnlyWhatShowsAndQuickly) {
  Canvas canvas(10, 10, kPaper);
  canvas.setPen(kInk, 1);
  canvas.moveTo(INT32_MIN, 5);
  canvas.lineTo(INT32_MAX, 5);
  canvas.moveTo(-1000000000, -1000000000);
  canvas.lineTo(1000000000, 1000000000);
  std::set<std::pair<int, int>> expected;
  for (int k = 0; k < 10; ++k) {
    expected.insert({k, 5});
    expected.insert({k, k});
  }
  EXPECT_EQ(inked(canvas), expected);
  canvas.setPen(kInk, INT32_MAX);  // no wider than the canvas
  canvas.moveTo(INT32_MAX, INT32_MIN);
  canvas.lineTo(INT32_MIN, INT32_MAX);
  canvas.fillRectangle(INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX, kInk);
  EXPECT_EQ(inked(canvas).size(), 100u);
}

TEST(PngWriter, WritesWhatDecodesToTheSamePixelsAndReportsFailures) {
  const auto folder = scratchFolder("zvhost_png");
  Canvas canvas(7, 3, kPaper);
  canvas.setPen(kInk, 1);
  canvas.moveTo(0, 0);
  canvas.lineTo(7, 3);
  const std::string path = (folder / "a.png").string();
  writePng(path, canvas.width(), canvas.height(), canvas.rgb());

  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  ASSERT_NE(png_image_begin_read_from_file(&image, path.c_str()), 0) << image.message;
  image.format = PNG_FORMAT_RGB;
  std::vector<uint8_t> pixels(PNG_IMAGE_SIZE(image));
  ASSERT_NE(png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr), 0) << image.message;
  EXPECT_EQ(image.width, 7u);
  EXPECT_EQ(image.height, 3u);
  EXPECT_EQ(pixels, canvas.rgb());

  const std::string nowhere = (folder / "missing" / "b.png").string();
  EXPECT_THROW(writePng(nowhere, canvas.width(), canvas.height(), canvas.rgb()), PngError);
  EXPECT_FALSE(std::filesystem::exists(nowhere));
  EXPECT_THROW(writePng(path, 8, 3, canvas.rgb()), PngError);
}

TEST(ScopeSheet, TakesAFrameAsEachFallsDueAndTheLastAtTheEnd) {
  auto engine = makeEngine();
  int gui = add(*engine, "Test Gui Double", "no drawing", true);
  engine->prepare();
  // One second at 48 kHz, a frame every 0.25 s: 0.25, 0.5, 0.75 and the end.
  ScopeSheet sheet(16, 10, 0.25, 48000, 48000.0f);
  EXPECT_EQ(sheet.due(), (std::vector<int64_t>{12000, 24000, 36000, 48000}));
  const Canvas& image = sheet.image();
  ASSERT_EQ(image.width(), 4 * 16 + 3 * ScopeSheet::kGap);
  ASSERT_EQ(image.height(), 10);
  auto tileDrawn = [&](int k) { return image.pixel(k * (16 + ScopeSheet::kGap) + 8, 5) == kPanelBackground; };
  sheet.advance(*engine, gui, 23999);
  EXPECT_TRUE(tileDrawn(0));
  EXPECT_FALSE(tileDrawn(1));
  sheet.advance(*engine, gui, 48000);  // the last one waits for the end
  EXPECT_TRUE(tileDrawn(2));
  EXPECT_FALSE(tileDrawn(3));
  sheet.finish(*engine, gui);
  EXPECT_TRUE(tileDrawn(3));
  EXPECT_EQ(image.pixel(16, 5), 0u) << "the gap between frames";

  // Without a period, one frame of exactly the requested size.
  ScopeSheet single(800, 300, 0.0, 48000, 48000.0f);
  EXPECT_EQ(single.image().width(), 800);
  EXPECT_EQ(single.image().height(), 300);
  EXPECT_THROW(ScopeSheet(16, 16, 1e-6, 48000, 48000.0f), ScopeSheetError);
  EXPECT_THROW(ScopeSheet(4096, 4096, 0.1, 48000, 48000.0f), ScopeSheetError);
}

}  // namespace
}  // namespace zvhost::testing
