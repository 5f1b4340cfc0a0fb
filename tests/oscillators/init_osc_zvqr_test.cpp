#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "modules/oscillators/init_osc_zvqr.h"
#include "modules/oscillators/osc_zvqr.h"
#include "modules/oscillators/wavetable_sets.h"
#include "tests/support/module_harness.h"
#include "tools/wavetable_generator/wavetable_generator.h"

namespace {

namespace fs = std::filesystem;
using I = InitOscZvqr;
constexpr float kNo = InitOscZvqr::kNotLoaded;

// Value n of a test file is n, except the format value.
std::vector<float> numberedFile(size_t values, float format = 2.0f) {
  std::vector<float> v(values);
  for (size_t i = 0; i < values; ++i) v[i] = static_cast<float>(i);
  if (values > 3) v[3] = format;
  return v;
}

struct InitOscZvqrTest : ::testing::Test {
  TestHost host;
  fs::path folder;
  std::unique_ptr<AudioModule> init;

  void SetUp() override {
    static std::atomic<int> counter{0};
    folder = fs::temp_directory_path() / ("zvw_init_test_" + std::to_string(counter++) + "_" +
                                          ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(folder);
    fs::create_directories(folder);
    host.folder = fromUtf8(folder.generic_string() + "/");
    init = std::make_unique<AudioModule>(host, MP_TEXT("INIT Osc ZVQR"));
    init->audio(I::UNUSED_AUDIO);
    init->open();
  }
  void TearDown() override {
    init.reset();
    std::error_code ignored;
    fs::remove_all(folder, ignored);
  }
  void write(const std::string& name, const std::vector<float>& values) {
    ASSERT_TRUE(zvw::writeFile((folder / name).string(), values));
  }
  // First call: reference and all six choices at time t.
  void configure(const MpString& reference, int32_t f1, int32_t n1, int32_t f2, int32_t n2, int32_t f3, int32_t n3,
                 int32_t t = 0) {
    init->process(16, EventList()
                          .value(t, I::REFERENCE, reference)
                          .value(t, I::FAMILY_1, f1)
                          .value(t, I::NUMBER_1, n1)
                          .value(t, I::FAMILY_2, f2)
                          .value(t, I::NUMBER_2, n2)
                          .value(t, I::FAMILY_3, f3)
                          .value(t, I::NUMBER_3, n3));
  }
  float* set(int slot) { return host.namedMemory(zv::oscillators::setName(slot), -1.0f); }
  float status(int pin) { return host.lastValue(pin).asFloat(); }
};

TEST_F(InitOscZvqrTest, StatusBeforeAnyLoadIsNotLoaded) {
  init->process(16, EventList().graphStart());
  for (int pin : {I::STATUS_1, I::STATUS_2, I::STATUS_3}) {
    ASSERT_EQ(host.valuesOn(pin).size(), 1u) << pin;
    EXPECT_EQ(status(pin), kNo) << pin;
  }
}

TEST_F(InitOscZvqrTest, LoadsTheChosenFamilyFileBesideTheReference) {
  write("osc-saw-7.zvw", numberedFile(zv::oscillators::kFileValues));
  configure(MP_TEXT("base.zvw"), 9, 1, 2, 7, 9, 1, 5);
  const float* s = set(1);
  for (int i = 0; i < zv::oscillators::kFileValues; ++i) {
    if (i == 3) continue;
    ASSERT_EQ(s[i], static_cast<float>(i)) << i;
  }
  EXPECT_EQ(status(I::STATUS_2), 1.0f);
  EXPECT_EQ(host.lastValue(I::STATUS_2).position, 5) << "re-sent at the event's block position";
  EXPECT_EQ(status(I::STATUS_1), kNo);
  EXPECT_EQ(status(I::STATUS_3), kNo);
  // Guard values continue table 59 for reads at the very end of a cycle.
  EXPECT_EQ(s[zv::oscillators::kFileValues], s[zv::oscillators::kFileValues - 2048]);
}

TEST_F(InitOscZvqrTest, ReferenceExtensionIsCheckedCaseInsensitively) {
  write("osc-sine-1.zvw", numberedFile(zv::oscillators::kFileValues));
  configure(MP_TEXT("BASE.ZVW"), 0, 1, 9, 0, 9, 0);
  EXPECT_EQ(status(I::STATUS_1), 1.0f);
  for (const MpChar* name : {MP_TEXT("base.wav"), MP_TEXT("basezvw"), MP_TEXT("base.zv"), MP_TEXT("")}) {
    SCOPED_TRACE(toUtf8(name));
    init->process(4, EventList().value(0, I::REFERENCE, MpString(name)).value(0, I::NUMBER_1, int32_t{2}));
    init->process(4, EventList().value(0, I::NUMBER_1, int32_t{1}));
    EXPECT_EQ(status(I::STATUS_1), kNo);
  }
}

TEST_F(InitOscZvqrTest, FailuresLeaveTheStatusUnloadedAndTheSetSilent) {
  write("osc-tri-1.zvw", numberedFile(zv::oscillators::kFileValues, 3.0f));  // format 3
  write("osc-tri-2.zvw", numberedFile(3));                                   // no header
  write("osc-tri-3.zvw", numberedFile(zv::oscillators::kFileValues, NAN));
  write("osc-tri-4.zvw", numberedFile(zv::oscillators::kFileValues, 1e30f));
  for (int32_t number : {1, 2, 3, 4, 5}) {  // 5: missing
    SCOPED_TRACE(number);
    configure(MP_TEXT("base.zvw"), 1, number, 7, 1, -1, 1);
    EXPECT_EQ(status(I::STATUS_1), kNo);
    EXPECT_EQ(status(I::STATUS_2), kNo) << "family 7 is unknown";
    EXPECT_EQ(status(I::STATUS_3), kNo);
  }
  // Nothing loaded: every set reads zeros, not whatever the host supplied.
  for (int slot = 0; slot < 3; ++slot)
    for (int i = 0; i < zv::oscillators::kSetValues; i += 997) ASSERT_EQ(set(slot)[i], 0.0f) << slot << " " << i;
}

TEST_F(InitOscZvqrTest, FormatValueIsTruncated) {
  write("osc-sqr-1.zvw", numberedFile(zv::oscillators::kFileValues, 2.9f));
  configure(MP_TEXT("base.zvw"), 3, 1, 9, 0, 9, 0);
  EXPECT_EQ(status(I::STATUS_1), 1.0f);
}

TEST_F(InitOscZvqrTest, ShortFileFillsWhatItHasButIsNotReportedLoaded) {
  write("osc-free-1.zvw", numberedFile(10000));
  configure(MP_TEXT("base.zvw"), 4, 1, 9, 0, 9, 0);
  EXPECT_EQ(status(I::STATUS_1), kNo);
  EXPECT_EQ(set(0)[9999], 9999.0f);
  EXPECT_EQ(set(0)[10000], 0.0f);
}

TEST_F(InitOscZvqrTest, ReloadsOnlyTheSetWhosePairChanged) {
  write("osc-sine-1.zvw", numberedFile(zv::oscillators::kFileValues));
  write("osc-sine-2.zvw", numberedFile(zv::oscillators::kFileValues));
  configure(MP_TEXT("base.zvw"), 0, 1, 0, 1, 0, 1);
  for (int pin : {I::STATUS_1, I::STATUS_2, I::STATUS_3}) EXPECT_EQ(status(pin), 1.0f);
  host.clearRecords();
  init->process(4, EventList().value(0, I::NUMBER_3, int32_t{2}));
  EXPECT_TRUE(host.valuesOn(I::STATUS_1).empty());
  EXPECT_TRUE(host.valuesOn(I::STATUS_2).empty());
  EXPECT_FALSE(host.valuesOn(I::STATUS_3).empty());
  host.clearRecords();
  init->process(4, EventList().value(0, I::NUMBER_3, int32_t{2}).value(0, I::REFERENCE, MpString(MP_TEXT("x.zvw"))));
  EXPECT_TRUE(host.values.empty()) << "same pair and a new reference: no reload";
}

TEST(InitOscZvqrPaths, FamilyFileNamesBesideTheReference) {
  EXPECT_EQ(InitOscZvqr::familyPath(MP_TEXT("C:/tables/base.zvw"), 2, 7), MP_TEXT("C:/tables/osc-saw-7.zvw"));
  EXPECT_EQ(InitOscZvqr::familyPath(MP_TEXT("C:\\t\\BASE.Zvw"), 1, 12), MP_TEXT("C:\\t/osc-tri-12.zvw"));
  EXPECT_EQ(InitOscZvqr::familyPath(MP_TEXT("/a/longer-name.zvw"), 3, -1), MP_TEXT("/a/osc-sqr--1.zvw"));
  EXPECT_EQ(InitOscZvqr::familyPath(MP_TEXT("/a/b.zvw"), 4, INT32_MIN), MP_TEXT("/a/osc-free--2147483648.zvw"));
  // Refused: no folder, too short, wrong extension, unknown family.
  for (const MpChar* bad : {MP_TEXT("base.zvw"), MP_TEXT(".zvw"), MP_TEXT("zvw"), MP_TEXT(""), MP_TEXT("/a/b.zvx")})
    EXPECT_TRUE(InitOscZvqr::familyPath(bad, 0, 1).empty()) << toUtf8(bad);
  EXPECT_TRUE(InitOscZvqr::familyPath(MP_TEXT("/a/b.zvw"), 5, 1).empty());
  EXPECT_TRUE(InitOscZvqr::familyPath(MP_TEXT("/a/b.zvw"), -1, 1).empty());
}

TEST_F(InitOscZvqrTest, ReferenceNearThePathLimitIsSafe) {
  for (size_t length : {250u, 255u, 259u, 300u}) {
    MpString name(length, MP_TEXT('x'));
    name.replace(length - 4, 4, MP_TEXT(".zvw"));
    host.folder = MP_TEXT("");
    configure(name, 0, 1, 0, 1, 0, static_cast<int32_t>(length));
    EXPECT_EQ(status(I::STATUS_1), kNo);
  }
}

// The default set that the build writes, loaded and played.
TEST_F(InitOscZvqrTest, GeneratedDefaultSetLoadsAndPlays) {
  for (zvw::Family f : zvw::kFamilies) write(std::string("osc-") + zvw::familyStem(f) + "-1.zvw", zvw::generateSet(f));
  write("base.zvw", zvw::generateSet(zvw::Family::Sine));
  configure(MP_TEXT("base.zvw"), 0, 1, 2, 1, 1, 1);
  for (int pin : {I::STATUS_1, I::STATUS_2, I::STATUS_3}) EXPECT_EQ(status(pin), 1.0f);

  AudioModule osc(host, MP_TEXT("Osc ZVQR"));
  for (int pin = 0; pin <= OscZvqr::OFFSET_OUT; ++pin) osc.audio(pin);
  osc.audio(OscZvqr::UNUSED_AUDIO);
  osc.fill(OscZvqr::PITCH, 0.5f);
  osc.fill(OscZvqr::PHASE_OFFSET, 1.0f);
  osc.fill(OscZvqr::ACTIVE, 1.0f);
  osc.open();
  for (int32_t mode : {0, 2, 3}) {
    SCOPED_TRACE(mode);
    osc.process(64, EventList()
                        .graphStart()
                        .value(0, OscZvqr::MODE, mode)
                        .value(0, OscZvqr::LEVEL_1, 1.0f)
                        .value(0, OscZvqr::LEVEL_2, 1.0f)
                        .value(0, OscZvqr::LEVEL_3, 1.0f));
    double energy = 0.0;
    for (int i = 0; i < 64; ++i) {
      const float v = osc.audio(OscZvqr::OUTPUT)[i];
      ASSERT_TRUE(std::isfinite(v));
      ASSERT_LE(std::abs(v), 1.0f);
      energy += v * v;
    }
    EXPECT_GT(std::sqrt(energy / 64), 0.2);
  }
}

}  // namespace
