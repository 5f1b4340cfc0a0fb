#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "modules/gui/zv_scope_trois.h"
#include "tests/gui/pixel_surface.h"
#include "tests/support/module_harness.h"

namespace {

using Scope = ZvScopeTrois;
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

struct Info {
  int32_t length;
  int32_t rate;
};

Info infoOf(const SentValue& v) {
  Info info{-1, -1};
  EXPECT_EQ(v.bytes.size(), 8u);
  if (v.bytes.size() == 8) std::memcpy(&info, v.bytes.data(), 8);
  return info;
}

TEST(ScopePacking, ScalesLimitsAndTruncatesTowardZero) {
  const struct {
    float in;
    int8_t packed;
  } cases[] = {
      {0.0f, 0},       {-0.0f, 0},     {1.0f, 127},    {-1.0f, -127}, {0.5f, 63},    {-0.5f, -63}, {0.999f, 126},
      {-0.999f, -126}, {0.0079f, 1},   {-0.0079f, -1}, {0.0078f, 0},  {-0.0078f, 0}, {3.0f, 127},  {-3.0f, -127},
      {1e30f, 127},    {-1e30f, -127}, {kInf, 127},    {-kInf, -127}, {kNaN, 0},     {1e-40f, 0},
  };
  constexpr size_t kCases = std::size(cases);
  // Every case at every position of a stretch long enough to be packed
  // sixteen at a time, and in the samples left over after that.
  constexpr int32_t kLength = 16 * 3 + 7;
  for (size_t shift = 0; shift < kCases; ++shift) {
    float in[kLength];
    int8_t out[kLength];
    for (int32_t i = 0; i < kLength; ++i) in[i] = cases[(i + shift) % kCases].in;
    zv::gui::packSamples(in, out, kLength);
    for (int32_t i = 0; i < kLength; ++i) {
      EXPECT_EQ(out[i], cases[(i + shift) % kCases].packed) << "input " << in[i] << " at " << i;
    }
  }
}

TEST(ScopeDrawing, ColumnsStayInsideWideRectangles) {
  // 4799 × 1,000,000 does not fit 32 bits; the last point lands just short of the right edge.
  EXPECT_EQ(zv::gui::sampleColumn(4799, 1000000, 4800), 999791);
  EXPECT_EQ(zv::gui::sampleColumn(2400, 1000000, 4800), 500000);
  EXPECT_EQ(zv::gui::sampleRow(50, 127, 50.0f / 127.0f), 0);
  EXPECT_EQ(zv::gui::sampleRow(50, -127, 50.0f / 127.0f), 100);
}

struct ScopeTest : ::testing::Test {
  TestHost host;
  std::unique_ptr<AudioModule> scope;

  void open(float rate, int32_t block) {
    host.sampleRate = rate;
    host.blockSize = block;
    scope = std::make_unique<AudioModule>(host, MP_TEXT("ZV51MODS: ZV SCOPE V3"));
    scope->audio(Scope::SIGNAL);
    scope->audio(Scope::TIME);
    scope->open();
  }
  // Values sent on a pin, less the empty ones of opening and graph start.
  std::vector<SentValue> sent(int32_t pin) const {
    std::vector<SentValue> found;
    for (const auto& v : host.valuesOn(pin))
      if (!v.bytes.empty()) found.push_back(v);
    return found;
  }
  std::vector<SentValue> captures() const { return sent(Scope::CAPTURE); }
};

TEST_F(ScopeTest, CaptureLengthFollowsTimeWithinItsLimits) {
  struct Case {
    float time, rate;
    int32_t length;
  } cases[] = {
      {0.0f, 48000, 11},   {-2.0f, 48000, 11}, {1.0f, 48000, 480}, {10.0f, 48000, 4800},
      {1e7f, 48000, 4800}, {kNaN, 48000, 11},  {0.5f, 44100, 220}, {0.02f, 48000, 11},
      {kInf, 48000, 4800}, {-kInf, 48000, 11}, {0.03f, 48000, 14},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "Time " << c.time << " at " << c.rate);
    host.clearRecords();
    open(c.rate, 5000);
    scope->fill(Scope::SIGNAL, 0.5f);
    scope->fill(Scope::TIME, c.time);
    scope->process(5000, EventList().graphStart().streaming(0, Scope::SIGNAL, true));
    ASSERT_EQ(sent(Scope::INFO).size(), 1u);
    const Info info = infoOf(sent(Scope::INFO)[0]);
    EXPECT_EQ(info.length, c.length);
    EXPECT_EQ(info.rate, static_cast<int32_t>(c.rate));
    const auto sentCaptures = captures();
    ASSERT_EQ(sentCaptures.size(), 1u);
    const auto& bytes = sentCaptures[0].bytes;
    ASSERT_EQ(bytes.size(), 4800u);
    EXPECT_EQ(static_cast<int8_t>(bytes[c.length - 1]), 63);
    if (c.length < 4800) {
      EXPECT_EQ(bytes[c.length], 0) << "past the capture";
    }
  }
}

// Each block of 100 samples: negative until 30, then rising 0.01 per sample.
void fillRisingBlock(float* x) {
  for (int i = 0; i < 100; ++i) x[i] = i < 30 ? -0.5f : (i - 29) * 0.01f;
}

TEST_F(ScopeTest, CapturesStartAtRisingCrossingsAtMostFifteenTimesASecond) {
  open(48000, 100);
  fillRisingBlock(scope->audio(Scope::SIGNAL));
  scope->fill(Scope::TIME, 0.0f);
  std::vector<int64_t> sendTimes;
  for (int block = 0; block < 480; ++block) {  // one second
    const size_t before = captures().size();
    if (block == 0) {
      scope->process(100, EventList().graphStart().streaming(0, Scope::SIGNAL, true));
    } else {
      scope->process(100);
    }
    const auto sent = captures();
    for (size_t k = before; k < sent.size(); ++k) sendTimes.push_back(block * 100 + sent[k].position);
  }
  const auto sent = captures();
  ASSERT_GE(sent.size(), 12u);
  EXPECT_LE(sent.size(), 15u);
  for (size_t k = 1; k < sendTimes.size(); ++k)
    EXPECT_GE(sendTimes[k] - sendTimes[k - 1], 3200) << "a fifteenth of a second";
  // After the first (immediate) capture every capture starts on the first
  // positive sample after the negative stretch: 0.01, 0.02, 0.03 ...
  for (size_t k = 1; k < sent.size(); ++k) {
    EXPECT_EQ(sent[k].position, 30) << k;
    EXPECT_EQ(static_cast<int8_t>(sent[k].bytes[0]), 1);
    EXPECT_EQ(static_cast<int8_t>(sent[k].bytes[1]), 2);
    EXPECT_EQ(static_cast<int8_t>(sent[k].bytes[10]), 13);
  }
}

TEST_F(ScopeTest, DcIsCapturedOnceUntilAPinChanges) {
  open(48000, 64);
  scope->fill(Scope::SIGNAL, 0.25f);
  scope->fill(Scope::TIME, 0.0f);
  scope->process(64, EventList().graphStart().streaming(0, Scope::SIGNAL, true));
  for (int block = 0; block < 2000; ++block) scope->process(64);
  EXPECT_EQ(captures().size(), 1u);
  scope->process(64, EventList().streaming(5, Scope::TIME, false));
  EXPECT_EQ(captures().size(), 2u) << "a pin change restarts the capture at once";
}

TEST_F(ScopeTest, StaticSignalCompletesItsCaptureThenSleeps) {
  open(48000, 64);
  scope->fill(Scope::SIGNAL, 0.25f);
  scope->fill(Scope::TIME, 1.0f);  // 480 samples, several blocks
  scope->process(64, EventList().graphStart());
  for (int block = 0; block < 10 && host.sleepRequests == 0; ++block) scope->process(64);
  ASSERT_EQ(captures().size(), 1u);
  EXPECT_EQ(infoOf(host.lastValue(Scope::INFO)).length, 480);
  EXPECT_EQ(host.sleepRequests, 1);
}

TEST_F(ScopeTest, TimeFallingMidCaptureSendsAtOnce) {
  open(48000, 100);
  scope->fill(Scope::SIGNAL, 0.5f);
  scope->fill(Scope::TIME, 1.0f);  // 480 samples
  scope->process(100, EventList().graphStart().streaming(0, Scope::SIGNAL, true));
  EXPECT_TRUE(captures().empty());
  scope->fill(Scope::TIME, 0.0f);  // 11 samples: 100 are already captured
  scope->process(100);
  ASSERT_EQ(captures().size(), 1u);
  EXPECT_EQ(captures()[0].position, 0);
  EXPECT_EQ(infoOf(host.lastValue(Scope::INFO)).length, 11);
}

struct ScopeGuiTest : ::testing::Test {
  static constexpr int32_t kWidth = 200, kHeight = 100, kCentre = 50;
  static constexpr uint32_t kPaper = 0x00FF00FF;  // the surface before drawing
  static constexpr uint32_t kBackground = 0x00302010;
  TestHost host;
  GuiModule gui{host, MP_TEXT("ZV51MODS: ZV SCOPE V3")};
  PixelSurface surface{kWidth + 1, kHeight + 1, kPaper};

  void SetUp() override {
    host.backgroundColour = kBackground;
    gui.graphics()->placeRectangle({0, 0, kWidth, kHeight});
  }
  void setBlob(int32_t pin, const std::vector<uint8_t>& bytes) {
    gui.setRaw(pin, bytes.data(), static_cast<int32_t>(bytes.size()));
  }
  void setInfo(int32_t length) {
    const int32_t info[2] = {length, 48000};
    gui.setRaw(ZvScopeTroisGui::INFO, info, 8);
  }
  void draw() { EXPECT_EQ(gui.graphics()->drawGraphics(surface.context()), MP_OK); }
};

// Full scale up for the first 480 samples, full scale down after them.
std::vector<uint8_t> upThenDown() {
  std::vector<uint8_t> bytes(4800, static_cast<uint8_t>(-127));
  std::fill(bytes.begin(), bytes.begin() + 480, uint8_t{127});
  return bytes;
}

TEST_F(ScopeGuiTest, DrawsBackgroundCentreLineAndTrace) {
  setBlob(ZvScopeTroisGui::CAPTURE, upThenDown());
  EXPECT_EQ(host.redrawRequests, 1);
  draw();
  EXPECT_EQ(host.styleName, MpString(MP_TEXT("tty")));
  // Up to x = 20 (480 of 4800 points) full scale up: trace on the top row,
  // vertical lines down to the centre; beyond it full scale down.
  EXPECT_EQ(surface.pixel(10, 0), ZvScopeTroisGui::kTraceColour);
  EXPECT_EQ(surface.pixel(10, 25), ZvScopeTroisGui::kCentreColour);
  EXPECT_EQ(surface.pixel(10, 75), kBackground);
  EXPECT_EQ(surface.pixel(100, kCentre), ZvScopeTroisGui::kCentreColour);
  EXPECT_EQ(surface.pixel(100, 75), ZvScopeTroisGui::kCentreColour);
  EXPECT_EQ(surface.pixel(100, 25), kBackground);
  EXPECT_EQ(surface.pixel(100, kHeight), ZvScopeTroisGui::kTraceColour);
  EXPECT_EQ(surface.pixel(kWidth, 0), kBackground) << "filled to the right edge";
}

TEST_F(ScopeGuiTest, InfoOutsideItsRangeDrawsAllPoints) {
  struct Case {
    int32_t info;  // 0: no Info value
    bool lowerHalfDrawn;
  } cases[] = {{0, true}, {10, true}, {4801, true}, {4800, true}, {480, false}, {11, false}};
  setBlob(ZvScopeTroisGui::CAPTURE, upThenDown());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.info);
    if (c.info != 0) setInfo(c.info);
    draw();
    EXPECT_EQ(surface.pixel(100, 75), c.lowerHalfDrawn ? ZvScopeTroisGui::kCentreColour : kBackground);
  }
}

TEST_F(ScopeGuiTest, CaptureOfTheWrongSizeDrawsOnlyBackgroundAndCentreLine) {
  for (size_t size : {size_t{0}, size_t{4799}, size_t{4801}}) {
    setBlob(ZvScopeTroisGui::CAPTURE, std::vector<uint8_t>(size, 127));
    draw();
    for (int32_t y : {0, 25, 75, kHeight}) EXPECT_EQ(surface.pixel(60, y), kBackground) << size << " row " << y;
    EXPECT_EQ(surface.pixel(60, kCentre), ZvScopeTroisGui::kCentreColour) << size;
  }
}

TEST_F(ScopeGuiTest, NoBackgroundWhenTheHostGivesNone) {
  for (bool filled : {false, true}) {
    host.fillStyle = filled;
    host.backgroundColour = -1;
    draw();
    EXPECT_EQ(surface.pixel(60, 25), kPaper);
    EXPECT_EQ(surface.pixel(60, kCentre), ZvScopeTroisGui::kCentreColour);
  }
}

}  // namespace
