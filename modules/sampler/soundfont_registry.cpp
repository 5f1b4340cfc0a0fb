#include "modules/sampler/soundfont_registry.h"

#include <atomic>
#include <limits>
#include <new>

namespace zv::sampler {

namespace {

// Handles are unique for the life of the process, across registries: a
// holder of a released handle must never reach another bank through it.
// Counting from 1 keeps 0, what an unset int pin reads, from naming a bank.
std::atomic<BankHandle> nextHandle{1};

// -1 once every handle was given out.
BankHandle takeHandle() {
  BankHandle h = nextHandle.load();
  do {
    if (h == std::numeric_limits<BankHandle>::max()) return -1;
  } while (!nextHandle.compare_exchange_weak(h, h + 1));
  return h;
}

}  // namespace

SoundFontRegistry& soundFontRegistry() {
  static SoundFontRegistry registry;
  return registry;
}

SoundFontRegistry::~SoundFontRegistry() = default;

SoundFontRegistry::Entry* SoundFontRegistry::find(BankHandle handle) {
  auto it = entries_.find(handle);
  return it == entries_.end() ? nullptr : &it->second;
}

BankHandle SoundFontRegistry::joinLocked(const MpString& fileName, int32_t bank, int32_t preset) {
  for (auto& [handle, e] : entries_) {
    if (e.fileName == fileName && e.bank == bank && e.preset == preset) {
      ++e.users;
      return handle;
    }
  }
  return -1;
}

std::shared_ptr<const SoundFontBank> SoundFontRegistry::bankLocked(const MpString& fileName) {
  std::shared_ptr<const SoundFontBank> found;
  for (auto& [handle, e] : entries_) {
    if (e.fileName == fileName) found = e.zones->bankPointer();
  }
  return found;
}

template <class Load>
BankHandle SoundFontRegistry::open(const MpString& fileName, int32_t bank, int32_t preset, Load load) {
  try {
    std::shared_ptr<const SoundFontBank> shared;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      BankHandle joined = joinLocked(fileName, bank, preset);
      if (joined >= 0) return joined;
      shared = bankLocked(fileName);
    }
    if (!shared) {
      auto loaded = std::make_shared<SoundFontBank>();
      if (!load(*loaded)) return -1;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        ++loads_;
        // Another thread may have loaded the same file meanwhile: share its copy.
        shared = bankLocked(fileName);
      }
      if (!shared) shared = std::move(loaded);
    }
    auto zones = std::make_unique<ZoneSet>(shared);
    zones->setProgram(0, preset);
    zones->setBank(0, bank);

    std::lock_guard<std::mutex> lock(mutex_);
    BankHandle joined = joinLocked(fileName, bank, preset);
    if (joined >= 0) return joined;
    const BankHandle handle = takeHandle();
    if (handle < 0) return -1;
    entries_.emplace(handle, Entry{handle, fileName, bank, preset, 1, std::move(zones)});
    return handle;
  } catch (const std::bad_alloc&) {
    // Exhaustion refuses the bank instead of escaping into the host's call.
    return -1;
  }
}

BankHandle SoundFontRegistry::openPreset(const MpString& fileName, int32_t bank, int32_t preset) {
  return open(fileName, bank, preset, [&](SoundFontBank& b) { return b.load(fileName); });
}

BankHandle SoundFontRegistry::openPresetFromMemory(const MpString& name, const uint8_t* bytes, size_t size,
                                                   int32_t bank, int32_t preset) {
  return open(name, bank, preset, [&](SoundFontBank& b) { return b.loadMemory(bytes, size); });
}

int32_t SoundFontRegistry::addUser(BankHandle handle) {
  std::lock_guard<std::mutex> lock(mutex_);
  Entry* e = find(handle);
  if (e == nullptr) return -1;
  return ++e->users;
}

int32_t SoundFontRegistry::releaseUser(BankHandle handle) {
  if (handle < 0) return 0;
  std::unique_ptr<ZoneSet> doomed;  // freed after the lock is let go
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = entries_.find(handle);
    if (it == entries_.end()) return -1;
    if (--it->second.users > 0) return it->second.users;
    doomed = std::move(it->second.zones);
    entries_.erase(it);
  }
  return 0;
}

SampleData SoundFontRegistry::sampleData(BankHandle handle) {
  std::lock_guard<std::mutex> lock(mutex_);
  Entry* e = find(handle);
  if (e == nullptr) return {};
  return {e->zones->bank().samples(), e->zones->bank().sampleCount()};
}

const SampleHeader* SoundFontRegistry::sampleHeader(BankHandle handle, uint16_t index) {
  std::lock_guard<std::mutex> lock(mutex_);
  Entry* e = find(handle);
  if (e == nullptr || index >= e->zones->bank().sampleHeaderCount()) return nullptr;
  return &e->zones->bank().sampleHeader(index);
}

void SoundFontRegistry::findZones(BankHandle handle, int32_t channel, int32_t key, int32_t velocity,
                                  std::vector<const ZoneRecord*>& out) {
  std::lock_guard<std::mutex> lock(mutex_);
  out.clear();
  Entry* e = find(handle);
  if (e == nullptr) return;
  try {
    e->zones->zonesForNote(channel, key, velocity, out);
  } catch (const std::bad_alloc&) {
    out.clear();
  }
}

int32_t SoundFontRegistry::users(BankHandle handle) {
  std::lock_guard<std::mutex> lock(mutex_);
  Entry* e = find(handle);
  return e == nullptr ? 0 : e->users;
}

size_t SoundFontRegistry::entryCount() {
  std::lock_guard<std::mutex> lock(mutex_);
  return entries_.size();
}

int32_t SoundFontRegistry::loads() {
  std::lock_guard<std::mutex> lock(mutex_);
  return loads_;
}

}  // namespace zv::sampler
