#include "host/engine.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <optional>

namespace zvhost {

struct PinState {
  const PinDescription* description = nullptr;
  // Audio pins.
  std::vector<float> own;
  float* buffer = nullptr;
  float constant = 0.0f;
  bool summed = false;
  std::vector<Endpoint> audioSources;
  std::vector<uint8_t> sourceStreaming;  // parallel to audioSources
  std::vector<int> hostSources;
  // Control and GUI pins.
  RawValue constantRaw;
  bool hasConstant = false;
  bool hasSource = false;
  // Outputs (and GUI pins, whose links are directed as written).
  std::vector<Endpoint> targets;
};

namespace {

class AudioHostFace final : public IMpAudioHost {
 public:
  AudioHostFace(Engine& engine, int instance) : engine_(engine), instance_(instance) {}
  int32_t MP_STDCALL queryInterface(const MpGuid* iid, void** out) override {
    if (out == nullptr) return MP_FAIL;
    *out = nullptr;
    if (!mpGuidEqual(iid, MP_IID_AUDIO_HOST) && !mpGuidEqual(iid, MP_IID_UNKNOWN)) return MP_UNHANDLED;
    *out = static_cast<IMpAudioHost*>(this);
    addRef();
    return MP_OK;
  }
  // The engine owns the face; counts are kept only to be honest about them.
  int32_t MP_STDCALL addRef() override { return ++references_; }
  int32_t MP_STDCALL release() override { return --references_; }
  int32_t MP_STDCALL sendPinValue(int32_t position, int32_t pin, int32_t size, const void* data) override {
    return engine_.onSendValue(instance_, position, pin, size, data);
  }
  int32_t MP_STDCALL sendPinStreaming(int32_t position, int32_t pin, bool streaming) override {
    return engine_.onSendStreaming(instance_, position, pin, streaming);
  }
  int32_t MP_STDCALL requestSleep() override {
    engine_.onRequestSleep(instance_);
    return MP_OK;
  }
  int32_t MP_STDCALL reservedAudioHost7() override { return MP_UNHANDLED; }
  int32_t MP_STDCALL queryBlockSize(int32_t* out) override {
    if (out == nullptr) return MP_FAIL;
    *out = engine_.settings().blockSize;
    return MP_OK;
  }
  int32_t MP_STDCALL querySampleRate(float* out) override {
    if (out == nullptr) return MP_FAIL;
    *out = engine_.settings().sampleRate;
    return MP_OK;
  }
  int32_t MP_STDCALL reservedAudioHost10() override { return MP_UNHANDLED; }
  int32_t MP_STDCALL reservedAudioHost11() override { return MP_UNHANDLED; }
  int32_t MP_STDCALL reservedAudioHost12() override { return MP_UNHANDLED; }
  int32_t MP_STDCALL reservedAudioHost13() override { return MP_UNHANDLED; }
  int32_t MP_STDCALL reservedAudioHost14() override { return MP_UNHANDLED; }
  int32_t MP_STDCALL reservedAudioHost15() override { return MP_UNHANDLED; }
  int32_t MP_STDCALL reservedAudioHost16() override { return MP_UNHANDLED; }
  int32_t MP_STDCALL openNamedMemory(const MpChar* name, void** out, float rate, int32_t size,
                                     int32_t* needInitialise) override {
    return engine_.onOpenNamedMemory(instance_, name, out, rate, size, needInitialise);
  }
  int32_t MP_STDCALL resolveFilePath(const MpChar* name, int32_t capacity, MpChar* out) override {
    return engine_.onResolveFilePath(name, capacity, out);
  }

 private:
  Engine& engine_;
  int instance_;
  int32_t references_ = 0;
};

// Drawing happens nowhere in an offline render: redraw requests are
// accepted and styles have no background.
class GraphicsHostFace final : public IMpGraphicsHost {
 public:
  int32_t MP_STDCALL queryInterface(const MpGuid* iid, void** out) override {
    if (out == nullptr) return MP_FAIL;
    *out = nullptr;
    if (!mpGuidEqual(iid, MP_IID_GRAPHICS_HOST)) return MP_UNHANDLED;
    *out = static_cast<IMpGraphicsHost*>(this);
    addRef();
    return MP_OK;
  }
  int32_t MP_STDCALL addRef() override { return ++references_; }
  int32_t MP_STDCALL release() override { return --references_; }
  int32_t MP_STDCALL reservedGfxHost4() override { return MP_UNHANDLED; }
  int32_t MP_STDCALL reservedGfxHost5() override { return MP_UNHANDLED; }
  int32_t MP_STDCALL reservedGfxHost6() override { return MP_UNHANDLED; }
  int32_t MP_STDCALL invalidateRect(const MpRect*) override { return MP_OK; }
  int32_t MP_STDCALL reservedGfxHost8() override { return MP_UNHANDLED; }
  int32_t MP_STDCALL getStyle(const MpChar*, MpStyleRecord* style, const MpRect*) override {
    if (style == nullptr) return MP_FAIL;
    std::memset(style, 0, sizeof(*style));
    style->values[2] = -1;
    return MP_OK;
  }

 private:
  int32_t references_ = 0;
};

class GuiHostFace final : public IMpGuiHost {
 public:
  GuiHostFace(Engine& engine, int instance) : engine_(engine), instance_(instance) {}
  int32_t MP_STDCALL queryInterface(const MpGuid* iid, void** out) override {
    if (out == nullptr) return MP_FAIL;
    *out = nullptr;
    if (mpGuidEqual(iid, MP_IID_GRAPHICS_HOST)) return graphics_.queryInterface(iid, out);
    if (!mpGuidEqual(iid, MP_IID_GUI_HOST) && !mpGuidEqual(iid, MP_IID_UNKNOWN)) return MP_UNHANDLED;
    *out = static_cast<IMpGuiHost*>(this);
    addRef();
    return MP_OK;
  }
  int32_t MP_STDCALL addRef() override { return ++references_; }
  int32_t MP_STDCALL release() override { return --references_; }
  int32_t MP_STDCALL sendGuiPinValue(int32_t pin, int32_t size, const void* data, int32_t) override {
    return engine_.onSendGuiValue(instance_, pin, size, data);
  }
  int32_t MP_STDCALL reservedGuiHost5() override { return MP_UNHANDLED; }
  int32_t MP_STDCALL reservedGuiHost6() override { return MP_UNHANDLED; }
  int32_t MP_STDCALL reservedGuiHost7() override { return MP_UNHANDLED; }
  int32_t MP_STDCALL reservedGuiHost8() override { return MP_UNHANDLED; }
  int32_t MP_STDCALL reservedGuiHost9() override { return MP_UNHANDLED; }
  int32_t MP_STDCALL reservedGuiHost10() override { return MP_UNHANDLED; }
  int32_t MP_STDCALL resolveFilePath(const MpChar* name, int32_t capacity, MpChar* out) override {
    return engine_.onResolveFilePath(name, capacity, out);
  }
  int32_t MP_STDCALL reservedGuiHost12() override { return MP_UNHANDLED; }
  int32_t MP_STDCALL queryPinCount(int32_t* out) override {
    if (out == nullptr) return MP_FAIL;
    *out = engine_.guiPinCount(instance_);
    return MP_OK;
  }

 private:
  Engine& engine_;
  int instance_;
  int32_t references_ = 0;
  GraphicsHostFace graphics_;
};

// Events of one instance for one block, with their payloads in one arena so
// that a block allocates nothing once the queues have grown.
struct QueuedEvent {
  int32_t time;
  int32_t type;
  int32_t pin;
  int32_t size;
  size_t offset;
};

bool isAudio(const PinDescription* d) { return d->datatype == MP_DT_AUDIO; }

// enum and int travel as the same 4-byte value.
int32_t transportType(int32_t datatype) { return datatype == MP_DT_ENUM ? MP_DT_INT : datatype; }

}  // namespace

struct EventQueue {
  std::vector<QueuedEvent> events;
  std::vector<uint8_t> bytes;
  void clear() {
    events.clear();
    bytes.clear();
  }
};

struct Engine::Instance {
  std::string label;
  const ModuleDescription* description = nullptr;
  bool gui = false;
  IMpPlugin* plugin = nullptr;
  IMpUserInterface* ui = nullptr;
  std::unique_ptr<AudioHostFace> audioHost;
  std::unique_ptr<GuiHostFace> guiHost;
  std::map<int32_t, PinState> pins;
  EventQueue now;
  EventQueue next;
  int position = 0;  // in the run order
  bool sleeping = false;
  int64_t calls = 0;
};

struct Engine::HostSource {
  std::string label;
  float value = 0.0f;
  std::vector<std::pair<int32_t, float>> changes;
  std::vector<float> buffer;
  bool uniform = true;  // the buffer holds value throughout
  std::vector<Endpoint> targets;
};

Engine::Engine(IMpFactory* factory, EngineSettings settings, FileResolver files, MpGuiTimerTickFunction guiTimerTick)
    : factory_(factory), settings_(settings), files_(std::move(files)), guiTimerTick_(guiTimerTick) {
  if (settings_.blockSize <= 0) throw EngineError("block size must be positive");
  if (!(settings_.sampleRate > 0.0f)) throw EngineError("sample rate must be positive");
  if (settings_.outputChannels < 1) settings_.outputChannels = 1;
  outputSinks_.resize(static_cast<size_t>(settings_.outputChannels));
  outputs_.assign(static_cast<size_t>(settings_.outputChannels),
                  std::vector<float>(static_cast<size_t>(settings_.blockSize), 0.0f));
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
  auto it = inst.pins.find(e.pin);
  if (it != inst.pins.end() && !it->second.description->name.empty())
    text += " (" + it->second.description->name + ")";
  return text;
}

PinState& Engine::pinState(Endpoint e, const char* what) {
  Instance& inst = instance(e.instance);
  auto it = inst.pins.find(e.pin);
  if (it == inst.pins.end())
    throw EngineError(std::string(what) + ": \"" + inst.label + "\" (" + inst.description->id + ") has no " +
                      (inst.gui ? "GUI" : "audio") + " pin " + std::to_string(e.pin));
  return it->second;
}

int Engine::addModule(const ModuleDescription& description, bool guiSide, const std::string& label) {
  if (prepared_) throw EngineError("modules cannot be added while running");
  auto inst = std::make_unique<Instance>();
  int index = instanceCount();
  inst->label = label;
  inst->description = &description;
  inst->gui = guiSide;
  IMpUnknown* hostObject = nullptr;
  if (guiSide) {
    inst->guiHost = std::make_unique<GuiHostFace>(*this, index);
    hostObject = inst->guiHost.get();
  } else {
    inst->audioHost = std::make_unique<AudioHostFace>(*this, index);
    hostObject = inst->audioHost.get();
  }
  std::basic_string<MpChar> id(description.id.begin(), description.id.end());
  void* created = nullptr;
  int32_t result = factory_->createInstance(id.c_str(), guiSide ? 1 : 0, hostObject, &created);
  if (result != MP_OK || created == nullptr) {
    throw EngineError("\"" + label + "\": the library cannot create \"" + description.id + "\" on the " +
                      (guiSide ? "GUI" : "audio") + " side" + (result == MP_UNHANDLED ? " (not provided)" : " (refused)"));
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
  }
  for (const auto& d : description.pins(guiSide)) {
    PinState& pin = inst->pins[d.id];
    pin.description = &d;
    if (!d.defaultValue.empty()) {
      if (auto raw = rawFromText(d.datatype, d.defaultValue)) {
        pin.constantRaw = *raw;
        pin.constant = d.datatype == MP_DT_AUDIO ? rawAsFloat(*raw) : 0.0f;
        pin.hasConstant = true;
      }
    }
  }
  instances_.push_back(std::move(inst));
  return index;
}

void Engine::setConstant(Endpoint e, RawValue value) {
  PinState& pin = pinState(e, "value");
  if (pin.description->output && !instance(e.instance).gui)
    throw EngineError("value: " + describe(e) + " is an output");
  if (pin.description->datatype == MP_DT_MIDI) throw EngineError("value: " + describe(e) + " is a MIDI pin");
  if (isAudio(pin.description)) pin.constant = rawAsFloat(value);
  pin.constantRaw = std::move(value);
  pin.hasConstant = true;
}

bool Engine::hasSource(Endpoint e) const {
  const Instance& inst = instance(e.instance);
  auto it = inst.pins.find(e.pin);
  return it != inst.pins.end() && it->second.hasSource;
}

void Engine::connect(Endpoint from, Endpoint to) {
  if (prepared_) throw EngineError("connections cannot change while running");
  PinState& source = pinState(from, "connection");
  PinState& target = pinState(to, "connection");
  const Instance& fromInst = instance(from.instance);
  const Instance& toInst = instance(to.instance);
  if (!fromInst.gui && !source.description->output)
    throw EngineError("connection: " + describe(from) + " is an input, not an output");
  if (!toInst.gui && target.description->output)
    throw EngineError("connection: " + describe(to) + " is an output, not an input");
  int32_t a = transportType(source.description->datatype);
  int32_t b = transportType(target.description->datatype);
  if (a != b)
    throw EngineError("connection: type mismatch, " + describe(from) + " is " + datatypeName(a) + " but " +
                      describe(to) + " is " + datatypeName(b));
  if ((fromInst.gui || toInst.gui) && (a == MP_DT_AUDIO || a == MP_DT_MIDI))
    throw EngineError("connection: GUI pins carry no " + datatypeName(a) + " (" + describe(from) + " to " +
                      describe(to) + ")");
  source.targets.push_back(to);
  target.hasSource = true;
  if (a == MP_DT_AUDIO) {
    target.audioSources.push_back(from);
    target.sourceStreaming.push_back(0);
  }
}

int Engine::addHostSource(const std::string& label, float initialValue) {
  auto source = std::make_unique<HostSource>();
  source->label = label;
  source->value = initialValue;
  source->buffer.assign(static_cast<size_t>(settings_.blockSize), initialValue);
  sources_.push_back(std::move(source));
  return static_cast<int>(sources_.size()) - 1;
}

void Engine::connectHostSource(int source, Endpoint to) {
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
  PinState& source = pinState(from, "output");
  if (instance(from.instance).gui || !source.description->output || !isAudio(source.description))
    throw EngineError("output: " + describe(from) + " is not an audio output");
  if (channel < 0 || channel >= settings_.outputChannels)
    throw EngineError("output: no channel " + std::to_string(channel));
  outputSinks_[static_cast<size_t>(channel)].push_back(from);
}

void Engine::connectMidiInput(Endpoint to) {
  PinState& target = pinState(to, "MIDI input");
  if (instance(to.instance).gui || target.description->output || target.description->datatype != MP_DT_MIDI)
    throw EngineError("MIDI input: " + describe(to) + " is not a MIDI input");
  target.hasSource = true;
  midiInputs_.push_back(to);
}

void Engine::prepare() {
  if (prepared_) return;
  const int n = instanceCount();
  // Predecessors through audio-side connections; GUI links do not order.
  std::vector<std::vector<int>> predecessors(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) {
    Instance& inst = instance(i);
    if (inst.gui) continue;
    for (auto& [index, pin] : inst.pins)
      for (const Endpoint& t : pin.targets)
        if (t.instance != i && !instance(t.instance).gui) predecessors[static_cast<size_t>(t.instance)].push_back(i);
  }
  // Lowest patch index first among the ready ones; a cycle is cut at its
  // lowest-index member, whose late inputs then arrive a block late.
  std::vector<bool> placed(static_cast<size_t>(n), false);
  order_.clear();
  while (static_cast<int>(order_.size()) < n) {
    int chosen = -1;
    for (int i = 0; i < n && chosen < 0; ++i) {
      if (placed[static_cast<size_t>(i)]) continue;
      bool ready = std::all_of(predecessors[static_cast<size_t>(i)].begin(), predecessors[static_cast<size_t>(i)].end(),
                               [&](int p) { return placed[static_cast<size_t>(p)]; });
      if (ready) chosen = i;
    }
    for (int i = 0; i < n && chosen < 0; ++i)
      if (!placed[static_cast<size_t>(i)]) chosen = i;
    placed[static_cast<size_t>(chosen)] = true;
    instance(chosen).position = static_cast<int>(order_.size());
    order_.push_back(chosen);
  }

  const auto blockSize = static_cast<size_t>(settings_.blockSize);
  for (auto& inst : instances_) {
    if (inst->gui) continue;
    for (auto& [index, pin] : inst->pins) {
      if (!isAudio(pin.description)) continue;
      pin.own.assign(blockSize, pin.description->output ? 0.0f : pin.constant);
      pin.buffer = pin.own.data();
    }
  }
  // A lone module source is read in place; anything else is summed. A
  // module fed by its own output gets a copy: read in place, the input
  // would change under it while it writes, instead of lagging a block.
  for (int i = 0; i < n; ++i) {
    Instance* inst = instances_[static_cast<size_t>(i)].get();
    if (inst->gui) continue;
    for (auto& [index, pin] : inst->pins) {
      if (!isAudio(pin.description) || pin.description->output) continue;
      if (pin.audioSources.size() == 1 && pin.hostSources.empty() && pin.audioSources[0].instance != i) {
        pin.buffer = pinState(pin.audioSources[0], "connection").buffer;
      } else if (!pin.audioSources.empty() || !pin.hostSources.empty()) {
        pin.summed = true;
      }
    }
  }
  for (auto& inst : instances_) {
    if (inst->gui) continue;
    for (auto& [index, pin] : inst->pins) {
      if (!isAudio(pin.description)) continue;
      if (inst->plugin->attachPinBuffer(index, pin.buffer) != MP_OK)
        throw EngineError("\"" + inst->label + "\" (" + inst->description->id + ") refuses a buffer for audio pin " +
                          std::to_string(index) + ": its description does not match the library");
    }
  }
  prepared_ = true;
  // Anything sent while opening waits for the first block.
  for (int i : order_) {
    Instance& inst = instance(i);
    if (!inst.gui) inst.plugin->openModule();
  }
  // First block: every input's initial state, then the graph start. They go
  // to the queue that the first block takes over, ahead of anything GUI
  // modules send while they start.
  for (int i = 0; i < n; ++i) {
    Instance& inst = instance(i);
    if (inst.gui) continue;
    for (auto& [index, pin] : inst.pins) {
      const PinDescription& d = *pin.description;
      if (d.output || d.datatype == MP_DT_MIDI) continue;
      if (isAudio(&d)) {
        queueEvent(inst, true, 0, MP_EVENT_STREAMING_STOP, index, nullptr, 0);
      } else {
        // A host-fed input starts at the host's value, as its audio
        // counterpart does through its buffer.
        std::optional<RawValue> fed;
        if (!pin.hostSources.empty())
          fed = rawFromNumber(d.datatype, sources_[static_cast<size_t>(pin.hostSources.front())]->value);
        const RawValue value = fed ? *fed : pin.hasConstant ? pin.constantRaw : rawZero(d.datatype);
        queueEvent(inst, true, 0, MP_EVENT_PIN_VALUE, index, value.data(), static_cast<int32_t>(value.size()));
      }
    }
    queueEvent(inst, true, 0, MP_EVENT_GRAPH_START, 0, nullptr, 0);
  }
  for (int i = 0; i < n; ++i) {
    Instance& inst = instance(i);
    if (!inst.gui) continue;
    inst.ui->initializeGui();
    for (auto& [index, pin] : inst.pins) {
      if (!pin.hasConstant) continue;
      inst.ui->pinValueFromHost(index, 0, static_cast<int32_t>(pin.constantRaw.size()), pin.constantRaw.data());
      inst.ui->pinNotifyFromHost(index, 0);
    }
  }
  pumpGui();
}

int32_t Engine::clampTime(int32_t time) const {
  int32_t last = std::max(frames_, 1) - 1;
  return time < 0 ? 0 : time > last ? last : time;
}

void Engine::queueEvent(Instance& target, bool nextBlock, int32_t time, int32_t type, int32_t pin, const void* data,
                        int32_t size) {
  EventQueue& queue = nextBlock ? target.next : target.now;
  size_t offset = queue.bytes.size();
  if (size < 0) size = 0;
  if (size > 0 && data != nullptr) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    queue.bytes.insert(queue.bytes.end(), bytes, bytes + size);
  } else {
    size = 0;
  }
  queue.events.push_back({time, type, pin, size, offset});
}

void Engine::queueStreaming(Endpoint target, bool nextBlock, int32_t time) {
  Instance& inst = instance(target.instance);
  PinState& pin = inst.pins[target.pin];
  bool any = std::any_of(pin.sourceStreaming.begin(), pin.sourceStreaming.end(), [](uint8_t s) { return s != 0; });
  queueEvent(inst, nextBlock, time, any ? MP_EVENT_STREAMING_START : MP_EVENT_STREAMING_STOP, target.pin, nullptr, 0);
}

int32_t Engine::onSendValue(int index, int32_t position, int32_t pinIndex, int32_t size, const void* data) {
  if (index < 0 || index >= instanceCount()) return MP_FAIL;
  Instance& inst = instance(index);
  auto it = inst.pins.find(pinIndex);
  if (it == inst.pins.end() || !it->second.description->output) return MP_FAIL;
  if (size < 0 || (size > 0 && data == nullptr)) return MP_FAIL;
  PinState& pin = it->second;
  int32_t time = clampTime(position);
  int32_t type = pin.description->datatype == MP_DT_MIDI ? MP_EVENT_MIDI : MP_EVENT_PIN_VALUE;
  for (const Endpoint& t : pin.targets) {
    Instance& target = instance(t.instance);
    if (target.gui) {
      guiQueue_.push_back({t.instance, t.pin, RawValue(static_cast<const uint8_t*>(data),
                                                       static_cast<const uint8_t*>(data) + size)});
      continue;
    }
    // Outside a block (while opening) everything waits for the first block.
    bool late = running_ < 0 || target.position <= inst.position;
    queueEvent(target, late, time, type, t.pin, data, size);
  }
  return MP_OK;
}

int32_t Engine::onSendStreaming(int index, int32_t position, int32_t pinIndex, bool streaming) {
  if (index < 0 || index >= instanceCount()) return MP_FAIL;
  Instance& inst = instance(index);
  auto it = inst.pins.find(pinIndex);
  if (it == inst.pins.end() || !it->second.description->output || !isAudio(it->second.description)) return MP_FAIL;
  int32_t time = clampTime(position);
  for (const Endpoint& t : it->second.targets) {
    Instance& target = instance(t.instance);
    PinState& in = target.pins[t.pin];
    for (size_t k = 0; k < in.audioSources.size(); ++k)
      if (in.audioSources[k].instance == index && in.audioSources[k].pin == pinIndex) in.sourceStreaming[k] = streaming;
    // Passed on at every call: a static output that changed its level says so
    // by repeating "not streaming".
    queueStreaming(t, running_ < 0 || target.position <= inst.position, time);
  }
  return MP_OK;
}

void Engine::onRequestSleep(int index) {
  if (index >= 0 && index < instanceCount()) instance(index).sleeping = true;
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

int32_t Engine::onResolveFilePath(const MpChar* name, int32_t capacity, MpChar* out) const {
  return files_.resolveInto(name, capacity, out);
}

int32_t Engine::guiPinCount(int index) const {
  if (index < 0 || index >= instanceCount()) return 0;
  return static_cast<int32_t>(instance(index).pins.size());
}

int32_t Engine::onSendGuiValue(int index, int32_t pinIndex, int32_t size, const void* data) {
  if (index < 0 || index >= instanceCount()) return MP_FAIL;
  Instance& inst = instance(index);
  auto it = inst.pins.find(pinIndex);
  if (it == inst.pins.end() || size < 0 || (size > 0 && data == nullptr)) return MP_FAIL;
  const auto* bytes = static_cast<const uint8_t*>(data);
  for (const Endpoint& t : it->second.targets) {
    Instance& target = instance(t.instance);
    if (target.gui) {
      guiQueue_.push_back({t.instance, t.pin, RawValue(bytes, bytes + size)});
    } else {
      // The GUI runs between blocks: its values reach the audio side at the
      // start of the next one.
      queueEvent(target, true, 0, MP_EVENT_PIN_VALUE, t.pin, data, size);
    }
  }
  pumpGui();
  return MP_OK;
}

void Engine::pumpGui() {
  if (pumpingGui_) return;
  pumpingGui_ = true;
  // Bounded, so two GUI modules echoing each other cannot hang the host.
  size_t delivered = 0;
  constexpr size_t limit = 100000;
  while (!guiQueue_.empty() && delivered < limit) {
    GuiDelivery d = std::move(guiQueue_.front());
    guiQueue_.erase(guiQueue_.begin());
    Instance& inst = instance(d.instance);
    inst.ui->pinValueFromHost(d.pin, 0, static_cast<int32_t>(d.value.size()), d.value.data());
    inst.ui->pinNotifyFromHost(d.pin, 0);
    ++delivered;
  }
  guiQueue_.clear();
  pumpingGui_ = false;
}

void Engine::setHostSource(int source, int32_t time, float value) {
  if (source < 0 || source >= static_cast<int>(sources_.size())) return;
  sources_[static_cast<size_t>(source)]->changes.emplace_back(time, value);
}

void Engine::sendMidi(int32_t time, const uint8_t* data, int32_t size) {
  // Given before the block it belongs to, so it joins the queue that block
  // takes over.
  for (const Endpoint& t : midiInputs_) queueEvent(instance(t.instance), true, time, MP_EVENT_MIDI, t.pin, data, size);
}

void Engine::fillSummedInput(PinState& pin) {
  float* out = pin.own.data();
  const size_t n = pin.own.size();
  std::fill_n(out, n, 0.0f);
  for (int s : pin.hostSources) {
    const float* in = sources_[static_cast<size_t>(s)]->buffer.data();
    for (size_t i = 0; i < n; ++i) out[i] += in[i];
  }
  for (const Endpoint& e : pin.audioSources) {
    const float* in = instance(e.instance).pins[e.pin].buffer;
    for (size_t i = 0; i < n; ++i) out[i] += in[i];
  }
}

void Engine::run(Instance& inst, int32_t frames) {
  EventQueue& queue = inst.now;
  const size_t count = queue.events.size();
  indexScratch_.resize(count);
  for (size_t i = 0; i < count; ++i) indexScratch_[i] = i;
  std::stable_sort(indexScratch_.begin(), indexScratch_.end(),
                   [&](size_t a, size_t b) { return queue.events[a].time < queue.events[b].time; });
  eventScratch_.resize(count);
  for (size_t k = 0; k < count; ++k) {
    const QueuedEvent& q = queue.events[indexScratch_[k]];
    MpEvent& e = eventScratch_[k];
    e = MpEvent{};
    e.time = q.time < frames ? q.time : frames - 1;
    e.type = q.type;
    e.pin = q.pin;
    e.size = q.size;
    if (q.size > 0 && q.size <= 8) {
      std::memcpy(&e.data1, queue.bytes.data() + q.offset, static_cast<size_t>(q.size));
    } else if (q.size > 8) {
      e.extra = reinterpret_cast<char*>(queue.bytes.data() + q.offset);
    }
    e.next = k + 1 < count ? &eventScratch_[k + 1] : nullptr;
  }
  inst.sleeping = false;
  ++inst.calls;
  inst.plugin->processBlock(frames, count > 0 ? eventScratch_.data() : nullptr);
  queue.clear();
}

void Engine::processBlock(int32_t frames) {
  if (!prepared_) prepare();
  frames = std::clamp(frames, 1, settings_.blockSize);
  frames_ = frames;
  for (auto& inst : instances_) {
    std::swap(inst->now, inst->next);
    inst->next.clear();
  }
  // Host inputs: a piecewise-constant buffer per source, and an event per
  // change to every target (sent even when the value repeats: a trigger is
  // its update).
  for (size_t s = 0; s < sources_.size(); ++s) {
    HostSource& source = *sources_[s];
    if (source.changes.empty()) {
      // A block that changed mid-way leaves its old value at the start.
      if (!source.uniform) std::fill(source.buffer.begin(), source.buffer.end(), source.value);
      source.uniform = true;
      continue;
    }
    source.uniform = false;
    std::stable_sort(source.changes.begin(), source.changes.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    int32_t from = 0;
    for (auto& [time, value] : source.changes) {
      int32_t t = clampTime(time);
      std::fill(source.buffer.begin() + from, source.buffer.begin() + t, source.value);
      source.value = value;
      from = t;
      for (const Endpoint& target : source.targets) {
        Instance& inst = instance(target.instance);
        const PinDescription& d = *inst.pins[target.pin].description;
        if (d.datatype == MP_DT_AUDIO) {
          queueStreaming(target, false, t);
        } else if (auto raw = rawFromNumber(d.datatype, value)) {
          queueEvent(inst, false, t, MP_EVENT_PIN_VALUE, target.pin, raw->data(), static_cast<int32_t>(raw->size()));
        }
      }
    }
    std::fill(source.buffer.begin() + from, source.buffer.end(), source.value);
    source.changes.clear();
  }
  for (int i : order_) {
    Instance& inst = instance(i);
    if (inst.gui) continue;
    if (inst.sleeping && inst.now.events.empty()) continue;
    for (auto& [index, pin] : inst.pins)
      if (pin.summed) fillSummedInput(pin);
    running_ = i;
    run(inst, frames);
    running_ = -1;
  }
  for (size_t c = 0; c < outputs_.size(); ++c) {
    float* out = outputs_[c].data();
    std::fill(outputs_[c].begin(), outputs_[c].end(), 0.0f);
    for (const Endpoint& e : outputSinks_[c]) {
      const float* in = instance(e.instance).pins[e.pin].buffer;
      for (int32_t k = 0; k < frames; ++k) out[k] += in[k];
    }
  }
  // The GUI thread's turn: values from the audio side, then timer ticks.
  pumpGui();
  guiClockMs_ += 1000.0 * frames / settings_.sampleRate;
  if (guiTimerTick_ != nullptr) {
    while (guiClockMs_ >= nextTickMs_) {
      int32_t interval = guiTimerTick_();
      nextTickMs_ += interval > 0 ? interval : 50;
      pumpGui();
    }
  }
}

const float* Engine::output(int32_t channel) const {
  if (channel < 0 || channel >= static_cast<int32_t>(outputs_.size())) return nullptr;
  return outputs_[static_cast<size_t>(channel)].data();
}

}  // namespace zvhost
