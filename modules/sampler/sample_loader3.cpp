#include "modules/sampler/sample_loader3.h"

#include <cstdio>
#include <cstring>
#include <map>
#include <set>

#include "modules/sampler/riff_chunk_reader.h"
#include "modules/sampler/soundfont_bank.h"

namespace zv::sampler {

namespace {

constexpr int32_t kPathCapacity = 260;

template <class Host>
MpString resolvePath(Host* host, const MpString& name) {
  MpChar buffer[kPathCapacity] = {};
  host->resolveFilePath(name.c_str(), kPathCapacity, buffer);
  buffer[kPathCapacity - 1] = 0;
  return MpString(buffer);
}

// Bytes widen as signed 8-bit values, so 0x80..0xFF become 0xFF80..0xFFFF.
MpString widenSigned(const std::string& text) {
  MpString wide;
  wide.reserve(text.size());
  for (char c : text) wide.push_back(static_cast<MpChar>(static_cast<int16_t>(static_cast<int8_t>(c))));
  return wide;
}

// Separators of the item-list format would split or renumber an item.
std::string listSafeName(const std::string& name) {
  std::string safe = name;
  for (char& c : safe) {
    if (c == ',' || c == '=') c = ' ';
  }
  return safe;
}

template <class Key, class Format>
std::string itemList(const std::map<Key, std::string>& items, Format format) {
  std::string text;
  int32_t expected = 0;
  bool first = true;
  char buffer[64];
  for (const auto& [number, label] : items) {
    const int32_t value = number;
    text += format(first, value, label);
    if (value != expected) {
      std::snprintf(buffer, sizeof buffer, "=%d", value);
      text += buffer;
    }
    expected = value + 1;
    first = false;
  }
  return text;
}

template <class Pin, class T>
void sendAlways(Pin& pin, const T& value) {
  if (pin.getValue() == value) {
    pin.sendValue();
  } else {
    pin = value;
  }
}

}  // namespace

bool isSoundFontPath(const MpString& path) {
  const size_t n = path.size();
  if (n < 8) return false;
  return path[n - 4] == MpChar('.') && (path[n - 3] == MpChar('s') || path[n - 3] == MpChar('S')) &&
         (path[n - 2] == MpChar('f') || path[n - 2] == MpChar('F')) && path[n - 1] == MpChar('2');
}

MpString presetListText(const std::vector<PresetListEntry>& headers, int32_t bank) {
  std::map<int32_t, std::string> presets;
  for (const PresetListEntry& h : headers) {
    if (h.bank == bank) presets.emplace(h.preset, listSafeName(h.name));
  }
  if (presets.empty()) return MP_TEXT("none");
  return widenSigned(itemList(presets, [](bool first, int32_t number, const std::string& name) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, first ? "%3d %s" : ",%3d %s", number, name.c_str());
    return std::string(buffer);
  }));
}

MpString bankListText(const std::vector<PresetListEntry>& headers) {
  std::map<int32_t, std::string> banks;
  for (const PresetListEntry& h : headers) banks.emplace(h.bank, std::string());
  if (banks.empty()) return MP_TEXT("none");
  return widenSigned(itemList(banks, [](bool first, int32_t number, const std::string&) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, first ? "%d" : ",%d", number);
    return std::string(buffer);
  }));
}

bool readPresetHeaders(const MpString& path, std::vector<PresetListEntry>& out) {
  out.clear();
  RiffChunkReader reader;
  if (reader.open(path) != fourCc("sfbk")) return false;
  std::vector<uint8_t> data;
  uint32_t count = 0;
  bool found = false;
  ChunkRequest request;
  request.description = "Preset Headers";
  request.listType = fourCc("pdta");
  request.chunkId = fourCc("phdr");
  request.data = &data;
  request.count = &count;
  request.recordSize = 38;
  request.found = &found;
  reader.addRequest(request);
  reader.read();
  if (!found) return false;
  for (uint32_t i = 0; i + 1 < count; ++i) {
    const uint8_t* r = data.data() + static_cast<size_t>(i) * 38;
    const char* name = reinterpret_cast<const char*>(r);
    out.push_back({static_cast<uint16_t>(r[22] | r[23] << 8), static_cast<uint16_t>(r[20] | r[21] << 8),
                   std::string(name, strnlen(name, 20))});
  }
  return true;
}

}  // namespace zv::sampler

using namespace zv::sampler;

SampleLoader3::SampleLoader3(IMpUnknown* host, SoundFontRegistry& registry) : MpBase(host), registry_(registry) {
  registerPin(LOADER_MODE, loaderMode_);
  registerPin(GUI_HANDLE, guiHandle_);
  registerPin(FILENAME, filename_);
  registerPin(BANK, bank_);
  registerPin(PRESET, preset_);
  registerPin(HANDLE_OUT, handleOut_);
  registerPin(FILENAME_OUT, filenameOut_);
  registerPin(BANK_OUT, bankOut_);
  registerPin(PRESET_OUT, presetOut_);
  registerPin(AUDIO_HANDLE_OUT, audioHandleOut_);
  // 0 is a valid handle: outputs announce "none" until the first load.
  const int32_t none = -1;
  handleOut_.setRawValue(4, &none);
  audioHandleOut_.setRawValue(4, &none);
}

SampleLoader3::~SampleLoader3() { registry_.releaseUser(handle_); }

void SampleLoader3::pinsUpdated() {
  if (filename_.isUpdated()) sendAlways(filenameOut_, filename_.getValue());
  if (bank_.isUpdated()) sendAlways(bankOut_, bank_.getValue());
  if (preset_.isUpdated()) sendAlways(presetOut_, preset_.getValue());
  const bool choiceChanged = filename_.isUpdated() || bank_.isUpdated() || preset_.isUpdated();
  if (choiceChanged && loaderMode_ != kGuiLoading && !loading_) reload();
  if (guiHandle_.isUpdated() && loaderMode_ == kGuiLoading) {
    // The GUI side's user is adopted as is: it released our previous one.
    handle_ = guiHandle_;
    handleOut_ = handle_;
    audioHandleOut_ = handle_;
  }
}

void SampleLoader3::reload() {
  loading_ = true;
  const BankHandle old = handle_;
  const MpString& name = filename_.getValue();
  handle_ = -1;
  if (!name.empty()) {
    const MpString path = resolvePath(host(), name);
    if (isSoundFontPath(path) && fileCanBeOpened(path)) handle_ = registry_.openPreset(path, bank_, preset_);
  }
  handleOut_ = handle_;
  sendAlways(audioHandleOut_, handle_);
  // Opened before the old one goes, so another preset of the same file
  // keeps the file loaded.
  registry_.releaseUser(old);
  loading_ = false;
}

SampleLoader3Gui::SampleLoader3Gui(IMpUnknown* host, SoundFontRegistry& registry)
    : MpGuiBase(host), registry_(registry) {
  loaderMode_.initialize(this, LOADER_MODE);
  guiHandle_.initialize(this, GUI_HANDLE);
  filename_.initialize(this, FILENAME, &SampleLoader3Gui::reload);
  bank_.initialize(this, BANK, &SampleLoader3Gui::reload);
  preset_.initialize(this, PRESET, &SampleLoader3Gui::reload);
  bankList_.initialize(this, BANK_LIST);
  presetList_.initialize(this, PRESET_LIST);
  audioHandle_.initialize(this, AUDIO_HANDLE);
  const int32_t none = -1;
  audioHandle_.setRawValue(0, 4, &none);
  guiHandle_.setRawValue(0, 4, &none);
}

SampleLoader3Gui::~SampleLoader3Gui() {
  // The handle stays with the audio side, which releases it at its next load.
  sendAlways(loaderMode_, 0);
}

int32_t MP_STDCALL SampleLoader3Gui::initializeGui() {
  handle_ = audioHandle_;
  sendAlways(loaderMode_, SampleLoader3::kGuiLoading);
  initialised_ = true;
  reload();
  return MP_OK;
}

void SampleLoader3Gui::dropHandle() {
  const BankHandle old = handle_;
  handle_ = -1;
  sendAlways(guiHandle_, -1);
  registry_.releaseUser(old);
}

void SampleLoader3Gui::publishLists(const MpString& presets, const MpString& banks) {
  sendAlways(presetList_, presets);
  sendAlways(bankList_, banks);
}

void SampleLoader3Gui::reload() {
  if (!initialised_) sendAlways(loaderMode_, 0);
  const MpString none = MP_TEXT("none");
  const MpString& name = filename_.getValue();
  const MpString path = name.empty() ? MpString() : resolvePath(guiHost(), name);
  if (name.empty() || !isSoundFontPath(path) || !fileCanBeOpened(path)) {
    if (initialised_) dropHandle();
    publishLists(none, none);
    return;
  }
  if (initialised_) {
    const BankHandle old = handle_;
    handle_ = registry_.openPreset(path, bank_, preset_);
    sendAlways(guiHandle_, handle_);
    registry_.releaseUser(old);
  }
  std::vector<PresetListEntry> headers;
  try {
    if (!readPresetHeaders(path, headers)) {
      publishLists(none, none);
      return;
    }
    publishLists(presetListText(headers, bank_), bankListText(headers));
  } catch (const std::bad_alloc&) {
    publishLists(none, none);
  }
}
