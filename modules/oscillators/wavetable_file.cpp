#include "modules/oscillators/wavetable_file.h"

#include <bit>

#include "modules/oscillators/wavetable_kernel.h"

static_assert(std::endian::native == std::endian::little, "wavetable files are read in place");

namespace zv::oscillators {

std::FILE* openForReading(const MpString& path) {
#ifdef _WIN32
  return _wfopen(path.c_str(), L"rb");
#else
  return std::fopen(toUtf8(path).c_str(), "rb");
#endif
}

bool headerAccepted(const float* header, size_t valuesRead) {
  // trunc(v) == 2, decided without converting NaN or huge values.
  return valuesRead == 8 && header[3] >= 2.0f && header[3] < 3.0f;
}

LoadResult loadFile(const MpString& path, float* set) {
  std::FILE* file = openForReading(path);
  if (file == nullptr) return LoadResult::Missing;
  float header[8] = {};
  const size_t headerRead = std::fread(header, sizeof(float), 8, file);
  if (!headerAccepted(header, headerRead)) {
    std::fclose(file);
    return LoadResult::BadHeader;
  }
  std::rewind(file);
  const size_t read = std::fread(set, sizeof(float), kFileValues, file);
  std::fclose(file);
  if (read < static_cast<size_t>(kFileValues)) return LoadResult::Partial;
  // Reads at the very end of table 59 interpolate into the spare values:
  // continue the cycle there.
  set[kFileValues] = set[kFileValues - kTableLength];
  set[kFileValues + 1] = set[kFileValues - kTableLength + 1];
  return LoadResult::Complete;
}

}  // namespace zv::oscillators
