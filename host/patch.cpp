#include "host/patch.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "host/limits.h"
#include "host/memory_estimate.h"
#include "host/parameters.h"

namespace zvhost {
namespace {

using nlohmann::json;

const char* const kVoiceInputNames[kVoiceInputCount] = {"gate", "trigger", "pitch", "velocity", "active"};
const char* const kTransportNames[] = {"tempo", "position", "playing"};

class Builder {
 public:
  Builder(const PatchText& patch, Engine& engine, const DescriptionSet& descriptions, uint64_t memoryLimit,
          const std::vector<PinSetting>& settings)
      : file_(patch.path), engine_(engine), descriptions_(descriptions), memoryLimit_(memoryLimit) {
    for (const PinSetting& s : settings) {
      // No ':' before the '=': a parameter's name.
      const auto equals = s.text.find('=');
      if (equals != std::string::npos && equals > 0 && s.text.find(':') > equals) {
        parameterSettings_.push_back(s.text);
      } else {
        settings_.push_back(splitSetting(s.text));
      }
    }
  }

  BuiltPatch build(const json& root, int32_t voicesOverride, const std::string& preset) {
    if (!root.is_object()) fail("top level", "expected an object");
    for (auto& [key, value] : root.items()) {
      static const char* known[] = {"voices",      "voiceRelease", "modules", "voice",
                                    "connections", "parameters",   "presets", "comment"};
      if (std::find(std::begin(known), std::end(known), key) == std::end(known)) fail("\"" + key + "\"", "unknown key");
    }
    BuiltPatch built;
    built_ = &built;
    built.voices = 1;
    if (root.contains("voices")) {
      const json& v = root["voices"];
      if (!v.is_number_integer() || v.get<int64_t>() < 1 || v.get<int64_t>() > kMaxVoices)
        fail("\"voices\"", "expected a whole number from 1 to " + std::to_string(kMaxVoices));
      built.voices = v.get<int32_t>();
    }
    if (voicesOverride > 0) built.voices = std::min(voicesOverride, kMaxVoices);
    if (root.contains("voiceRelease")) {
      const json& r = root["voiceRelease"];
      if (!r.is_number() || !(r.get<double>() >= 0.0) || r.get<double>() > 3600.0)
        fail("\"voiceRelease\"", "expected seconds from 0 to 3600");
      built.voiceRelease = r.get<double>();
    }
    checkMemory(root, root.contains("voice") ? built.voices : 0);
    // Global modules first, so voice modules and connections may name them.
    addModules(optionalArray(root, "modules", "\"modules\""), "modules", "", Engine::kPatchGroup);
    applySettings(globals_);
    const json* voice = root.contains("voice") ? &root["voice"] : nullptr;
    if (voice != nullptr) {
      if (!voice->is_object()) fail("\"voice\"", "expected an object");
      for (auto& [key, value] : voice->items())
        if (key != "modules" && key != "connections" && key != "comment") fail("voice.\"" + key + "\"", "unknown key");
      const json& voiceModules = optionalArray(*voice, "modules", "voice.modules");
      // Names are checked once, before any cloning.
      for (size_t i = 0; i < voiceModules.size(); ++i) {
        std::string name = moduleName(voiceModules[i], "voice.modules[" + std::to_string(i) + "]");
        if (globals_.count(name))
          fail("voice.modules[" + std::to_string(i) + "]", "name \"" + name + "\" is used twice");
      }
      for (int32_t v = 0; v < built.voices; ++v) {
        locals_.clear();
        std::array<int, kVoiceInputCount> sources{};
        for (int k = 0; k < kVoiceInputCount; ++k)
          sources[static_cast<size_t>(k)] =
              engine_.addHostSource("voice " + std::to_string(v + 1) + " " + kVoiceInputNames[k],
                                    voiceInputInitial(static_cast<VoiceInput>(k)));
        voiceSources_ = &sources;
        voiceIndex_ = v;
        built.voiceControllers.emplace_back();
        // Each voice sleeps and wakes as one.
        const int group = engine_.addGroup("voice " + std::to_string(v + 1));
        const std::string suffix = " (voice " + std::to_string(v + 1) + ")";
        // The first voice is read from the patch; the others repeat what it
        // came to, without reading the patch again.
        if (v == 0) {
          plan_.first = engine_.instanceCount();
          plan_.recording = true;
          addModules(voiceModules, "voice.modules", suffix, group);
          plan_.count = engine_.instanceCount() - plan_.first;
        } else {
          repeatModules(suffix, group);
        }
        const int shift = engine_.instanceCount() - plan_.count - plan_.first;
        applySettings(locals_);
        for (const auto& [name, sides] : locals_) instances_[name].push_back(sides);
        if (v == 0) {
          connectAll(optionalArray(*voice, "connections", "voice.connections"), "voice.connections");
          plan_.recording = false;
        } else {
          repeatConnections(shift, "voice.connections");
        }
        connectVoiceActive(sources);
        built.voiceSources.push_back(sources);
        voiceSources_ = nullptr;
      }
      locals_.clear();
    } else {
      built.voices = 0;
    }
    connectAll(optionalArray(root, "connections", "\"connections\""), "connections");
    for (const Setting& s : settings_)
      if (!s.used) failSetting(s, "the patch has no module \"" + s.module + "\"");
    built.modules = globals_;
    for (const auto& [name, sides] : globals_) instances_[name].push_back(sides);
    buildParameters(root, engine_, instances_, file_, preset, parameterSettings_, built);
    // --set on a bound pin wins over the parameter's values too.
    for (const auto& [pin, raw] : boundSettings_) engine_.setConstant(pin, raw);
    return built;
  }

 private:
  struct Resolved {
    enum Kind {
      Module,
      VoiceInput,
      VoiceController,
      PatchController,
      Transport,
      MidiIn,
      Output,
      VoicesMidi
    } kind = Module;
    Endpoint endpoint;
    int32_t index = 0;  // voice input, controller number, transport value or output channel
    bool gui = false;   // the endpoint's side
  };

  struct PinRef {
    int instance = -1;
    const PinDescription* pin = nullptr;
    bool gui = false;
  };

  struct Setting {
    std::string text;
    std::string module;
    std::string pin;
    std::string value;
    bool used = false;
  };

  [[noreturn]] void fail(const std::string& place, const std::string& problem) const {
    throw PatchError(file_ + ": " + place + ": " + problem);
  }

  [[noreturn]] static void failSetting(const Setting& s, const std::string& problem) {
    throw PatchError("--set \"" + s.text + "\": " + problem);
  }

  static Setting splitSetting(const std::string& text) {
    Setting s;
    s.text = text;
    const auto equals = text.find('=');
    const auto colon = text.find(':');
    if (equals == std::string::npos || colon == std::string::npos || colon == 0 || colon > equals ||
        equals == colon + 1)
      failSetting(s, "expected NAME=VALUE (a parameter) or MODULE:PIN=VALUE");
    s.module = text.substr(0, colon);
    s.pin = text.substr(colon + 1, equals - colon - 1);
    s.value = text.substr(equals + 1);
    return s;
  }

  // Settings for the modules of one section (or one voice): they come after
  // the patch's values, so they win.
  void applySettings(const std::map<std::string, ModuleSides>& names) {
    for (Setting& s : settings_) {
      auto found = names.find(s.module);
      if (found == names.end()) continue;
      s.used = true;
      const std::string where = "--set \"" + s.text + "\"";
      PinRef r = pinOf(found->second, s.module, s.pin, std::nullopt, where, nullptr, false);
      // Text is taken as it is; anything else is read as a patch value.
      json value = s.value;
      if (r.pin->datatype != MP_DT_TEXT && r.pin->datatype != MP_DT_BLOB) {
        try {
          value = json::parse(s.value);
        } catch (const json::exception&) {
          value = s.value;
        }
      }
      setValue(value, r, where, false);
    }
  }

  // Before anything is created: a patch beyond the machine would swap it
  // to a halt long before an allocation failed.
  void checkMemory(const json& root, int32_t voices) const {
    if (memoryLimit_ == 0) return;
    const MemoryEstimate estimate =
        estimatePatchMemory(root, voices, descriptions_, engine_.settings(), engine_.files());
    if (estimate.bytes <= memoryLimit_) return;
    throw PatchError(file_ + ": the patch would take about " + formatBytes(estimate.bytes) + " of memory (" +
                     estimate.largest + ": " + formatBytes(estimate.largestBytes) + "), more than the limit of " +
                     formatBytes(memoryLimit_) + "; --max-memory raises it");
  }

  const json& optionalArray(const json& object, const char* key, const std::string& place) {
    static const json empty = json::array();
    if (!object.contains(key)) return empty;
    const json& value = object[key];
    if (!value.is_array()) fail(place, "expected an array");
    return value;
  }

  std::string moduleName(const json& module, const std::string& place) {
    if (!module.is_object()) fail(place, "expected an object");
    if (!module.contains("name") || !module["name"].is_string() || module["name"].get<std::string>().empty())
      fail(place, "missing \"name\"");
    std::string name = module["name"].get<std::string>();
    if (name.find(':') != std::string::npos) fail(place, "name \"" + name + "\" must not contain ':'");
    if (name == "voice" || name == "voices" || name == "midi" || name == "host" || name == "output")
      fail(place, "name \"" + name + "\" is reserved");
    return name;
  }

  void addModules(const json& modules, const std::string& section, const std::string& suffix, int group) {
    bool voice = voiceSources_ != nullptr;
    for (size_t i = 0; i < modules.size(); ++i) {
      const json& m = modules[i];
      std::string place = section + "[" + std::to_string(i) + "]";
      std::string name = moduleName(m, place);
      place += " (\"" + name + "\")";
      for (auto& [key, value] : m.items())
        if (key != "name" && key != "id" && key != "side" && key != "values" && key != "comment")
          fail(place, "unknown key \"" + key + "\"");
      if (!m.contains("id") || !m["id"].is_string()) fail(place, "missing \"id\"");
      std::string id = m["id"].get<std::string>();
      std::string side = "audio";
      if (m.contains("side")) {
        const json& given = m["side"];
        if (!given.is_string() || (given != "audio" && given != "gui" && given != "both"))
          fail(place, "\"side\" must be \"audio\", \"gui\" or \"both\"");
        side = given.get<std::string>();
      }
      auto& names = voice ? locals_ : globals_;
      if (names.count(name) || (voice && globals_.count(name))) fail(place, "name \"" + name + "\" is used twice");
      const ModuleDescription* description = descriptions_.find(id);
      if (description == nullptr) fail(place, "unknown identifier \"" + id + "\" (no description names it)");
      ModuleSides sides;
      try {
        if (side != "gui") sides.audio = engine_.addModule(*description, false, name + suffix, group);
        if (side != "audio")
          sides.gui = engine_.addModule(*description, true, name + (side == "both" ? " GUI" : "") + suffix, group);
        if (side == "both") engine_.linkSides(sides.audio, sides.gui);
      } catch (const EngineError& e) {
        fail(place, e.what());
      }
      names[name] = sides;
      if (plan_.recording) plan_.modules.push_back({name, description, side, {}});
      if (m.contains("values")) setValues(m["values"], name, sides, place);
    }
  }

  // The first voice's modules again, with the values the patch gave them.
  void repeatModules(const std::string& suffix, int group) {
    for (size_t i = 0; i < plan_.modules.size(); ++i) {
      const VoicePlan::Module& m = plan_.modules[i];
      ModuleSides sides;
      try {
        if (m.side != "gui") sides.audio = engine_.addModule(*m.description, false, m.name + suffix, group);
        if (m.side != "audio")
          sides.gui =
              engine_.addModule(*m.description, true, m.name + (m.side == "both" ? " GUI" : "") + suffix, group);
        if (m.side == "both") engine_.linkSides(sides.audio, sides.gui);
        locals_[m.name] = sides;
        for (const auto& [gui, pin, raw] : m.values) {
          const int instance = gui ? sides.gui : sides.audio;
          valued_.insert({instance, pin});
          engine_.setConstant({instance, pin}, raw);
        }
      } catch (const EngineError& e) {
        fail("voice.modules[" + std::to_string(i) + "] (\"" + m.name + "\")", e.what());
      }
    }
  }

  // A pin by "[audio:|gui:]index-or-name" on the side that has it. With a
  // pin on both sides, prefer decides; without it, ambiguous is set when
  // given, else it is an error.
  PinRef pinOf(const ModuleSides& sides, const std::string& module, std::string text, std::optional<bool> prefer,
               const std::string& place, bool* ambiguous, bool fromPatch) {
    const int any = sides.audio >= 0 ? sides.audio : sides.gui;
    const std::string id = engine_.description(any).id;
    std::optional<bool> side;
    for (bool gui : {false, true}) {
      const std::string prefix = gui ? "gui:" : "audio:";
      if (text.size() > prefix.size() && text.compare(0, prefix.size(), prefix) == 0 &&
          (gui ? sides.gui : sides.audio) >= 0) {
        side = gui;
        text = text.substr(prefix.size());
      }
    }
    auto lookup = [&](bool gui) {
      PinRef r;
      const int instance = gui ? sides.gui : sides.audio;
      if (instance < 0) return r;
      r.pin = engine_.description(instance).findPin(gui, text);
      r.instance = r.pin != nullptr ? instance : -1;
      r.gui = gui;
      return r;
    };
    auto none = [&](const std::string& sideName) {
      return "\"" + module + "\" (" + id + ") has no " + sideName + "pin \"" + text + "\"";
    };
    if (side) {
      PinRef r = lookup(*side);
      if (r.pin == nullptr) report(place, none(*side ? "GUI " : "audio "), fromPatch);
      return r;
    }
    PinRef audio = lookup(false);
    PinRef gui = lookup(true);
    if (audio.pin != nullptr && gui.pin != nullptr) {
      if (prefer) return *prefer ? gui : audio;
      if (ambiguous != nullptr) {
        *ambiguous = true;
        return audio;
      }
      report(place,
             "\"" + module + "\" has a pin \"" + text + "\" on both sides; write audio:" + text + " or gui:" + text,
             fromPatch);
    }
    if (audio.pin != nullptr) return audio;
    if (gui.pin != nullptr) return gui;
    report(place, none(sides.audio >= 0 && sides.gui >= 0 ? "" : sides.gui >= 0 ? "GUI " : "audio "), fromPatch);
  }

  [[noreturn]] void report(const std::string& place, const std::string& problem, bool fromPatch) const {
    if (fromPatch) fail(place, problem);
    throw PatchError(place + ": " + problem);
  }

  void setValues(const json& values, const std::string& module, const ModuleSides& sides, const std::string& place) {
    if (!values.is_object()) fail(place + ".values", "expected an object of pin: value");
    for (auto& [key, value] : values.items()) {
      std::string where = place + ".values.\"" + key + "\"";
      setValue(value, pinOf(sides, module, key, std::nullopt, where, nullptr, true), where, true);
    }
  }

  void setValue(const json& value, const PinRef& ref, const std::string& where, bool fromPatch) {
    const PinDescription* pin = ref.pin;
    std::optional<RawValue> raw;
    if (value.is_string()) {
      if (pin->datatype == MP_DT_TEXT || pin->datatype == MP_DT_BLOB)
        raw = rawFromText(pin->datatype, value.get<std::string>());
    } else if (value.is_boolean()) {
      raw = rawFromNumber(pin->datatype, value.get<bool>() ? 1.0 : 0.0);
    } else if (value.is_number()) {
      raw = rawFromNumber(pin->datatype, value.get<double>());
    }
    if (!raw) {
      const std::string fits =
          " does not fit pin " + std::to_string(pin->id) + " (" + datatypeName(pin->datatype) + ")";
      if (value.is_number())
        report(where, value.dump() + fits + ": " + numberProblem(pin->datatype, value.get<double>()), fromPatch);
      report(where, "a " + std::string(value.type_name()) + fits, fromPatch);
    }
    valued_.insert({ref.instance, pin->id});
    if (fromPatch && plan_.recording && ref.instance >= plan_.first && !plan_.modules.empty())
      plan_.modules.back().values.emplace_back(ref.gui, pin->id, *raw);
    if (!fromPatch && pin->parameterId >= 0) boundSettings_.emplace_back(Endpoint{ref.instance, pin->id}, *raw);
    try {
      engine_.setConstant({ref.instance, pin->id}, *raw);
    } catch (const EngineError& e) {
      report(where, e.what(), fromPatch);
    }
  }

  Resolved resolve(const std::string& text, const std::string& place, bool asSource, std::optional<bool> prefer,
                   bool* ambiguous) {
    auto colon = text.find(':');
    if (colon == std::string::npos) fail(place, "endpoint \"" + text + "\" is not \"module:pin\"");
    std::string module = text.substr(0, colon);
    std::string pin = text.substr(colon + 1);
    Resolved r;
    if (module == "voice") {
      if (voiceSources_ == nullptr) fail(place, "\"" + text + "\": voice inputs exist only in the voice section");
      if (!asSource) fail(place, "\"" + text + "\" is a host input and cannot be a target");
      for (int k = 0; k < kVoiceInputCount; ++k)
        if (pin == kVoiceInputNames[k]) {
          r.kind = Resolved::VoiceInput;
          r.index = k;
          return r;
        }
      if (pin == "modwheel" || pin == "pressure") {
        r.kind = Resolved::VoiceController;
        r.index = pin == "modwheel" ? 1 : kPressure;
        return r;
      }
      fail(place, "unknown voice input \"" + pin + "\" (gate, trigger, pitch, velocity, active, modwheel or pressure)");
    }
    if (module == "midi") {
      const std::string sources = "the patch's MIDI sources are \"midi:in\" and \"midi:cc:N\" (N from 0 to 127)";
      if (!asSource) fail(place, "\"" + text + "\" is a source; " + sources);
      if (pin == "in") {
        r.kind = Resolved::MidiIn;
        return r;
      }
      const std::string number = pin.rfind("cc:", 0) == 0 ? pin.substr(3) : std::string();
      if (number.empty() || number.size() > 3 ||
          !std::all_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; }) ||
          std::stoi(number) > 127)
        fail(place, "\"" + text + "\": " + sources);
      r.kind = voiceSources_ != nullptr ? Resolved::VoiceController : Resolved::PatchController;
      r.index = std::stoi(number);
      return r;
    }
    if (module == "host") {
      if (!asSource) fail(place, "\"" + text + "\" is a host input and cannot be a target");
      for (int k = 0; k < 3; ++k)
        if (pin == kTransportNames[k]) {
          r.kind = Resolved::Transport;
          r.index = k;
          return r;
        }
      fail(place, "unknown host input \"" + pin + "\" (tempo, position or playing)");
    }
    if (module == "voices") {
      if (asSource || pin != "midi")
        fail(place, "\"" + text + "\": the voices take MIDI at the target \"voices:midi\"");
      if (voiceSources_ != nullptr) fail(place, "\"" + text + "\" is fed from outside the voice section");
      r.kind = Resolved::VoicesMidi;
      return r;
    }
    if (module == "output") {
      if (asSource) fail(place, "\"" + text + "\" is an output of the patch and cannot be a source");
      if (pin == "left" || pin == "0") {
        r.index = 0;
      } else if (pin == "right" || pin == "1") {
        r.index = 1;
      } else {
        fail(place, "unknown output \"" + pin + "\" (left or right)");
      }
      r.kind = Resolved::Output;
      return r;
    }
    auto found = locals_.find(module);
    if (found == locals_.end()) {
      found = globals_.find(module);
      if (found == globals_.end()) fail(place, "unknown module \"" + module + "\"");
    }
    const PinRef ref = pinOf(found->second, module, pin, prefer, place, ambiguous, true);
    r.endpoint = {ref.instance, ref.pin->id};
    r.gui = ref.gui;
    return r;
  }

  void connectAll(const json& connections, const std::string& section) {
    for (size_t i = 0; i < connections.size(); ++i) {
      const json& c = connections[i];
      std::string place = section + "[" + std::to_string(i) + "]";
      std::string from;
      std::string to;
      if (c.is_array() && c.size() == 2 && c[0].is_string() && c[1].is_string()) {
        from = c[0].get<std::string>();
        to = c[1].get<std::string>();
      } else if (c.is_object() && c.contains("from") && c.contains("to") && c["from"].is_string() &&
                 c["to"].is_string()) {
        from = c["from"].get<std::string>();
        to = c["to"].get<std::string>();
      } else {
        fail(place, "expected [\"module:pin\", \"module:pin\"] or {\"from\": ..., \"to\": ...}");
      }
      // A pin both sides have is taken on the side of the other end.
      bool fromEither = false;
      bool toEither = false;
      Resolved a = resolve(from, place, true, std::nullopt, &fromEither);
      Resolved b = resolve(to, place, false, std::nullopt, &toEither);
      if (fromEither) a = resolve(from, place, true, toEither ? std::nullopt : std::optional<bool>(b.gui), nullptr);
      if (toEither) b = resolve(to, place, false, a.gui, nullptr);
      if (plan_.recording) plan_.connections.push_back({a, b, isLocal(a), isLocal(b)});
      join(a, b, from, place);
    }
  }

  bool isLocal(const Resolved& r) const { return r.kind == Resolved::Module && r.endpoint.instance >= plan_.first; }

  // The first voice's connections again, its instances moved by shift.
  void repeatConnections(int shift, const std::string& section) {
    for (size_t i = 0; i < plan_.connections.size(); ++i) {
      VoicePlan::Connection c = plan_.connections[i];
      if (c.fromLocal) c.from.endpoint.instance += shift;
      if (c.toLocal) c.to.endpoint.instance += shift;
      join(c.from, c.to, "", section + "[" + std::to_string(i) + "]");
    }
  }

  // One connection between two resolved ends; from is the source as written.
  void join(const Resolved& a, const Resolved& b, const std::string& from, const std::string& place) {
    try {
      if (a.kind == Resolved::VoiceInput || a.kind == Resolved::VoiceController ||
          a.kind == Resolved::PatchController || a.kind == Resolved::Transport) {
        if (b.kind != Resolved::Module) fail(place, "\"" + from + "\" goes to a module pin");
        engine_.connectHostSource(hostSource(a), b.endpoint);
      } else if (b.kind == Resolved::VoicesMidi) {
        if (a.kind != Resolved::Module) fail(place, "\"voices:midi\" takes a module's MIDI output");
        if (built_->voicesMidi < 0) built_->voicesMidi = engine_.addMidiSink("voices:midi");
        engine_.connectMidiSink(a.endpoint, built_->voicesMidi);
      } else if (a.kind == Resolved::MidiIn) {
        if (b.kind != Resolved::Module) fail(place, "\"midi:in\" goes to a module's MIDI pin");
        engine_.connectMidiInput(b.endpoint);
      } else if (b.kind == Resolved::Output) {
        engine_.connectOutput(a.endpoint, b.index);
      } else {
        engine_.connect(a.endpoint, b.endpoint);
      }
    } catch (const EngineError& e) {
      fail(place, e.what());
    }
  }

  // The host source of a host input, made when first connected.
  int hostSource(const Resolved& r) {
    auto madeOnce = [&](std::map<int32_t, int>& sources, int32_t key, const std::string& label, float initial) {
      auto found = sources.find(key);
      if (found == sources.end()) found = sources.emplace(key, engine_.addHostSource(label, initial)).first;
      return found->second;
    };
    auto controllerLabel = [](int32_t n) {
      return n == kPressure ? std::string("pressure") : "cc " + std::to_string(n);
    };
    switch (r.kind) {
      case Resolved::VoiceInput: return (*voiceSources_)[static_cast<size_t>(r.index)];
      case Resolved::VoiceController:
        return madeOnce(built_->voiceControllers.back(), r.index,
                        "voice " + std::to_string(voiceIndex_ + 1) + " " + controllerLabel(r.index),
                        controllerInitial(r.index));
      case Resolved::PatchController:
        return madeOnce(built_->patchControllers, r.index, "midi " + controllerLabel(r.index),
                        controllerInitial(r.index));
      default: {
        int& source = r.index == 0   ? built_->tempoSource
                      : r.index == 1 ? built_->positionSource
                                     : built_->playingSource;
        // Until a song says otherwise: 120 BPM from 0, playing.
        if (source < 0)
          source = engine_.addHostSource(std::string("host ") + kTransportNames[r.index], r.index == 0   ? 120.0f
                                                                                          : r.index == 1 ? 0.0f
                                                                                                         : 1.0f);
        return source;
      }
    }
  }

  // Inputs that declare hostConnect="Voice/Active" follow the voice unless
  // the patch connects them or gives them a value.
  void connectVoiceActive(const std::array<int, kVoiceInputCount>& sources) {
    for (auto& [name, sides] : locals_) {
      const int instance = sides.audio;
      if (instance < 0) continue;
      for (const PinDescription& pin : engine_.description(instance).audioPins) {
        if (pin.output || pin.hostConnect != "Voice/Active" || engine_.hasSource({instance, pin.id}) ||
            valued_.count({instance, pin.id}) != 0)
          continue;
        engine_.connectHostSource(sources[static_cast<size_t>(VoiceInput::Active)], {instance, pin.id});
      }
    }
  }

  std::string file_;
  Engine& engine_;
  const DescriptionSet& descriptions_;
  uint64_t memoryLimit_;
  std::map<std::string, ModuleSides> globals_;
  std::map<std::string, ModuleSides> locals_;
  std::vector<Setting> settings_;
  std::vector<std::string> parameterSettings_;
  std::vector<std::pair<Endpoint, RawValue>> boundSettings_;  // --set on pins bound to a parameter
  ModuleInstances instances_;                                 // every voice's, for the parameters
  std::set<std::pair<int, int32_t>> valued_;                  // pins the patch gave a value
  std::array<int, kVoiceInputCount>* voiceSources_ = nullptr;
  int32_t voiceIndex_ = 0;
  // What the first voice came to: its modules with the values the patch
  // gave them, and its connections, voice instances counted from first.
  struct VoicePlan {
    struct Module {
      std::string name;
      const ModuleDescription* description = nullptr;
      std::string side;
      std::vector<std::tuple<bool, int32_t, RawValue>> values;  // GUI side, pin, value
    };
    struct Connection {
      Resolved from;
      Resolved to;
      bool fromLocal = false;
      bool toLocal = false;
    };
    std::vector<Module> modules;
    std::vector<Connection> connections;
    int first = 0;  // the first voice's first instance
    int count = 0;  // instances per voice
    bool recording = false;
  } plan_;
  BuiltPatch* built_ = nullptr;
};

// Line and column of a byte offset, for JSON syntax errors.
std::string lineAndColumn(const std::string& text, size_t offset) {
  size_t line = 1;
  size_t column = 1;
  for (size_t i = 0; i < offset && i < text.size(); ++i) {
    if (text[i] == '\n') {
      ++line;
      column = 1;
    } else {
      ++column;
    }
  }
  return "line " + std::to_string(line) + ", column " + std::to_string(column);
}

}  // namespace

PatchText readPatchFile(const std::string& path) {
  PatchText patch;
  try {
    patch.json = readRegularFile(path, kMaxPatchFileBytes, "patch file");
  } catch (const FileRefused& e) {
    throw PatchError(path + ": " + e.what());
  }
  patch.path = path;
  patch.folder = std::filesystem::path(path).parent_path().string();
  if (patch.folder.empty()) patch.folder = ".";
  return patch;
}

BuiltPatch buildPatch(const PatchText& patch, Engine& engine, const DescriptionSet& descriptions,
                      int32_t voicesOverride, uint64_t memoryLimit, const std::vector<PinSetting>& settings,
                      const std::string& preset) {
  json root;
  try {
    root = json::parse(patch.json, nullptr, true, true);
  } catch (const json::parse_error& e) {
    std::string message = e.what();
    auto cut = message.find("syntax error");
    throw PatchError(patch.path + ": " + lineAndColumn(patch.json, e.byte > 0 ? e.byte - 1 : 0) + ": JSON " +
                     (cut != std::string::npos ? message.substr(cut) : message));
  } catch (const json::exception& e) {
    // A number beyond a double, say: the library names no place for it.
    std::string message = e.what();
    auto cut = message.find("] ");
    throw PatchError(patch.path + ": JSON " + (cut != std::string::npos ? message.substr(cut + 2) : message));
  }
  Builder builder(patch, engine, descriptions, memoryLimit, settings);
  return builder.build(root, voicesOverride, preset);
}

}  // namespace zvhost
