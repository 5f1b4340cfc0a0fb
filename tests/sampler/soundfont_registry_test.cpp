#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <set>
#include <thread>

#include "modules/sampler/soundfont_registry.h"
#include "tests/sampler/test_banks.h"

namespace {

using namespace zv::sampler;
using namespace zv::sampler::test;

struct SoundFontRegistryTest : ::testing::Test {
  SoundFontRegistry registry;
  TempFile file{".sf2", sf2::write(standardBank())};
};

TEST_F(SoundFontRegistryTest, SameChoiceSharesOneEntryCountedByUsers) {
  const BankHandle a = registry.openPreset(file.wide(), 0, 0);
  ASSERT_GE(a, 0);
  EXPECT_EQ(registry.openPreset(file.wide(), 0, 0), a);
  EXPECT_EQ(registry.users(a), 2);
  EXPECT_EQ(registry.addUser(a), 3);
  EXPECT_EQ(registry.releaseUser(a), 2);
  EXPECT_EQ(registry.releaseUser(a), 1);
  EXPECT_EQ(registry.releaseUser(a), 0);
  EXPECT_EQ(registry.entryCount(), 0u);
  EXPECT_EQ(registry.releaseUser(a), -1) << "gone";
  EXPECT_EQ(registry.addUser(a), -1);
  EXPECT_EQ(registry.releaseUser(-1), 0);
  EXPECT_EQ(registry.releaseUser(-7), 0);
}

TEST_F(SoundFontRegistryTest, OtherPresetsOfALoadedFileShareItsData) {
  const BankHandle a = registry.openPreset(file.wide(), 0, 0);
  const BankHandle b = registry.openPreset(file.wide(), 128, 0);
  const BankHandle c = registry.openPreset(file.wide(), 0, 99);
  ASSERT_GE(b, 0);
  ASSERT_GE(c, 0) << "an absent preset still gives a handle";
  EXPECT_NE(a, b);
  EXPECT_EQ(registry.loads(), 1) << "read from disk once";
  EXPECT_EQ(registry.sampleData(a).samples, registry.sampleData(b).samples);
  std::vector<const ZoneRecord*> zones;
  registry.findZones(c, 0, 60, 100, zones);
  EXPECT_TRUE(zones.empty());
  registry.findZones(b, 0, 60, 10, zones);
  EXPECT_EQ(zones.size(), 1u);

  // Releasing one preset keeps the file for the others.
  EXPECT_EQ(registry.releaseUser(a), 0);
  EXPECT_EQ(registry.openPreset(file.wide(), 0, 1) >= 0, true);
  EXPECT_EQ(registry.loads(), 1);
  EXPECT_EQ(registry.releaseUser(b), 0);
  EXPECT_EQ(registry.releaseUser(c), 0);
}

TEST_F(SoundFontRegistryTest, HandlesAreNeverGivenOutTwiceEvenAcrossRegistries) {
  // The C library's generator is shared with the host, which may reseed it
  // at any time: handles must not depend on it.
  SoundFontRegistry other;
  std::set<BankHandle> given;
  for (int round = 0; round < 50; ++round) {
    std::srand(1);
    const BankHandle a = registry.openPreset(file.wide(), 0, round % 3);
    std::srand(1);
    const BankHandle b = other.openPreset(file.wide(), 0, 0);
    ASSERT_GE(a, 0);
    ASSERT_GE(b, 0);
    EXPECT_TRUE(given.insert(a).second) << "handle " << a << " given out again";
    EXPECT_TRUE(given.insert(b).second) << "handle " << b << " given out again";
    EXPECT_EQ(registry.releaseUser(a), 0);
    EXPECT_EQ(other.releaseUser(b), 0);
    // A holder of a released handle reaches nothing.
    EXPECT_EQ(registry.addUser(a), -1);
    EXPECT_EQ(other.sampleData(a).samples, nullptr);
  }
  EXPECT_EQ(given.count(0), 0u) << "0 is what an unset pin reads";
}

TEST_F(SoundFontRegistryTest, UnknownHandlesAndBadFilesGiveNothing) {
  EXPECT_EQ(registry.openPreset(MP_TEXT("missing.sf2"), 0, 0), -1);
  TempFile wave(".sf2", sf2::list("WAVE", {sf2::chunk("fmt ", {1, 0})}, "RIFF"));
  EXPECT_EQ(registry.openPreset(wave.wide(), 0, 0), -1);
  EXPECT_EQ(registry.entryCount(), 0u);
  std::vector<const ZoneRecord*> zones(3, nullptr);
  registry.findZones(12345, 0, 60, 100, zones);
  EXPECT_TRUE(zones.empty());
  EXPECT_EQ(registry.sampleData(12345).samples, nullptr);
  EXPECT_EQ(registry.sampleHeader(12345, 0), nullptr);
  const BankHandle a = registry.openPreset(file.wide(), 0, 0);
  EXPECT_NE(registry.sampleHeader(a, RAMP), nullptr);
  EXPECT_EQ(registry.sampleHeader(a, 6), nullptr) << "past the headers";
  registry.releaseUser(a);
}

// The GUI thread opens and releases presets while the audio thread takes
// users, reads zones and sample data, and lets its users go.
TEST_F(SoundFontRegistryTest, GuiAndAudioThreadsTogether) {
  const BankHandle anchor = registry.openPreset(file.wide(), 0, 0);
  ASSERT_GE(anchor, 0);
  TempFile other(".sf2", sf2::write(standardBank()));
  std::atomic<bool> stop{false};
  std::atomic<int> badReads{0};
  std::thread gui([&] {
    for (int i = 0; i < 300; ++i) {
      const BankHandle h = registry.openPreset(file.wide(), i % 2 == 0 ? 0 : 128, i % 3 == 0 ? 0 : 4);
      // A file nobody holds is read from disk each time.
      const BankHandle fresh = registry.openPreset(other.wide(), 0, i % 5);
      if (h < 0 || fresh < 0) badReads++;
      registry.releaseUser(h);
      registry.releaseUser(fresh);
    }
    stop = true;
  });
  int rounds = 0;
  while (!stop || rounds < 50) {
    ++rounds;
    if (registry.addUser(anchor) < 2) badReads++;
    std::vector<const ZoneRecord*> zones;
    registry.findZones(anchor, 0, 50, 100, zones);
    const SampleData data = registry.sampleData(anchor);
    for (const ZoneRecord* z : zones) {
      const SampleHeader* h = registry.sampleHeader(anchor, static_cast<uint16_t>(z->generator(GEN_SAMPLE)));
      if (h == nullptr || data.samples == nullptr || data.samples[h->start + 7] != 70) badReads++;
    }
    if (zones.size() != 2) badReads++;
    registry.releaseUser(anchor);
  }
  gui.join();
  EXPECT_EQ(badReads, 0);
  EXPECT_EQ(registry.releaseUser(anchor), 0);
  EXPECT_EQ(registry.entryCount(), 0u);
}

}  // namespace
