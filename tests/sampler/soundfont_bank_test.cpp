#include <gtest/gtest.h>

#include <chrono>

#include "modules/sampler/riff_chunk_reader.h"
#include "modules/sampler/soundfont_bank.h"
#include "tests/sampler/test_banks.h"

namespace {

using namespace zv::sampler;
using namespace zv::sampler::test;

std::shared_ptr<SoundFontBank> loaded(const sf2::Bytes& bytes) {
  auto bank = std::make_shared<SoundFontBank>();
  if (!bank->loadMemory(bytes.data(), bytes.size())) return nullptr;
  return bank;
}

std::vector<const ZoneRecord*> zonesFor(const ZoneSet& set, int key, int velocity = 100) {
  std::vector<const ZoneRecord*> out;
  set.zonesForNote(0, key, velocity, out);
  return out;
}

sf2::Bytes riffOf(const char* form, const std::vector<sf2::Bytes>& children) {
  return sf2::list(form, children, "RIFF");
}

TEST(RiffChunkReader, MatchesChunksByTheirDirectParentAndCountsWholeRecords) {
  const sf2::Bytes odd = {1, 2, 3};  // odd size: the pad byte must be skipped
  const sf2::Bytes bytes =
      riffOf("test", {sf2::list("aaaa", {sf2::chunk("odd ", odd), sf2::chunk("data", {9, 8, 7, 6, 5})}),
                      sf2::list("bbbb", {sf2::chunk("data", {1, 2})})});
  RiffChunkReader reader;
  ASSERT_EQ(reader.openMemory(bytes.data(), bytes.size()), fourCc("test"));
  std::vector<uint8_t> inA, inB;
  uint32_t countA = 0;
  bool foundMissing = false;
  ChunkRequest a;
  a.listType = fourCc("aaaa");
  a.chunkId = fourCc("data");
  a.data = &inA;
  a.count = &countA;
  a.recordSize = 2;
  ChunkRequest b = a;
  b.listType = fourCc("bbbb");
  b.data = &inB;
  b.count = nullptr;
  ChunkRequest missing = a;
  missing.listType = fourCc("cccc");
  missing.data = nullptr;
  missing.count = nullptr;
  missing.found = &foundMissing;
  reader.addRequest(a);
  reader.addRequest(b);
  reader.addRequest(missing);
  EXPECT_TRUE(reader.read());
  EXPECT_EQ(inA, (std::vector<uint8_t>{9, 8, 7, 6, 5}));
  EXPECT_EQ(countA, 2u) << "remainder ignored";
  EXPECT_EQ(inB, (std::vector<uint8_t>{1, 2}));
  EXPECT_FALSE(foundMissing);
}

TEST(RiffChunkReader, NonRiffOrUnopenableInputHasFormTypeZero) {
  RiffChunkReader reader;
  const sf2::Bytes notRiff = sf2::list("sfbk", {}, "RIFX");
  EXPECT_EQ(reader.openMemory(notRiff.data(), notRiff.size()), 0u);
  const sf2::Bytes tiny = {'R', 'I', 'F', 'F'};
  EXPECT_EQ(reader.openMemory(tiny.data(), tiny.size()), 0u);
  EXPECT_EQ(reader.open(MP_TEXT("no/such/file.sf2")), 0u);
}

TEST(RiffChunkReader, HostileSizesNestingAndChunkFloodsEndTheWalk) {
  // A chunk claiming 4 GiB gets only the bytes the file holds.
  sf2::Bytes huge = riffOf("test", {sf2::list("aaaa", {sf2::chunk("data", {1, 2, 3, 4})})});
  huge[huge.size() - 8] = 0xF0;  // size field of "data"
  huge[huge.size() - 7] = huge[huge.size() - 6] = huge[huge.size() - 5] = 0xFF;
  RiffChunkReader reader;
  ASSERT_NE(reader.openMemory(huge.data(), huge.size()), 0u);
  std::vector<uint8_t> data;
  ChunkRequest r;
  r.listType = fourCc("aaaa");
  r.chunkId = fourCc("data");
  r.data = &data;
  reader.addRequest(r);
  reader.read();
  EXPECT_EQ(data, (std::vector<uint8_t>{1, 2, 3, 4}));

  // 40 nested lists: the wanted chunk at the bottom lies beyond the stack
  // and is skipped, a sibling after the nest is still found.
  sf2::Bytes nest = sf2::chunk("data", {7});
  for (int i = 0; i < 40; ++i) nest = sf2::list(i == 0 ? "deep" : "nest", {nest});
  const sf2::Bytes deep = riffOf("test", {nest, sf2::list("aaaa", {sf2::chunk("data", {5})})});
  ASSERT_NE(reader.openMemory(deep.data(), deep.size()), 0u);
  std::vector<uint8_t> bottom, sibling;
  ChunkRequest b = r;
  b.listType = fourCc("deep");
  b.data = &bottom;
  ChunkRequest s = r;
  s.data = &sibling;
  reader.addRequest(b);
  reader.addRequest(s);
  reader.read();
  EXPECT_TRUE(bottom.empty());
  EXPECT_EQ(sibling, (std::vector<uint8_t>{5}));

  // Many empty chunks: the walk moves on by a header each and stops.
  std::vector<sf2::Bytes> empties(3000, sf2::chunk("zero", {}));
  const sf2::Bytes flood = riffOf("test", empties);
  ASSERT_NE(reader.openMemory(flood.data(), flood.size()), 0u);
  EXPECT_TRUE(reader.read());
}

TEST(SoundFontBank, ReadsRecordsAndPadsTheSampleData) {
  auto bank = loaded(sf2::write(standardBank()));
  ASSERT_TRUE(bank);
  EXPECT_EQ(bank->count(SoundFontBank::PHDR), 7u) << "six presets and the terminal record";
  EXPECT_EQ(bank->presetHeader(5).name, "Kit");
  EXPECT_EQ(bank->presetHeader(5).bank, 128);
  const SampleHeader& left = bank->sampleHeader(LEFT);
  EXPECT_EQ(left.type, 4);
  EXPECT_EQ(left.link, RIGHT);
  EXPECT_EQ(left.end - left.start, 500u);
  EXPECT_TRUE(left.valid);
  EXPECT_EQ(bank->samples()[bank->sampleHeader(RAMP).start + 3], 30);
  for (int i = 1; i <= SoundFontBank::kPad; ++i) {
    EXPECT_EQ(bank->samples()[-i], 0);
    EXPECT_EQ(bank->samples()[bank->sampleCount() - 1 + i], 0);
  }
  EXPECT_TRUE(bank->raw(SoundFontBank::SMPL).empty()) << "the sample data is held once, padded";
}

TEST(RiffChunkReader, ReadsSamplesStraightIntoAPaddedBuffer) {
  const sf2::Bytes bytes = riffOf("test", {sf2::list("sdta", {sf2::chunk("smpl", {0x01, 0x02, 0xFF, 0xFF, 7})})});
  RiffChunkReader reader;
  ASSERT_NE(reader.openMemory(bytes.data(), bytes.size()), 0u);
  std::vector<int16_t> samples(5, 99);
  uint32_t count = 0;
  ChunkRequest r;
  r.listType = fourCc("sdta");
  r.chunkId = fourCc("smpl");
  r.recordSize = 2;
  r.count = &count;
  r.samples = &samples;
  r.padSamples = 2;
  reader.addRequest(r);
  EXPECT_TRUE(reader.read());
  EXPECT_EQ(samples, (std::vector<int16_t>{0, 0, 0x0201, -1, 0, 0})) << "little-endian; the odd byte is left out";
  EXPECT_EQ(count, 2u);
}

TEST(SoundFontBank, RefusesOtherFormsAndHydraWithMissingLists) {
  EXPECT_FALSE(loaded(riffOf("WAVE", {sf2::chunk("fmt ", {1, 0})})));
  for (const char* id : {"smpl", "pbag", "pgen", "inst", "ibag", "igen", "shdr"}) {
    sf2::Bank b = standardBank();
    b.omit = {id};
    EXPECT_FALSE(loaded(sf2::write(b))) << id;
  }
  sf2::Bank noModulators = standardBank();
  noModulators.omit = {"pmod", "imod"};
  EXPECT_TRUE(loaded(sf2::write(noModulators)));
  // Without preset headers the bank is valid and plays nothing.
  sf2::Bank noPresets = standardBank();
  noPresets.omit = {"phdr"};
  auto bank = loaded(sf2::write(noPresets));
  ASSERT_TRUE(bank);
  ZoneSet set(bank);
  EXPECT_FALSE(set.buildZones(0, 0, 0));
}

TEST(ZoneSet, PresetRangesNarrowTheZonesOfTheirInstrument) {
  ZoneSet set(loaded(sf2::write(standardBank())));
  ASSERT_TRUE(set.buildZones(0, 0, 0));
  ASSERT_EQ(set.zones().size(), 2u) << "the zone ending without its sample never sounds";
  const ZoneRecord& wide = set.zones()[0];
  const ZoneRecord& narrow = set.zones()[1];
  EXPECT_EQ(wide.lower(GEN_KEY_RANGE), 36);
  EXPECT_EQ(wide.upper(GEN_KEY_RANGE), 60);
  EXPECT_EQ(narrow.lower(GEN_KEY_RANGE), 48);
  EXPECT_EQ(narrow.upper(GEN_KEY_RANGE), 60);

  // The global zone's values are defaults; a zone's own values win.
  EXPECT_EQ(wide.generator(GEN_COARSE_TUNE), 2);
  EXPECT_EQ(wide.generator(GEN_PAN), 100);
  EXPECT_EQ(narrow.generator(GEN_COARSE_TUNE), 2);
  EXPECT_EQ(narrow.generator(GEN_PAN), -300);
  EXPECT_EQ(wide.generator(GEN_SCALE_TUNING), 100);
  EXPECT_EQ(wide.generator(8), 13500);
  EXPECT_EQ(wide.generator(GEN_ROOT_KEY), -1);
  EXPECT_EQ(wide.generator(34), -12000);
  EXPECT_EQ(wide.lower(GEN_VELOCITY_RANGE), 0);
  EXPECT_EQ(wide.upper(GEN_VELOCITY_RANGE), 127);
  EXPECT_EQ(wide.generator(75), wide.generator(0)) << "numbers past 59 read generator 0";

  auto both = zonesFor(set, 50);
  ASSERT_EQ(both.size(), 2u);
  EXPECT_EQ(both[0], &narrow) << "last built first";
  EXPECT_EQ(zonesFor(set, 40).size(), 1u);
  EXPECT_TRUE(zonesFor(set, 61).empty());
  EXPECT_TRUE(zonesFor(set, 35).empty());
}

TEST(ZoneSet, BanksAndPresetsAreChosenPerChannelSlot) {
  ZoneSet set(loaded(sf2::write(standardBank())));
  set.setProgram(0, 0);
  EXPECT_TRUE(set.zones().empty()) << "no bank chosen yet";
  set.setBank(0, 128);
  ASSERT_EQ(set.zones().size(), 1u) << "bank 128 is a bank like any other";
  EXPECT_EQ(zonesFor(set, 60, 63).size(), 1u);
  EXPECT_TRUE(zonesFor(set, 60, 64).empty()) << "preset velocity range";
  set.setProgram(0, 99);
  EXPECT_TRUE(set.zones().empty()) << "absent preset";
  EXPECT_TRUE(zonesFor(set, 60).empty());
}

TEST(ZoneSet, GeneratorNumbersAreUnsignedAndBadReferencesLeaveZonesOut) {
  using namespace sf2;
  Bank b = standardBank();
  // 0xFFFE must not be taken for a negative index.
  b.instruments.push_back({"Odd", {Zone{{gen(0xFFFE, 1234), gen(60, 99), sampleId(RAMP)}}}});
  b.instruments.push_back({"BadSample", {Zone{{sampleId(77)}}, Zone{{sampleId(RAMP)}}}});
  Sample outside{"outside", {1, 2, 3}};
  outside.rawPositions = true;
  outside.rawStart = 10;
  outside.rawEnd = 5000000;  // beyond the data
  b.samples.push_back(outside);
  b.instruments.push_back({"Outside", {Zone{{sampleId(5)}}}});
  b.presets.push_back({"Odd", 10, 0, {Zone{{instrumentId(5)}}}});
  b.presets.push_back({"BadSample", 11, 0, {Zone{{instrumentId(6)}}}});
  b.presets.push_back({"BadInstrument", 12, 0, {Zone{{keyRange(1, 2), instrumentId(4000)}}}});
  b.presets.push_back({"Outside", 13, 0, {Zone{{instrumentId(7)}}}});
  ZoneSet set(loaded(write(b)));

  ASSERT_TRUE(set.buildZones(0, 0, 10));
  ASSERT_EQ(set.zones().size(), 1u);
  ZoneRecord expected = defaultZone();
  expected.setGenerator(GEN_SAMPLE, RAMP);
  EXPECT_EQ(set.zones()[0].values, expected.values);

  ASSERT_TRUE(set.buildZones(0, 0, 11));
  ASSERT_EQ(set.zones().size(), 1u);
  EXPECT_EQ(set.zones()[0].generator(GEN_SAMPLE), RAMP);
  ASSERT_TRUE(set.buildZones(0, 0, 12));
  EXPECT_TRUE(set.zones().empty());
  ASSERT_TRUE(set.buildZones(0, 0, 13));
  EXPECT_TRUE(set.zones().empty());
}

TEST(ZoneSet, HydraIndicesPastTheirListsAreClamped) {
  sf2::Bytes bytes = sf2::write(standardBank());
  auto bank = loaded(bytes);
  ASSERT_TRUE(bank);
  // Rewrite every bag and generator index in the hydra to hostile values.
  auto findChunk = [&](const char* id) {
    for (size_t i = 0; i + 8 <= bytes.size(); ++i) {
      if (std::memcmp(&bytes[i], id, 4) == 0) return i + 8;
    }
    return size_t{0};
  };
  const size_t phdr = findChunk("phdr");
  const size_t ibag = findChunk("ibag");
  const size_t inst = findChunk("inst");
  ASSERT_NE(phdr, 0u);
  for (uint16_t hostile : {uint16_t{0xFFFF}, uint16_t{0x7FFF}, uint16_t{3}}) {
    sf2::Bytes broken = bytes;
    broken[phdr + 24] = static_cast<uint8_t>(hostile);  // first preset's bag
    broken[phdr + 25] = static_cast<uint8_t>(hostile >> 8);
    broken[ibag] = 0xFF;  // first instrument bag's generator index
    broken[ibag + 1] = 0xFF;
    broken[inst + 22 + 20] = 0xFF;  // second instrument's first bag
    auto b = loaded(broken);
    ASSERT_TRUE(b);
    ZoneSet set(b);
    for (int preset = 0; preset < 5; ++preset) {
      set.buildZones(0, 0, preset);
      for (const ZoneRecord& z : set.zones()) {
        const auto sample = static_cast<uint16_t>(z.generator(GEN_SAMPLE));
        ASSERT_LT(sample, b->sampleHeaderCount());
        EXPECT_TRUE(b->sampleHeader(sample).valid);
      }
    }
  }
}

// Range generators each narrow every zone their bag added: a bag with a
// flood of them after a large instrument must not cost ranges x zones.
TEST(ZoneSet, RangeFloodsAfterALargeInstrumentCostBoundedWork) {
  using namespace sf2;
  Bank b = standardBank();
  b.instruments.push_back({"Many", std::vector<Zone>(ZoneSet::kMaxZones, Zone{{sampleId(RAMP)}})});
  std::vector<Generator> flood(60000, keyRange(10, 100));  // bag indices are 16-bit
  flood.push_back(instrumentId(5));
  b.presets.push_back({"Flood", 20, 0, {Zone{flood}}});
  ZoneSet set(loaded(write(b)));
  const auto started = std::chrono::steady_clock::now();
  ASSERT_TRUE(set.buildZones(0, 0, 20));
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  EXPECT_LT(seconds, 2.0);
  ASSERT_EQ(set.zones().size(), ZoneSet::kMaxZones);
  EXPECT_EQ(set.zones().back().lower(GEN_KEY_RANGE), 10) << "the first ranges still narrow";
  EXPECT_EQ(set.zones().back().upper(GEN_KEY_RANGE), 100);
}

TEST(SoundFontBank, EveryTruncationLoadsOrIsRefusedSafely) {
  const sf2::Bytes bytes = sf2::write(standardBank());
  for (size_t n = 0; n < bytes.size(); n += 7) {
    sf2::Bytes cut(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n));
    auto bank = std::make_shared<SoundFontBank>();
    if (!bank->loadMemory(cut.data(), cut.size())) continue;
    ZoneSet set(bank);
    set.buildZones(0, 0, 0);
    for (const ZoneRecord& z : set.zones()) {
      const SampleHeader& h = bank->sampleHeader(static_cast<uint16_t>(z.generator(GEN_SAMPLE)));
      ASSERT_TRUE(h.valid);
      ASSERT_LE(h.end, static_cast<uint32_t>(bank->sampleCount()));
    }
  }
}

}  // namespace
