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

FileResolution FileResolver::resolveFully(const std::string& fileName) const {
  namespace fs = std::filesystem;
  FileResolution r;
  r.name = fileName;
  fs::path name(fileName);
  std::error_code error;
  if (fileName.empty() || name.is_absolute()) {
    r.path = fileName;
    r.found = !fileName.empty() && fs::exists(name, error);
    return r;
  }
  const std::string patchFolder = patchFolder_.empty() ? "." : patchFolder_;
  fs::path first = fs::path(patchFolder) / name;
  r.path = first.lexically_normal().string();
  r.tried.push_back(patchFolder);
  if (fs::exists(first, error)) {
    r.found = true;
    return r;
  }
  for (const auto& root : roots_) {
    r.tried.push_back(root);
    fs::path candidate = fs::path(root) / name;
    if (fs::exists(candidate, error)) {
      r.path = candidate.lexically_normal().string();
      r.found = true;
      return r;
    }
  }
  return r;
}

int32_t FileResolver::resolveInto(const MpChar* fileName, int32_t capacity, MpChar* out,
                                  FileResolution* resolution) const {
  if (out == nullptr || capacity <= 0) return MP_FAIL;
  out[0] = 0;
  if (fileName == nullptr) return MP_FAIL;
  // Longer names than any path the platform allows are refused unread.
  constexpr size_t longestName = 32768;
  size_t length = wideLength(fileName, longestName);
  if (length == longestName) return MP_FAIL;
  FileResolution r = resolveFully(wideToUtf8({fileName, length}));
  WideString full = utf8ToWide(r.path);
  if (resolution != nullptr) *resolution = std::move(r);
  if (full.size() + 1 > static_cast<size_t>(capacity)) return MP_FAIL;
  std::memcpy(out, full.data(), full.size() * sizeof(MpChar));
  out[full.size()] = 0;
  return MP_OK;
}

}  // namespace zvhost
