// The process-wide table of loaded SoundFont presets, keyed by BankHandle
// (-1 = none). A file is read once per distinct name while in use and shared
// by every preset opened on it.
//
// Used from the GUI and the audio thread at once. One mutex guards the map
// and the user counts only: files are read and zones built outside it, so
// an audio-thread call never waits for disk. Everything a handle gives out
// (zones, headers, samples) is immutable and lives while the handle has
// users.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "frame/wide_text.h"
#include "modules/sampler/soundfont_bank.h"

namespace zv::sampler {

using BankHandle = int32_t;

struct SampleData {
  const int16_t* samples = nullptr;  // kPad zero samples lie before and after
  int32_t count = 0;
};

class SoundFontRegistry {
 public:
  SoundFontRegistry() = default;
  SoundFontRegistry(const SoundFontRegistry&) = delete;
  SoundFontRegistry& operator=(const SoundFontRegistry&) = delete;
  ~SoundFontRegistry();

  BankHandle openPreset(const MpString& fileName, int32_t bank, int32_t preset);
  // Bytes instead of a file, for tests and fuzzing; the name keys sharing.
  BankHandle openPresetFromMemory(const MpString& name, const uint8_t* bytes, size_t size, int32_t bank,
                                  int32_t preset);
  int32_t addUser(BankHandle handle);
  int32_t releaseUser(BankHandle handle);
  SampleData sampleData(BankHandle handle);
  const SampleHeader* sampleHeader(BankHandle handle, uint16_t index);
  void findZones(BankHandle handle, int32_t channel, int32_t key, int32_t velocity,
                 std::vector<const ZoneRecord*>& out);

  int32_t users(BankHandle handle);
  size_t entryCount();
  // How many files were read from disk (or memory) so far.
  int32_t loads();

 private:
  struct Entry {
    BankHandle handle;
    MpString fileName;
    int32_t bank;
    int32_t preset;
    int32_t users;
    std::unique_ptr<ZoneSet> zones;
  };
  template <class Load>
  BankHandle open(const MpString& fileName, int32_t bank, int32_t preset, Load load);
  Entry* find(BankHandle handle);
  // Adds a user to an existing entry for exactly this choice; -1 if none.
  BankHandle joinLocked(const MpString& fileName, int32_t bank, int32_t preset);
  std::shared_ptr<const SoundFontBank> bankLocked(const MpString& fileName);

  std::mutex mutex_;
  std::map<BankHandle, Entry> entries_;
  int32_t loads_ = 0;
};

// The library's registry, created on first use and destroyed at unload.
SoundFontRegistry& soundFontRegistry();

}  // namespace zv::sampler
