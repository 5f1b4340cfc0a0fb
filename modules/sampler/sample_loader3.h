// "SampleLoader3Gui": turns a SoundFont file name, bank and preset into a
// BankHandle for the SoundFont oscillators. While a GUI side exists it does
// the loading and hands its handle to the audio side; the one registry user
// a loader holds passes between the sides (whichever loaded last owns it).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "frame/gui_base.h"
#include "frame/mp_base.h"
#include "frame/pins.h"
#include "modules/sampler/soundfont_registry.h"

namespace zv::sampler {

// A path names a SoundFont when it ends in ".sf2" (any case of s and f) and
// is at least 8 characters long.
bool isSoundFontPath(const MpString& path);

struct PresetListEntry {
  uint16_t bank;
  uint16_t preset;
  std::string name;
};
// The list texts of the panel's bank and preset choices.
MpString presetListText(const std::vector<PresetListEntry>& headers, int32_t bank);
MpString bankListText(const std::vector<PresetListEntry>& headers);
// Preset headers of a file (terminal record excluded); false when the file
// is not a SoundFont or has no preset headers.
bool readPresetHeaders(const MpString& path, std::vector<PresetListEntry>& out);

}  // namespace zv::sampler

class SampleLoader3 : public MpBase {
 public:
  enum Pin {
    LOADER_MODE,
    GUI_HANDLE,
    FILENAME,
    BANK,
    PRESET,
    HANDLE_OUT,
    FILENAME_OUT,
    BANK_OUT,
    PRESET_OUT,
    AUDIO_HANDLE_OUT,
  };
  static constexpr int32_t kGuiLoading = 10;

  explicit SampleLoader3(IMpUnknown* host, zv::sampler::SoundFontRegistry& registry = zv::sampler::soundFontRegistry());
  ~SampleLoader3() override;
  void pinsUpdated() override;
  zv::sampler::BankHandle currentHandle() const { return handle_; }

 private:
  void reload();

  zv::sampler::SoundFontRegistry& registry_;
  IntInPin loaderMode_;
  IntInPin guiHandle_;
  StringInPin filename_;
  IntInPin bank_;
  IntInPin preset_;
  IntOutPin handleOut_;
  StringOutPin filenameOut_;
  IntOutPin bankOut_;
  IntOutPin presetOut_;
  IntOutPin audioHandleOut_;
  zv::sampler::BankHandle handle_ = -1;
  bool loading_ = false;
};

class SampleLoader3Gui : public MpGuiBase {
 public:
  enum Pin { LOADER_MODE, GUI_HANDLE, FILENAME, BANK, PRESET, BANK_LIST, PRESET_LIST, AUDIO_HANDLE };

  explicit SampleLoader3Gui(IMpUnknown* host,
                            zv::sampler::SoundFontRegistry& registry = zv::sampler::soundFontRegistry());
  ~SampleLoader3Gui() override;
  int32_t MP_STDCALL initializeGui() override;
  zv::sampler::BankHandle currentHandle() const { return handle_; }

 private:
  void reload();
  void dropHandle();
  void publishLists(const MpString& presets, const MpString& banks);

  zv::sampler::SoundFontRegistry& registry_;
  GuiIntPin loaderMode_;
  GuiIntPin guiHandle_;
  GuiStringPin filename_;
  GuiIntPin bank_;
  GuiIntPin preset_;
  GuiStringPin bankList_;
  GuiStringPin presetList_;
  GuiIntPin audioHandle_;
  zv::sampler::BankHandle handle_ = -1;
  bool initialised_ = false;
};
