#include "host/memory_estimate.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <limits>
#include <map>
#include <set>

namespace zvhost {
namespace {

using nlohmann::json;

// Every module of the library, measured with its host records, takes 1 to
// 2 KiB an instance; the defaults leave room for what was not measured.
constexpr uint64_t kInstanceBytes = uint64_t{4} << 10;  // host records and event queues
constexpr uint64_t kPinBytes = 256;                     // a pin's record, described or not
constexpr uint64_t kModuleBytes = uint64_t{8} << 10;    // the module object
// Tables shared by name: once per identifier and patch.
constexpr uint64_t kSharedBytes = uint64_t{1} << 20;
constexpr uint64_t kVoiceBytes = uint64_t{1} << 10;
constexpr uint64_t kVoiceInputs = 5;
// Longer file names exist nowhere; they are not looked up.
constexpr size_t kLongestFileName = 4096;

struct KnownModule {
  const char* id;
  double secondsOfAudio;  // one float per sample at the render's rate, per instance
  uint64_t sharedBytes;
};

// The modules that take more than the defaults.
const KnownModule kKnownModules[] = {
    {"ZV Delay v3", 10.0, kSharedBytes},
    // The three wavetable sets (127,256 floats each) and the increment tables.
    {"INIT Osc ZVQR", 0.0, uint64_t{2} << 20},
    {"Osc ZVQR", 0.0, uint64_t{2} << 20},
    {"Osc ZVQR Sync", 0.0, uint64_t{2} << 20},
};

uint64_t add(uint64_t a, uint64_t b) {
  return a > std::numeric_limits<uint64_t>::max() - b ? std::numeric_limits<uint64_t>::max() : a + b;
}
uint64_t multiply(uint64_t a, uint64_t b) {
  return b != 0 && a > std::numeric_limits<uint64_t>::max() / b ? std::numeric_limits<uint64_t>::max() : a * b;
}

const KnownModule* known(const std::string& id) {
  for (const KnownModule& k : kKnownModules)
    if (id == k.id) return &k;
  return nullptr;
}

class Estimator {
 public:
  Estimator(const DescriptionSet& descriptions, const EngineSettings& settings, const FileResolver& files)
      : descriptions_(descriptions), settings_(settings), resolver_(files) {}

  void countModules(const json& modules, uint64_t copies) {
    if (!modules.is_array()) return;
    for (const json& m : modules) {
      if (!m.is_object()) continue;
      const auto id = m.find("id");
      if (id == m.end() || !id->is_string()) continue;
      const ModuleDescription* description = descriptions_.find(id->get<std::string>());
      if (description == nullptr) continue;
      const auto side = m.find("side");
      const bool gui = side != m.end() && *side == "gui";
      const KnownModule* k = known(description->id);
      Part& part = modules_[{description->id, gui}];
      part.instances = add(part.instances, copies);
      part.each = instanceBytes(*description, gui, k);
      shared_[description->id] = k != nullptr ? k->sharedBytes : kSharedBytes;
      countFiles(m, *description, gui);
    }
  }

  void countVoices(uint64_t voices) { voices_ = multiply(voices, add(kVoiceBytes, kVoiceInputs * blockBytes())); }

  MemoryEstimate result() const {
    MemoryEstimate e;
    e.bytes = voices_;
    auto consider = [&](uint64_t bytes, const std::string& what) {
      e.bytes = add(e.bytes, bytes);
      if (bytes > e.largestBytes) {
        e.largestBytes = bytes;
        e.largest = what;
      }
    };
    for (const auto& [key, part] : modules_)
      consider(multiply(part.instances, part.each),
               std::to_string(part.instances) + " instances of \"" + key.first + (key.second ? "\" (GUI side)" : "\""));
    for (const auto& [id, bytes] : shared_) consider(bytes, "the tables of \"" + id + "\"");
    for (const auto& [path, bytes] : fileSizes_) consider(bytes, "the file \"" + path + "\"");
    return e;
  }

 private:
  struct Part {
    uint64_t instances = 0;
    uint64_t each = 0;
  };

  uint64_t blockBytes() const { return static_cast<uint64_t>(std::max(settings_.blockSize, 1)) * sizeof(float); }

  uint64_t instanceBytes(const ModuleDescription& d, bool gui, const KnownModule* k) const {
    const auto& pins = d.pins(gui);
    uint64_t bytes = kInstanceBytes + kModuleBytes;
    if (!pins.empty()) bytes += (static_cast<uint64_t>(std::max(pins.back().id, 0)) + 1) * kPinBytes;
    for (const PinDescription& pin : pins)
      if (pin.datatype == MP_DT_AUDIO) bytes += blockBytes();
    if (k != nullptr && k->secondsOfAudio > 0.0) {
      const double rate = std::clamp(static_cast<double>(settings_.sampleRate), 0.0, 1e7);
      bytes += static_cast<uint64_t>(std::ceil(k->secondsOfAudio * rate)) * sizeof(float);
    }
    return bytes;
  }

  // Text pins may name files; one that exists counts its size, once
  // however many instances name it: banks and tables are read once.
  void countFiles(const json& module, const ModuleDescription& d, bool gui) {
    const auto values = module.find("values");
    for (const PinDescription& pin : d.pins(gui)) {
      if (pin.datatype != MP_DT_TEXT || pin.output) continue;
      const std::string* name = pin.defaultValue.empty() ? nullptr : &pin.defaultValue;
      if (values != module.end() && values->is_object()) {
        for (auto& [key, value] : values->items())
          if (value.is_string() && d.findPin(gui, key) == &pin) name = &value.get_ref<const std::string&>();
      }
      if (name != nullptr) countFile(*name);
    }
  }

  void countFile(const std::string& name) {
    if (name.empty() || name.size() > kLongestFileName || !askedNames_.insert(name).second) return;
    namespace fs = std::filesystem;
    const FileResolution r = resolver_.resolveFully(name);
    std::error_code error;
    if (!r.found || !fs::is_regular_file(r.path, error)) return;
    const uintmax_t size = fs::file_size(r.path, error);
    if (!error) fileSizes_[r.path] = size;
  }

  const DescriptionSet& descriptions_;
  const EngineSettings& settings_;
  const FileResolver& resolver_;
  std::map<std::pair<std::string, bool>, Part> modules_;  // by identifier and side (true: GUI)
  std::map<std::string, uint64_t> shared_;
  std::map<std::string, uint64_t> fileSizes_;
  std::set<std::string> askedNames_;
  uint64_t voices_ = 0;
};

}  // namespace

MemoryEstimate estimatePatchMemory(const json& patch, int32_t voices, const DescriptionSet& descriptions,
                                   const EngineSettings& settings, const FileResolver& files) {
  Estimator estimator(descriptions, settings, files);
  if (!patch.is_object()) return {};
  if (const auto modules = patch.find("modules"); modules != patch.end()) estimator.countModules(*modules, 1);
  if (const auto voice = patch.find("voice"); voice != patch.end() && voice->is_object() && voices > 0) {
    if (const auto modules = voice->find("modules"); modules != voice->end())
      estimator.countModules(*modules, static_cast<uint64_t>(voices));
    estimator.countVoices(static_cast<uint64_t>(voices));
  }
  return estimator.result();
}

}  // namespace zvhost
