// Patch files: JSON naming module instances, their constant pin values and
// their connections, with a voice section cloned once per voice.
//
//   {
//     "voices": 8, "voiceRelease": 2.0,
//     "modules": [{"name": "mix", "id": "ZV MixM", "side": "audio", "values": {"4": 1}}],
//     "voice": {"modules": [...], "connections": [["voice:pitch", "osc:0"], ...]},
//     "connections": [["mix:3", "output:left"], ["midi:in", "clock:0"]]
//   }
//
// Endpoints are "module:pin" with the pin's index or description name.
// Host sources: "voice:gate|trigger|pitch|velocity|active|modwheel|pressure"
// (voice section only), "midi:in" (the song's MIDI), "midi:cc:N" (controller
// N, 0..1: in the voice section on the voice's channel, elsewhere the last
// value on any channel), "host:tempo|position|playing" (beats per minute,
// song position in beats, whether the song plays). Host sinks:
// "output:left|right" (or "output:0|1") and "voices:midi" (a MIDI output
// that the voices play instead of the song).
//
// "side" is "audio" (the default), "gui" or "both": both sides of one
// instance, linked through the parameters their description binds pins
// to. A pin of such a module is found on the side that has it; one that
// both sides have is written "module:audio:pin" or "module:gui:pin" (in
// "values", "audio:pin" or "gui:pin"), unless the other end of a
// connection is on one side only. GUI pins connect to GUI pins.
#pragma once

#include <array>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/descriptions.h"
#include "host/engine.h"
#include "host/voice_allocator.h"

namespace zvhost {

// Carries the complete message: file, place and problem.
struct PatchError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct PatchText {
  std::string path;
  std::string folder;  // where relative file names resolve
  std::string json;
};

// The instances of one module of the patch; -1 for a side it does not have.
struct ModuleSides {
  int audio = -1;
  int gui = -1;
};

struct BuiltPatch {
  int32_t voices = 0;
  double voiceRelease = 2.0;
  // Host source per voice and input (VoiceInput order).
  std::vector<std::array<int, kVoiceInputCount>> voiceSources;
  // Per voice: controller number (kPressure for pressure) to host source.
  std::vector<std::map<int32_t, int>> voiceControllers;
  // "midi:cc:N" outside the voice section: N to host source.
  std::map<int32_t, int> patchControllers;
  // "host:tempo", "host:position", "host:playing"; -1 where unused.
  int tempoSource = -1;
  int positionSource = -1;
  int playingSource = -1;
  // The MIDI sink "voices:midi"; -1 when the voices play the song.
  int voicesMidi = -1;
  // The modules of the "modules" section by name.
  std::map<std::string, ModuleSides> modules;
};

// A pin value from outside the patch ("MODULE:PIN=VALUE", as --set gives
// it): it replaces the patch's, in every voice for a voice module. The
// value is read as the patch's values are: as text for text and blob pins,
// as a number or true/false otherwise.
struct PinSetting {
  std::string text;
};

// Refuses what is not a regular file, or larger than kMaxPatchFileBytes.
PatchText readPatchFile(const std::string& path);
// voicesOverride > 0 replaces the patch's voice count. A patch whose
// estimated memory exceeds memoryLimit (0: no limit) is refused before any
// module is created.
BuiltPatch buildPatch(const PatchText& patch, Engine& engine, const DescriptionSet& descriptions,
                      int32_t voicesOverride, uint64_t memoryLimit = 0, const std::vector<PinSetting>& settings = {});

}  // namespace zvhost
