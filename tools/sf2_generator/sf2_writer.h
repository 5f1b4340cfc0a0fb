// Writes SoundFont 2 banks from a small description: samples (mono or
// linked stereo pairs), instruments and presets with their zones' generators
// in the order given. Also builds raw RIFF chunks, so that malformed files
// can be made on purpose. Header-only: used by the generator tool and by
// tests, which make the banks they need.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace sf2 {

using Bytes = std::vector<uint8_t>;

struct Generator {
  uint16_t op;
  uint16_t amount;
};

inline Generator gen(int op, int amount) {
  return {static_cast<uint16_t>(op), static_cast<uint16_t>(static_cast<int16_t>(amount))};
}
inline Generator range(int op, int low, int high) {
  return {static_cast<uint16_t>(op), static_cast<uint16_t>((low & 0xFF) | (high & 0xFF) << 8)};
}
inline Generator keyRange(int low, int high) { return range(43, low, high); }
inline Generator velocityRange(int low, int high) { return range(44, low, high); }
inline Generator sampleId(int index) { return gen(53, index); }
inline Generator instrumentId(int index) { return gen(41, index); }

struct Zone {
  std::vector<Generator> generators;
};

struct Sample {
  std::string name;
  std::vector<int16_t> data;
  uint32_t loopStart = 0;  // relative to the sample's first point
  uint32_t loopEnd = 0;
  uint32_t rate = 44100;
  uint8_t rootKey = 60;
  int8_t correction = 0;
  uint16_t link = 0;
  uint16_t type = 1;  // 1 mono, 2 right, 4 left, 0x8000 ROM
  // When set, start/end/loop fields are written as given (absolute).
  bool rawPositions = false;
  uint32_t rawStart = 0, rawEnd = 0, rawLoopStart = 0, rawLoopEnd = 0;
};

struct Instrument {
  std::string name;
  std::vector<Zone> zones;
};

struct Preset {
  std::string name;
  uint16_t preset = 0;
  uint16_t bank = 0;
  std::vector<Zone> zones;
};

struct Bank {
  std::vector<Sample> samples;
  std::vector<Instrument> instruments;
  std::vector<Preset> presets;
  // Chunks to leave out (by identifier, e.g. "ibag"), for broken files.
  std::vector<std::string> omit;
};

inline void put16(Bytes& b, uint32_t v) {
  b.push_back(static_cast<uint8_t>(v));
  b.push_back(static_cast<uint8_t>(v >> 8));
}
inline void put32(Bytes& b, uint32_t v) {
  put16(b, v & 0xFFFF);
  put16(b, v >> 16);
}
inline void putName(Bytes& b, const std::string& name) {
  char field[20] = {};
  std::memcpy(field, name.data(), name.size() < 20 ? name.size() : 20);
  b.insert(b.end(), field, field + 20);
}
inline void putId(Bytes& b, const char* id) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(id[i]));
}

// A chunk: identifier, size, data and the pad byte of odd sizes.
inline Bytes chunk(const char* id, const Bytes& data) {
  Bytes b;
  b.reserve(data.size() + 9);
  putId(b, id);
  put32(b, static_cast<uint32_t>(data.size()));
  b.insert(b.end(), data.begin(), data.end());
  if (data.size() & 1) b.push_back(0);
  return b;
}
// A LIST (or, with outer "RIFF", the form) of the given children.
inline Bytes list(const char* type, const std::vector<Bytes>& children, const char* outer = "LIST") {
  Bytes data;
  putId(data, type);
  for (const Bytes& c : children) data.insert(data.end(), c.begin(), c.end());
  return chunk(outer, data);
}

inline Bytes write(const Bank& bank) {
  auto omitted = [&](const char* id) {
    for (const std::string& o : bank.omit) {
      if (o == id) return true;
    }
    return false;
  };
  Bytes smpl, shdr;
  for (const Sample& s : bank.samples) {
    const auto start = static_cast<uint32_t>(smpl.size() / 2);
    for (int16_t v : s.data) put16(smpl, static_cast<uint16_t>(v));
    for (int i = 0; i < 46; ++i) put16(smpl, 0);  // the format's zero tail
    const auto end = start + static_cast<uint32_t>(s.data.size());
    putName(shdr, s.name);
    put32(shdr, s.rawPositions ? s.rawStart : start);
    put32(shdr, s.rawPositions ? s.rawEnd : end);
    put32(shdr, s.rawPositions ? s.rawLoopStart : start + s.loopStart);
    put32(shdr, s.rawPositions ? s.rawLoopEnd : start + s.loopEnd);
    put32(shdr, s.rate);
    shdr.push_back(s.rootKey);
    shdr.push_back(static_cast<uint8_t>(s.correction));
    put16(shdr, s.link);
    put16(shdr, s.type);
  }
  putName(shdr, "EOS");
  shdr.resize(shdr.size() + 26, 0);

  Bytes inst, ibag, igen, imod;
  uint32_t bagIndex = 0, genIndex = 0;
  for (const Instrument& in : bank.instruments) {
    putName(inst, in.name);
    put16(inst, bagIndex);
    for (const Zone& z : in.zones) {
      put16(ibag, genIndex);
      put16(ibag, 0);
      for (const Generator& g : z.generators) {
        put16(igen, g.op);
        put16(igen, g.amount);
        ++genIndex;
      }
      ++bagIndex;
    }
  }
  putName(inst, "EOI");
  put16(inst, bagIndex);
  put16(ibag, genIndex);
  put16(ibag, 0);
  put32(igen, 0);
  imod.resize(10, 0);

  Bytes phdr, pbag, pgen, pmod;
  bagIndex = 0;
  genIndex = 0;
  for (const Preset& p : bank.presets) {
    putName(phdr, p.name);
    put16(phdr, p.preset);
    put16(phdr, p.bank);
    put16(phdr, bagIndex);
    put32(phdr, 0);
    put32(phdr, 0);
    put32(phdr, 0);
    for (const Zone& z : p.zones) {
      put16(pbag, genIndex);
      put16(pbag, 0);
      for (const Generator& g : z.generators) {
        put16(pgen, g.op);
        put16(pgen, g.amount);
        ++genIndex;
      }
      ++bagIndex;
    }
  }
  putName(phdr, "EOP");
  put16(phdr, 0);
  put16(phdr, 0);
  put16(phdr, bagIndex);
  phdr.resize(phdr.size() + 12, 0);
  put16(pbag, genIndex);
  put16(pbag, 0);
  put32(pgen, 0);
  pmod.resize(10, 0);

  Bytes version;
  put16(version, 2);
  put16(version, 1);
  Bytes name = {'z', 'v', ' ', 'b', 'a', 'n', 'k', 0};
  std::vector<Bytes> info = {chunk("ifil", version), chunk("INAM", name)};
  std::vector<Bytes> sdta, pdta;
  if (!omitted("smpl")) sdta.push_back(chunk("smpl", smpl));
  const std::pair<const char*, const Bytes*> hydra[] = {{"phdr", &phdr}, {"pbag", &pbag}, {"pmod", &pmod},
                                                        {"pgen", &pgen}, {"inst", &inst}, {"ibag", &ibag},
                                                        {"imod", &imod}, {"igen", &igen}, {"shdr", &shdr}};
  for (const auto& [id, data] : hydra) {
    if (!omitted(id)) pdta.push_back(chunk(id, *data));
  }
  return list("sfbk", {list("INFO", info), list("sdta", sdta), list("pdta", pdta)}, "RIFF");
}

inline bool save(const std::string& path, const Bytes& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

}  // namespace sf2
