// Golden hashes of renders and generated files: the hash, the float WAV
// reader that finds zvhost's sample data, and the small text file that
// keeps one "name hash" line per golden.
#pragma once

#include <cstdint>
#include <cstring>
#include <fstream>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace zv::golden {

constexpr uint64_t kFnvOffset = 0xcbf29ce484222325ull;
constexpr uint64_t kFnvPrime = 0x100000001b3ull;

// 64-bit FNV-1a.
inline uint64_t fnv1a(const void* data, size_t size, uint64_t hash = kFnvOffset) {
  const auto* bytes = static_cast<const uint8_t*>(data);
  for (size_t i = 0; i < size; ++i) hash = (hash ^ bytes[i]) * kFnvPrime;
  return hash;
}

// Hash of stereo float samples in the order and byte layout of a 32-bit
// float WAV file (left, right, little-endian), so that a render and the file
// zvhost writes from it hash alike.
class SampleHash {
 public:
  void addStereo(const float* left, const float* right, int32_t frames) {
    for (int32_t i = 0; i < frames; ++i) {
      add(left[i]);
      add(right[i]);
    }
  }
  uint64_t value() const { return hash_; }

 private:
  void add(float v) {
    uint32_t bits = 0;
    std::memcpy(&bits, &v, sizeof bits);
    const uint8_t bytes[4] = {static_cast<uint8_t>(bits), static_cast<uint8_t>(bits >> 8),
                              static_cast<uint8_t>(bits >> 16), static_cast<uint8_t>(bits >> 24)};
    hash_ = fnv1a(bytes, 4, hash_);
  }
  uint64_t hash_ = kFnvOffset;
};

inline std::string toHex(uint64_t v) {
  char text[17];
  for (int i = 15; i >= 0; --i, v >>= 4) text[i] = "0123456789abcdef"[v & 15];
  text[16] = 0;
  return text;
}

inline std::optional<uint64_t> fromHex(const std::string& text) {
  if (text.size() != 16) return std::nullopt;
  uint64_t v = 0;
  for (char c : text) {
    const char* digits = "0123456789abcdef";
    const char* at = c != 0 ? std::strchr(digits, c) : nullptr;
    if (at == nullptr) return std::nullopt;
    v = v << 4 | static_cast<uint64_t>(at - digits);
  }
  return v;
}

inline uint32_t littleEndian(const uint8_t* p, int bytes) {
  uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = v << 8 | p[i];
  return v;
}

// The data chunk of a RIFF WAVE file with 32-bit float stereo samples; none
// for anything else, or when a chunk runs past the end.
struct Span {
  const uint8_t* data;
  size_t size;
};
inline std::optional<Span> floatStereoWavData(const std::vector<uint8_t>& file) {
  if (file.size() < 12 || std::memcmp(file.data(), "RIFF", 4) != 0 || std::memcmp(file.data() + 8, "WAVE", 4) != 0)
    return std::nullopt;
  bool floatStereo = false;
  for (size_t at = 12; file.size() - at >= 8;) {
    const uint8_t* chunk = file.data() + at;
    const size_t size = littleEndian(chunk + 4, 4);
    if (size > file.size() - at - 8) return std::nullopt;
    if (std::memcmp(chunk, "fmt ", 4) == 0) {
      if (size < 16) return std::nullopt;
      const uint32_t format = littleEndian(chunk + 8, 2);
      const uint32_t channels = littleEndian(chunk + 10, 2);
      const uint32_t bits = littleEndian(chunk + 22, 2);
      // 3 is IEEE float; 0xFFFE defers to the extension's subformat.
      const bool isFloat = format == 3 || (format == 0xFFFE && size >= 26 && littleEndian(chunk + 32, 2) == 3);
      floatStereo = isFloat && channels == 2 && bits == 32;
    } else if (std::memcmp(chunk, "data", 4) == 0) {
      if (!floatStereo) return std::nullopt;
      return Span{chunk + 8, size};
    }
    at += 8 + size + (size & 1);
  }
  return std::nullopt;
}

// "name hash" lines; blank lines and lines starting with # are kept as they
// are when the file is rewritten.
class GoldenFile {
 public:
  explicit GoldenFile(std::string path) : path_(std::move(path)) {
    std::ifstream in(path_);
    for (std::string line; std::getline(in, line);) lines_.push_back(line);
  }

  std::optional<uint64_t> find(const std::string& name) const {
    for (const auto& line : lines_) {
      const auto entry = parse(line);
      if (entry && entry->first == name) return fromHex(entry->second);
    }
    return std::nullopt;
  }

  void set(const std::string& name, uint64_t hash) {
    const std::string text = name + " " + toHex(hash);
    for (auto& line : lines_) {
      const auto entry = parse(line);
      if (entry && entry->first == name) {
        line = text;
        return;
      }
    }
    lines_.push_back(text);
  }

  void save() const {
    std::ofstream out(path_, std::ios::binary | std::ios::trunc);
    for (const auto& line : lines_) out << line << '\n';
    if (!out) throw std::runtime_error(path_ + ": cannot write");
  }

 private:
  static std::optional<std::pair<std::string, std::string>> parse(const std::string& line) {
    if (line.empty() || line[0] == '#') return std::nullopt;
    std::istringstream words(line);
    std::string name, hash;
    if (!(words >> name >> hash)) return std::nullopt;
    return std::pair{name, hash};
  }

  std::string path_;
  std::vector<std::string> lines_;
};

}  // namespace zv::golden
