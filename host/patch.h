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
//
// Parameters: the host parameters a user may set without editing the
// patch, each bound to a module whose description binds pins to one (the
// patch memories), keyed by a name without ':' or '=':
//
//   "parameters": {
//     "cutoff": {"module": "cutoff memory", "min": 0, "max": 10, "value": 7.2,
//                "menu": "Reset,Learn"},
//     "mode": {"module": "mode memory", "items": "soft,hard", "value": 1}
//   },
//   "presets": {"bright": {"cutoff": 9.5}, "dark": {"cutoff": 4}}
//
// "module" names a module of either section; "parameter" picks the
// parameter id when its description has several. "value" fits the
// parameter's type (a number, true or false, or a text); "min" and "max"
// (both or neither, numbers only) bound it and span the normalised
// position (0 to 10 without them); "menu", "items" and "fileExtension" are
// the texts of its menu items, list items and file extension fields. The
// name is its short-name field. A voice module's parameter is one for all
// voices. The value a parameter starts with is the module's "values", then
// "value", then the chosen preset's, then --set NAME=VALUE; --set
// MODULE:PIN=VALUE on a bound pin comes last.
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

// A parameter of the patch's "parameters".
struct PatchParameter {
  std::string name;
  std::string module;
  int parameter = -1;              // the engine's
  int32_t datatype = MP_DT_FLOAT;  // of its value, as the description declares it
  bool ranged = false;             // "min" and "max" were given
  double low = 0.0;
  double high = 10.0;
  std::string menu;
  bool written = false;  // an audio output writes it (the "Out" memories)
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
  // By name; and the names of the presets.
  std::vector<PatchParameter> parameters;
  std::vector<std::string> presets;
};

// A value from outside the patch, as --set gives it. "MODULE:PIN=VALUE"
// replaces a pin's value, in every voice for a voice module; the value is
// read as the patch's values are: as text for text and blob pins, as a
// number or true/false otherwise. "NAME=VALUE" (no ':' before the '=')
// sets a parameter: text as it is for text and blob parameters, a number
// ("nan" and "inf" are read, and refused) or true/false otherwise.
struct PinSetting {
  std::string text;
};

// Refuses what is not a regular file, or larger than kMaxPatchFileBytes.
PatchText readPatchFile(const std::string& path);
// voicesOverride > 0 replaces the patch's voice count. A patch whose
// estimated memory exceeds memoryLimit (0: no limit) is refused before any
// module is created. A preset, when named, must be one of the patch's.
BuiltPatch buildPatch(const PatchText& patch, Engine& engine, const DescriptionSet& descriptions,
                      int32_t voicesOverride, uint64_t memoryLimit = 0, const std::vector<PinSetting>& settings = {},
                      const std::string& preset = {});

}  // namespace zvhost
