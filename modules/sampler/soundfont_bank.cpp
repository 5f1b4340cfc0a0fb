#include "modules/sampler/soundfont_bank.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "modules/sampler/riff_chunk_reader.h"

namespace zv::sampler {

namespace {

ZoneRecord makeDefaults() {
  ZoneRecord r;
  r.setGenerator(8, 13500);
  for (int g : {21, 23, 25, 26, 27, 28, 30, 33, 34, 35, 36, 38}) r.setGenerator(g, -12000);
  r.setGenerator(GEN_KEY_RANGE, static_cast<int16_t>(127 << 8));
  r.setGenerator(GEN_VELOCITY_RANGE, static_cast<int16_t>(127 << 8));
  r.setGenerator(46, -1);
  r.setGenerator(47, -1);
  r.setGenerator(GEN_ROOT_KEY, -1);
  r.setGenerator(GEN_SCALE_TUNING, 100);
  return r;
}

uint32_t readLe32(const uint8_t* b) {
  return static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 | static_cast<uint32_t>(b[2]) << 16 |
         static_cast<uint32_t>(b[3]) << 24;
}

// Index ranges [first, next) taken from consecutive records, clamped to
// what the indexed list holds.
struct Span {
  uint32_t first;
  uint32_t end;
};

Span clampSpan(uint32_t first, uint32_t next, uint32_t limit) {
  first = std::min(first, limit);
  next = std::min(next, limit);
  return {first, std::max(first, next)};
}

}  // namespace

const ZoneRecord& defaultZone() {
  static const ZoneRecord defaults = makeDefaults();
  return defaults;
}

bool SoundFontBank::load(const MpString& fileName) {
  RiffChunkReader reader;
  if (reader.open(fileName) != fourCc("sfbk")) return false;
  return loadWith(reader);
}

bool SoundFontBank::loadMemory(const uint8_t* bytes, size_t size) {
  RiffChunkReader reader;
  if (reader.openMemory(bytes, size) != fourCc("sfbk")) return false;
  return loadWith(reader);
}

bool SoundFontBank::loadWith(RiffChunkReader& reader) {
  static const char* const descriptions[CHUNK_COUNT] = {
      "Sample Data", "Preset Headers", "Preset Bag Headers",    "Preset Layer Modulators", "Preset Layers",
      "Instruments", "Inst Splits",    "Inst Split Modulators", "Inst Split Split Gens",   "Sample Headers"};
  static const uint32_t ids[CHUNK_COUNT] = {fourCc("smpl"), fourCc("phdr"), fourCc("pbag"), fourCc("pmod"),
                                            fourCc("pgen"), fourCc("inst"), fourCc("ibag"), fourCc("imod"),
                                            fourCc("igen"), fourCc("shdr")};
  for (int c = 0; c < CHUNK_COUNT; ++c) {
    ChunkRequest r;
    r.description = descriptions[c];
    r.listType = c == SMPL ? fourCc("sdta") : fourCc("pdta");
    r.chunkId = ids[c];
    // Modulators are never applied: only their presence is noted. The
    // sample data goes straight to its padded buffer.
    r.data = (c == PMOD || c == IMOD || c == SMPL) ? nullptr : &raw_[c];
    if (c == SMPL) {
      r.samples = &samples_;
      r.padSamples = kPad;
    }
    r.count = &counts_[c];
    r.recordSize = kRecordSizes[c];
    r.found = &present_[c];
    reader.addRequest(r);
  }
  reader.read();
  // Preset headers index every other list: without them the bank is empty
  // but valid; with them, a missing list would be read blind.
  if (present_[PHDR]) {
    for (Chunk c : {SMPL, PBAG, PGEN, INST, IBAG, IGEN, SHDR}) {
      if (!present_[c]) return false;
    }
  }
  finish();
  return true;
}

void SoundFontBank::finish() {
  static_assert(RiffChunkReader::kMaxChunkBytes / 2 <= 0x3FFFFFFF, "sample counts fit the index range");
  if (samples_.size() < 2 * static_cast<size_t>(kPad)) samples_.assign(2 * static_cast<size_t>(kPad), 0);
  sampleCount_ = static_cast<int32_t>(samples_.size() - 2 * static_cast<size_t>(kPad));

  headers_.resize(counts_[SHDR]);
  const uint8_t* h = raw_[SHDR].data();
  for (uint32_t i = 0; i < counts_[SHDR]; ++i, h += kRecordSizes[SHDR]) {
    SampleHeader& s = headers_[i];
    s.start = readLe32(h + 20);
    s.end = readLe32(h + 24);
    s.loopStart = readLe32(h + 28);
    s.loopEnd = readLe32(h + 32);
    s.sampleRate = readLe32(h + 36);
    s.rootKey = h[40];
    s.correction = static_cast<int8_t>(h[41]);
    s.link = static_cast<uint16_t>(h[42] | h[43] << 8);
    s.type = static_cast<uint16_t>(h[44] | h[45] << 8);
    s.valid = s.start < s.end && s.end <= static_cast<uint32_t>(sampleCount_);
  }
}

uint16_t SoundFontBank::field16(Chunk c, uint32_t record, uint32_t offset) const {
  const size_t at = static_cast<size_t>(record) * kRecordSizes[c] + offset;
  const std::vector<uint8_t>& bytes = raw_[c];
  if (at + 2 > bytes.size()) return 0;
  return static_cast<uint16_t>(bytes[at] | bytes[at + 1] << 8);
}

PresetHeader SoundFontBank::presetHeader(uint32_t index) const {
  PresetHeader p;
  const size_t at = static_cast<size_t>(index) * kRecordSizes[PHDR];
  if (at + kRecordSizes[PHDR] > raw_[PHDR].size()) return p;
  const char* name = reinterpret_cast<const char*>(raw_[PHDR].data() + at);
  p.name.assign(name, strnlen(name, 20));
  p.preset = field16(PHDR, index, 20);
  p.bank = field16(PHDR, index, 22);
  p.firstBag = field16(PHDR, index, 24);
  return p;
}

ZoneSet::ZoneSet(std::shared_ptr<const SoundFontBank> bank) : bank_(std::move(bank)) {
  std::fill(std::begin(slotPreset_), std::end(slotPreset_), int8_t{-1});
  std::fill(std::begin(slotBank_), std::end(slotBank_), -1);
}

void ZoneSet::setProgram(int32_t channel, int32_t preset) {
  if (channel < 0 || channel > 15) return;
  const auto value = static_cast<int8_t>(preset);
  if (value == slotPreset_[channel]) return;
  slotPreset_[channel] = value;
  if (slotBank_[channel] >= 0) buildZones(channel, slotBank_[channel], value);
}

void ZoneSet::setBank(int32_t channel, int32_t bank) {
  if (channel < 0 || channel > 15) return;
  if (bank == slotBank_[channel]) return;
  slotBank_[channel] = bank < 0 ? -1 : bank;
  if (slotPreset_[channel] >= 0) buildZones(channel, bank, slotPreset_[channel]);
}

bool ZoneSet::buildZones(int32_t channel, int32_t bank, int32_t preset) {
  zones_.erase(
      std::remove_if(zones_.begin(), zones_.end(), [&](const ZoneRecord& z) { return z.channel() == channel; }),
      zones_.end());
  const SoundFontBank& b = *bank_;
  using C = SoundFontBank;
  const uint32_t headers = b.count(C::PHDR);
  if (headers < 2) return false;  // no preset before the terminal record
  uint32_t found = headers;
  for (uint32_t i = 0; i + 1 < headers; ++i) {
    if (static_cast<int32_t>(b.field16(C::PHDR, i, 20)) == preset &&
        static_cast<int32_t>(b.field16(C::PHDR, i, 22)) == bank) {
      found = i;
      break;
    }
  }
  if (found == headers) return false;

  // Bounds the work a hostile file can ask for (bags × instrument zones).
  int64_t budget = 1 << 22;
  const uint32_t bagLimit = b.count(C::PBAG) > 0 ? b.count(C::PBAG) - 1 : 0;
  const Span bags = clampSpan(b.field16(C::PHDR, found, 24), b.field16(C::PHDR, found + 1, 24), bagLimit);
  for (uint32_t bag = bags.first; bag < bags.end && budget > 0; ++bag) {
    size_t firstNew = 0;
    const Span gens = clampSpan(b.field16(C::PBAG, bag, 0), b.field16(C::PBAG, bag + 1, 0), b.count(C::PGEN));
    for (uint32_t g = gens.end; g > gens.first && budget > 0; --g) {
      --budget;
      const uint16_t op = b.field16(C::PGEN, g - 1, 0);
      const uint16_t amount = b.field16(C::PGEN, g - 1, 2);
      if (op == GEN_INSTRUMENT) {
        const size_t before = zones_.size();
        appendInstrument(channel, amount, budget);
        firstNew = before;
      } else if (op == GEN_KEY_RANGE || op == GEN_VELOCITY_RANGE) {
        const int32_t lo = amount & 0xFF;
        const int32_t hi = amount >> 8;
        // Each range touches every zone its bag added so far.
        budget -= static_cast<int64_t>(zones_.size() - firstNew);
        for (size_t z = firstNew; z < zones_.size(); ++z) {
          ZoneRecord& r = zones_[z];
          if (r.channel() != channel) continue;
          const int32_t l = std::max(r.lower(op), lo);
          const int32_t u = std::min(r.upper(op), hi);
          r.setGenerator(op, static_cast<int16_t>(static_cast<uint16_t>(l | u << 8)));
        }
      }
    }
  }
  return true;
}

void ZoneSet::appendInstrument(int32_t channel, uint32_t instrument, int64_t& budget) {
  const SoundFontBank& b = *bank_;
  using C = SoundFontBank;
  if (instrument + 1 >= b.count(C::INST)) return;  // the last record only closes the list
  const uint32_t bagLimit = b.count(C::IBAG) > 0 ? b.count(C::IBAG) - 1 : 0;
  const Span bags = clampSpan(b.field16(C::INST, instrument, 20), b.field16(C::INST, instrument + 1, 20), bagLimit);
  ZoneRecord working = defaultZone();
  for (uint32_t bag = bags.first; bag < bags.end && budget > 0; ++bag) {
    ZoneRecord record = working;
    const Span gens = clampSpan(b.field16(C::IBAG, bag, 0), b.field16(C::IBAG, bag + 1, 0), b.count(C::IGEN));
    for (uint32_t g = gens.first; g < gens.end; ++g) {
      const uint16_t op = b.field16(C::IGEN, g, 0);
      if (op < GEN_COUNT) record.setGenerator(op, static_cast<int16_t>(b.field16(C::IGEN, g, 2)));
    }
    budget -= 1 + (gens.end - gens.first);
    if (gens.end > gens.first && b.field16(C::IGEN, gens.end - 1, 0) == GEN_SAMPLE) {
      const auto sample = static_cast<uint16_t>(record.generator(GEN_SAMPLE));
      // A zone whose sample is missing or lies outside the data is left out.
      if (sample >= b.sampleHeaderCount() || !b.sampleHeader(sample).valid) continue;
      if (zones_.size() >= kMaxZones) return;
      record.values[0] = static_cast<int16_t>(channel);
      zones_.push_back(record);
    } else {
      working = record;
    }
  }
}

void ZoneSet::zonesForNote(int32_t channel, int32_t key, int32_t velocity, std::vector<const ZoneRecord*>& out) const {
  out.clear();
  for (auto z = zones_.rbegin(); z != zones_.rend(); ++z) {
    if (z->channel() != channel) continue;
    if (key < z->lower(GEN_KEY_RANGE) || key > z->upper(GEN_KEY_RANGE)) continue;
    if (velocity < z->lower(GEN_VELOCITY_RANGE) || velocity > z->upper(GEN_VELOCITY_RANGE)) continue;
    out.push_back(&*z);
  }
}

}  // namespace zv::sampler
