#include "host/host_services.h"

#include <algorithm>
#include <cstring>
#include <filesystem>

namespace zvhost {

float* NamedMemory::open(const WideString& name, float sampleRate, int32_t size, const void* user,
                         bool& needInitialise) {
  needInitialise = false;
  if (size <= 0 || sampleRate != sampleRate) return nullptr;
  auto [it, created] = blocks_.try_emplace({name, sampleRate});
  Block& block = it->second;
  if (created) {
    block.data = std::make_unique<float[]>(static_cast<size_t>(size));  // value-initialised: zeroed
    block.size = size;
    needInitialise = true;
  } else if (size > block.size) {
    return nullptr;
  }
  if (std::find(block.users.begin(), block.users.end(), user) == block.users.end()) block.users.push_back(user);
  return block.data.get();
}

void NamedMemory::releaseUser(const void* user) {
  for (auto it = blocks_.begin(); it != blocks_.end();) {
    auto& users = it->second.users;
    users.erase(std::remove(users.begin(), users.end(), user), users.end());
    it = users.empty() ? blocks_.erase(it) : std::next(it);
  }
}

std::string FileResolver::resolve(const std::string& fileName) const {
  namespace fs = std::filesystem;
  fs::path name(fileName);
  if (fileName.empty() || name.is_absolute()) return fileName;
  fs::path first = fs::path(patchFolder_.empty() ? "." : patchFolder_) / name;
  std::error_code error;
  if (fs::exists(first, error)) return first.lexically_normal().string();
  for (const auto& root : roots_) {
    fs::path candidate = fs::path(root) / name;
    if (fs::exists(candidate, error)) return candidate.lexically_normal().string();
  }
  return first.lexically_normal().string();
}

int32_t FileResolver::resolveInto(const MpChar* fileName, int32_t capacity, MpChar* out) const {
  if (out == nullptr || capacity <= 0) return MP_FAIL;
  out[0] = 0;
  if (fileName == nullptr) return MP_FAIL;
  // Longer names than any path the platform allows are refused unread.
  constexpr size_t longestName = 32768;
  size_t length = wideLength(fileName, longestName);
  if (length == longestName) return MP_FAIL;
  WideString full = utf8ToWide(resolve(wideToUtf8({fileName, length})));
  if (full.size() + 1 > static_cast<size_t>(capacity)) return MP_FAIL;
  std::memcpy(out, full.data(), full.size() * sizeof(MpChar));
  out[full.size()] = 0;
  return MP_OK;
}

}  // namespace zvhost
