// Building the graph, inspection, and the services that are not transport:
// named memory, file names, warnings.
#include "host/engine.h"

#include <algorithm>
#include <new>

#include "host/engine_graph.h"

namespace zvhost {
namespace {

bool isAudio(const PinDescription* d) { return d->datatype == MP_DT_AUDIO; }

// enum and int travel as the same 4-byte value.
int32_t transportType(int32_t datatype) { return datatype == MP_DT_ENUM ? MP_DT_INT : datatype; }

}  // namespace

Engine::Engine(IMpFactory* factory, EngineSettings settings, FileResolver files, MpGuiTimerTickFunction guiTimerTick,
               MpGuiTimerPeriodFunction guiTimerPeriod)
    : factory_(factory),
      settings_(settings),
      files_(std::move(files)),
      gui_(guiTimerTick, guiTimerPeriod, settings.sampleRate) {
  if (settings_.blockSize <= 0) throw EngineError("block size must be positive");
  if (!(settings_.sampleRate > 0.0f)) throw EngineError("sample rate must be positive");
  if (settings_.outputChannels < 1) settings_.outputChannels = 1;
  outputSinks_.resize(static_cast<size_t>(settings_.outputChannels));
  outputs_.assign(static_cast<size_t>(settings_.outputChannels),
                  std::vector<float>(static_cast<size_t>(settings_.blockSize), 0.0f));
  groups_.push_back(Group{"patch", 0, 0});
  gui_.setDeliver([this](const GuiDelivery& d) { deliverGui(d); });
  gui_.setCut([this](const GuiDelivery& d) { reportCut(d); });
}

Engine::~Engine() {
  for (auto it = instances_.rbegin(); it != instances_.rend(); ++it) {
    Instance& inst = **it;
    if (inst.plugin != nullptr) inst.plugin->release();
    if (inst.ui != nullptr) inst.ui->release();
    memory_.releaseUser(&inst);
  }
}

Engine::Instance& Engine::instance(int index) {
  if (index < 0 || index >= instanceCount()) throw EngineError("no module instance " + std::to_string(index));
  return *instances_[static_cast<size_t>(index)];
}

const Engine::Instance& Engine::instance(int index) const {
  if (index < 0 || index >= instanceCount()) throw EngineError("no module instance " + std::to_string(index));
  return *instances_[static_cast<size_t>(index)];
}

const std::string& Engine::label(int index) const { return instance(index).label; }
const ModuleDescription& Engine::description(int index) const { return *instance(index).description; }
bool Engine::isGui(int index) const { return instance(index).gui; }
bool Engine::isSleeping(int index) const { return instance(index).sleeping; }
int64_t Engine::processCalls(int index) const { return instance(index).calls; }

std::string Engine::describe(Endpoint e) const {
  const Instance& inst = instance(e.instance);
  std::string text = "\"" + inst.label + "\" pin " + std::to_string(e.pin);
  const PinState* pin = inst.pin(e.pin);
  if (pin != nullptr && !pin->description->name.empty()) text += " (" + pin->description->name + ")";
  return text;
}

PinState& Engine::pinState(Endpoint e, const char* what) {
  Instance& inst = instance(e.instance);
  PinState* pin = inst.pin(e.pin);
  if (pin == nullptr)
    throw EngineError(std::string(what) + ": \"" + inst.label + "\" (" + inst.description->id + ") has no " +
                      (inst.gui ? "GUI" : "audio") + " pin " + std::to_string(e.pin));
  return *pin;
}

void Engine::warn(const std::string& text) {
  warnings_.push_back(text);
  if (warningSink_) warningSink_(text);
}

int Engine::addGroup(const std::string& label) {
  if (prepared_) throw EngineError("groups cannot be added while running");
  groups_.push_back(Group{label, 0, 0});
  return static_cast<int>(groups_.size()) - 1;
}

int Engine::addModule(const ModuleDescription& description, bool guiSide, const std::string& label, int group) {
  if (prepared_) throw EngineError("modules cannot be added while running");
  if (group < 0 || group >= static_cast<int>(groups_.size())) throw EngineError("no group " + std::to_string(group));
  const auto& described = description.pins(guiSide);
  if (!described.empty() && described.back().id > kMaxPinIndex)
    throw EngineError("\"" + label + "\": \"" + description.id + "\" describes pin " +
                      std::to_string(described.back().id) + ", beyond the last pin index " +
                      std::to_string(kMaxPinIndex));
  checkParameterBindings(description, guiSide, label);
  const int index = instanceCount();
  auto inst = std::make_unique<Instance>();
  inst->index = index;
  inst->label = label;
  inst->description = &description;
  inst->gui = guiSide;
  inst->group = group;
  void* created = nullptr;
  const WideString id = utf8ToWide(description.id);
  IMpUnknown* hostUnknown = nullptr;
  if (guiSide) {
    inst->guiHost = std::make_unique<GuiHostFace>(*this, index);
    hostUnknown = inst->guiHost.get();
  } else {
    inst->audioHost = std::make_unique<AudioHostFace>(*this, index);
    hostUnknown = inst->audioHost.get();
  }
  const int32_t result = factory_->createInstance(id.c_str(), guiSide ? 1 : 0, hostUnknown, &created);
  if (result != MP_OK || created == nullptr) {
    throw EngineError("\"" + label + "\": the library cannot create \"" + description.id + "\" on the " +
                      (guiSide ? "GUI" : "audio") + " side" +
                      (result == MP_UNHANDLED ? " (not provided)" : " (refused)"));
  }
  auto* unknown = static_cast<IMpUnknown*>(created);
  void* face = nullptr;
  const MpGuid& iid = guiSide ? MP_IID_GUI_PLUGIN : MP_IID_PLUGIN;
  if (unknown->queryInterface(&iid, &face) != MP_OK || face == nullptr) {
    unknown->release();
    throw EngineError("\"" + label + "\": \"" + description.id + "\" does not answer the plug-in interface");
  }
  unknown->release();  // the face holds the reference now
  if (guiSide) {
    inst->ui = static_cast<IMpUserInterface*>(static_cast<IMpUnknown*>(face));
  } else {
    inst->plugin = static_cast<IMpPlugin*>(static_cast<IMpUnknown*>(face));
    ++groups_[static_cast<size_t>(group)].awake;
    ++awakeTotal_;
  }
  inst->pins.resize(described.empty() ? 0 : static_cast<size_t>(described.back().id) + 1);
  for (const auto& d : described) {
    PinState& pin = inst->pins[static_cast<size_t>(d.id)];
    pin.description = &d;
    ++inst->pinCount;
    if (!d.defaultValue.empty()) {
      if (auto raw = rawFromText(d.datatype, d.defaultValue)) {
        pin.constantRaw = *raw;
        pin.constant = d.datatype == MP_DT_AUDIO ? rawAsFloat(*raw) : 0.0f;
        pin.hasConstant = true;
      }
    }
  }
  bindParameters(*inst);
  instances_.push_back(std::move(inst));
  return index;
}

void Engine::setConstant(Endpoint e, RawValue value) {
  PinState& pin = pinState(e, "value");
  if (pin.description->output && !instance(e.instance).gui)
    throw EngineError("value: " + describe(e) + " is an output");
  if (pin.description->datatype == MP_DT_MIDI) throw EngineError("value: " + describe(e) + " is a MIDI pin");
  if (isAudio(pin.description)) pin.constant = rawAsFloat(value);
  if (pin.parameter >= 0) setParameter(pin.parameter, pin.description->parameterField, value);
  pin.constantRaw = std::move(value);
  pin.hasConstant = true;
}

bool Engine::hasSource(Endpoint e) const {
  const PinState* pin = instance(e.instance).pin(e.pin);
  return pin != nullptr && pin->hasSource;
}

void Engine::connect(Endpoint from, Endpoint to) {
  if (prepared_) throw EngineError("connections cannot change while running");
  PinState& source = pinState(from, "connection");
  PinState& target = pinState(to, "connection");
  const Instance& fromInst = instance(from.instance);
  const Instance& toInst = instance(to.instance);
  if (fromInst.gui != toInst.gui)
    throw EngineError("connection: GUI pins connect to GUI pins only, and " + describe(fromInst.gui ? from : to) +
                      " is on the GUI side but " + describe(fromInst.gui ? to : from) +
                      " on the audio side; the sides of one module meet through its parameters");
  if (!fromInst.gui && !source.description->output)
    throw EngineError("connection: " + describe(from) + " is an input, not an output");
  if (!toInst.gui && target.description->output)
    throw EngineError("connection: " + describe(to) + " is an output, not an input");
  int32_t a = transportType(source.description->datatype);
  int32_t b = transportType(target.description->datatype);
  if (a == MP_DT_AUDIO && (b == MP_DT_FLOAT || b == MP_DT_INT || b == MP_DT_BOOL) && !fromInst.gui && !toInst.gui) {
    source.levelTargets.push_back(to);
    target.hasSource = true;
    return;
  }
  if (a != b)
    throw EngineError("connection: type mismatch, " + describe(from) + " is " + datatypeName(a) + " but " +
                      describe(to) + " is " + datatypeName(b));
  if (fromInst.gui && (a == MP_DT_AUDIO || a == MP_DT_MIDI))
    throw EngineError("connection: GUI pins carry no " + datatypeName(a) + " (" + describe(from) + " to " +
                      describe(to) + ")");
  auto add = [](std::vector<Endpoint>& list, Endpoint e) {
    for (const Endpoint& x : list)
      if (x.instance == e.instance && x.pin == e.pin) return;
    list.push_back(e);
  };
  if (fromInst.gui) {
    if (from.instance == to.instance && from.pin == to.pin) return;
    add(source.targets, to);
    add(target.targets, from);
    source.hasSource = true;
    target.hasSource = true;
    return;
  }
  source.targets.push_back(to);
  target.hasSource = true;
  if (a == MP_DT_AUDIO) {
    target.audioSources.push_back(from);
    target.sourceStreaming.push_back(0);
  }
}

int Engine::addHostSource(const std::string& label, float initialValue) {
  if (prepared_) throw EngineError("host inputs cannot be added while running");
  auto source = std::make_unique<HostSource>();
  source->label = label;
  source->value = initialValue;
  source->buffer.assign(static_cast<size_t>(settings_.blockSize), initialValue);
  sources_.push_back(std::move(source));
  return static_cast<int>(sources_.size()) - 1;
}

void Engine::connectHostSource(int source, Endpoint to) {
  if (prepared_) throw EngineError("connections cannot change while running");
  if (source < 0 || source >= static_cast<int>(sources_.size())) throw EngineError("no host source");
  PinState& target = pinState(to, "host input");
  const HostSource& s = *sources_[static_cast<size_t>(source)];
  if (instance(to.instance).gui || target.description->output)
    throw EngineError("host input \"" + s.label + "\": " + describe(to) + " is not an audio-side input");
  int32_t type = target.description->datatype;
  if (type != MP_DT_AUDIO && type != MP_DT_FLOAT && type != MP_DT_INT && type != MP_DT_ENUM && type != MP_DT_BOOL)
    throw EngineError("host input \"" + s.label + "\": " + describe(to) + " is " + datatypeName(type) +
                      ", not a number");
  sources_[static_cast<size_t>(source)]->targets.push_back(to);
  target.hostSources.push_back(source);
  target.hasSource = true;
}

void Engine::connectOutput(Endpoint from, int32_t channel) {
  if (prepared_) throw EngineError("connections cannot change while running");
  PinState& source = pinState(from, "output");
  if (instance(from.instance).gui || !source.description->output || !isAudio(source.description))
    throw EngineError("output: " + describe(from) + " is not an audio output");
  if (channel < 0 || channel >= settings_.outputChannels)
    throw EngineError("output: no channel " + std::to_string(channel));
  outputSinks_[static_cast<size_t>(channel)].push_back(from);
}

void Engine::connectMidiInput(Endpoint to) {
  if (prepared_) throw EngineError("connections cannot change while running");
  PinState& target = pinState(to, "MIDI input");
  if (instance(to.instance).gui || target.description->output || target.description->datatype != MP_DT_MIDI)
    throw EngineError("MIDI input: " + describe(to) + " is not a MIDI input");
  target.hasSource = true;
  midiInputs_.push_back(to);
}

int Engine::addMidiSink(const std::string& label) {
  if (prepared_) throw EngineError("MIDI sink \"" + label + "\" cannot be added while running");
  midiSinks_.emplace_back();
  return static_cast<int>(midiSinks_.size()) - 1;
}

void Engine::connectMidiSink(Endpoint from, int sink) {
  if (prepared_) throw EngineError("connections cannot change while running");
  if (sink < 0 || sink >= static_cast<int>(midiSinks_.size())) throw EngineError("no MIDI sink");
  PinState& source = pinState(from, "MIDI output");
  if (instance(from.instance).gui || !source.description->output || source.description->datatype != MP_DT_MIDI)
    throw EngineError("MIDI output: " + describe(from) + " is not a MIDI output");
  source.midiSinks.push_back(sink);
}

void Engine::prepare() {
  if (prepared_) return;
  computeOrder();
  planBuffers();
  prepared_ = true;
  // Anything sent while opening waits for the first block.
  for (Instance* inst : audioOrder_) {
    try {
      inst->plugin->openModule();
    } catch (const std::bad_alloc&) {
      // Modules allocate their lines and tables here.
      throw EngineError("\"" + inst->label + "\" (" + inst->description->id + ") ran out of memory while opening");
    }
  }
  queueFirstBlock();
  startGuiSide();
}

int32_t Engine::onOpenNamedMemory(int index, const MpChar* name, void** out, float rate, int32_t size,
                                  int32_t* needInitialise) {
  if (out != nullptr) *out = nullptr;
  if (needInitialise != nullptr) *needInitialise = 0;
  if (out == nullptr || name == nullptr || index < 0 || index >= instanceCount()) return MP_FAIL;
  WideString key(name, wideLength(name, 4096));
  bool first = false;
  float* block = memory_.open(key, rate, size, &instance(index), first);
  if (block == nullptr) return MP_FAIL;
  *out = block;
  if (needInitialise != nullptr) *needInitialise = first ? 1 : 0;
  return MP_OK;
}

int32_t Engine::onResolveFilePath(int index, const MpChar* name, int32_t capacity, MpChar* out) {
  FileResolution resolution;
  const int32_t result = files_.resolveInto(name, capacity, out, &resolution);
  if (!resolution.name.empty() && !resolution.found && index >= 0 && index < instanceCount()) {
    // Once per module identifier and name: a voice section asks as often as
    // it has voices.
    const Instance& inst = instance(index);
    std::string key = inst.description->id + '\n' + resolution.name;
    if (std::find(warnedFiles_.begin(), warnedFiles_.end(), key) == warnedFiles_.end()) {
      warnedFiles_.push_back(std::move(key));
      std::string folders;
      for (const auto& folder : resolution.tried) folders += (folders.empty() ? "" : ", ") + folder;
      warn("\"" + inst.label + "\" (" + inst.description->id + ") names the file \"" + resolution.name +
           "\", which is not " +
           (resolution.tried.empty() ? std::string("there") : "in any of these folders: " + folders));
    }
  }
  return result;
}

int32_t Engine::guiPinCount(int index) const {
  if (index < 0 || index >= instanceCount()) return 0;
  return instance(index).pinCount;
}

}  // namespace zvhost
