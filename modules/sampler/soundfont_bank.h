// The in-memory image of one SoundFont 2 bank ("sfbk" RIFF form) and the
// zones of one (bank, preset) choice with every generator resolved.
//
// Records keep the file's little-endian layout and are decoded field by
// field, so misaligned records and unsigned fields read the same on every
// target. Indices from the file are checked before use: a bad bag,
// generator, instrument or sample reference leaves that zone out.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "frame/wide_text.h"

namespace zv::sampler {

// Generator numbers this library reads.
enum SoundFontGenerator : int32_t {
  GEN_START_OFFSET = 0,
  GEN_END_OFFSET = 1,
  GEN_LOOP_START_OFFSET = 2,
  GEN_LOOP_END_OFFSET = 3,
  GEN_START_COARSE = 4,
  GEN_END_COARSE = 12,
  GEN_PAN = 17,
  GEN_INSTRUMENT = 41,
  GEN_KEY_RANGE = 43,
  GEN_VELOCITY_RANGE = 44,
  GEN_LOOP_START_COARSE = 45,
  GEN_LOOP_END_COARSE = 50,
  GEN_COARSE_TUNE = 51,
  GEN_FINE_TUNE = 52,
  GEN_SAMPLE = 53,
  GEN_SAMPLE_MODES = 54,
  GEN_SCALE_TUNING = 56,
  GEN_ROOT_KEY = 58,
  GEN_COUNT = 60,
};

// Value 0: the MIDI channel; values 1..60: generators 0..59.
struct ZoneRecord {
  std::array<int16_t, GEN_COUNT + 1> values{};

  int16_t channel() const { return values[0]; }
  // Generator numbers outside 0..59 read generator 0.
  int16_t generator(int32_t number) const { return values[(number >= 0 && number < GEN_COUNT) ? number + 1 : 1]; }
  void setGenerator(int32_t number, int16_t amount) {
    if (number >= 0 && number < GEN_COUNT) values[number + 1] = amount;
  }
  // Ranges: lower bound in the low byte, upper bound in the high byte.
  int32_t lower(int32_t number) const { return static_cast<uint16_t>(generator(number)) & 0xFF; }
  int32_t upper(int32_t number) const { return static_cast<uint16_t>(generator(number)) >> 8; }
};

// The defaults every instrument zone starts from.
const ZoneRecord& defaultZone();

struct SampleHeader {
  uint32_t start = 0;
  uint32_t end = 0;
  uint32_t loopStart = 0;
  uint32_t loopEnd = 0;
  uint32_t sampleRate = 0;
  uint8_t rootKey = 0;
  int8_t correction = 0;
  uint16_t link = 0;
  uint16_t type = 0;
  // start < end <= the number of samples in the bank.
  bool valid = false;
};

struct PresetHeader {
  std::string name;
  uint16_t preset = 0;
  uint16_t bank = 0;
  uint16_t firstBag = 0;
};

class SoundFontBank {
 public:
  enum Chunk { SMPL, PHDR, PBAG, PMOD, PGEN, INST, IBAG, IMOD, IGEN, SHDR, CHUNK_COUNT };
  // Zero samples kept before and after the data, so that interpolation
  // reads around any position inside the data stay in the buffer.
  static constexpr int32_t kPad = 8;
  static constexpr uint32_t kRecordSizes[CHUNK_COUNT] = {2, 38, 4, 10, 4, 22, 4, 10, 4, 46};

  // Fails when the file cannot be opened, is not an "sfbk" form, or has
  // preset headers without the other lists they index.
  bool load(const MpString& fileName);
  bool loadMemory(const uint8_t* bytes, size_t size);

  bool has(Chunk c) const { return present_[c]; }
  uint32_t count(Chunk c) const { return counts_[c]; }
  const std::vector<uint8_t>& raw(Chunk c) const { return raw_[c]; }

  PresetHeader presetHeader(uint32_t index) const;
  // Decoded "shdr" records; the index must be below sampleHeaderCount().
  uint32_t sampleHeaderCount() const { return static_cast<uint32_t>(headers_.size()); }
  const SampleHeader& sampleHeader(uint32_t index) const { return headers_[index]; }
  const int16_t* samples() const { return samples_.data() + kPad; }
  int32_t sampleCount() const { return sampleCount_; }

  uint16_t field16(Chunk c, uint32_t record, uint32_t offset) const;

 private:
  bool loadWith(class RiffChunkReader& reader);
  void finish();

  std::array<std::vector<uint8_t>, CHUNK_COUNT> raw_;
  std::array<uint32_t, CHUNK_COUNT> counts_{};
  std::array<bool, CHUNK_COUNT> present_{};
  std::vector<int16_t> samples_;
  int32_t sampleCount_ = 0;
  std::vector<SampleHeader> headers_;
};

// The zones of one (bank, preset) per MIDI channel, built from one bank.
class ZoneSet {
 public:
  static constexpr size_t kMaxZones = 16384;

  explicit ZoneSet(std::shared_ptr<const SoundFontBank> bank);

  void setProgram(int32_t channel, int32_t preset);
  void setBank(int32_t channel, int32_t bank);
  // Replaces the channel's zones; false when the preset is not in the bank.
  bool buildZones(int32_t channel, int32_t bank, int32_t preset);
  // Matching zones, last built first.
  void zonesForNote(int32_t channel, int32_t key, int32_t velocity, std::vector<const ZoneRecord*>& out) const;

  const std::vector<ZoneRecord>& zones() const { return zones_; }
  const SoundFontBank& bank() const { return *bank_; }
  const std::shared_ptr<const SoundFontBank>& bankPointer() const { return bank_; }

 private:
  void appendInstrument(int32_t channel, uint32_t instrument, int64_t& budget);

  std::shared_ptr<const SoundFontBank> bank_;
  int8_t slotPreset_[16];
  int32_t slotBank_[16];  // wide enough for bank 128; -1 = not chosen
  std::vector<ZoneRecord> zones_;
};

}  // namespace zv::sampler
