// The graph runtime: module instances created through the factory, their
// pins and buffers, and the transport of values, streaming states and MIDI
// between connected pins at sample offsets.
//
// Order: instances run in a fixed topological order per block; a connection
// whose target runs before its source (a feedback connection) delivers one
// block late, at the same offset. An audio input with one source (a module
// or a host input) reads that source's buffer directly; one with several
// sources, or fed by its own module, gets its own buffer summed before the
// instance runs. An audio output may also feed a float, int or bool input,
// which then takes the output's level at each of its reports (a static
// level, such as a clock's edge, or the start of a stream), at that sample.
//
// Cost follows the sound: instances are gathered in groups (the patch's own
// modules, and one group per voice); a group none of whose instances is
// awake and none of which has events is passed over whole, and a sum leaves
// out the sources that have reported a static zero.
//
// The pieces: building and inspection (engine.cpp), the run order
// (engine_order.cpp), buffer planning (engine_buffers.cpp), the first block
// (engine_start.cpp), transport (engine_transport.cpp), the GUI side and
// parameters (engine_panel.cpp, gui_pump.h) and the host interfaces modules
// call (host_faces.h).
//
// The GUI side: GUI pins connect to GUI pins only, both ways, as wires of a
// panel. A value a GUI module sends from a pin goes along each of the pin's
// connections and to the parameter the pin is bound to; a parameter passes
// it on to every other pin bound to the same field, on the GUI side at once
// and on the audio side at the next block. A pin is handed a value only
// when it differs from the one it holds, so echoes stop; a chain that never
// settles is cut (GuiPump::kMostHops) with a warning. The two sides of one
// instance meet only through their parameters (linkSides).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "frame/interfaces.h"
#include "host/descriptions.h"
#include "host/gui_pump.h"
#include "host/host_services.h"
#include "host/midi_buffer.h"
#include "host/values.h"

namespace zvhost {

struct EngineError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct Endpoint {
  int instance = -1;
  int32_t pin = 0;
};

struct PinState;
struct Parameter;
struct OutputState;
struct Sum;
struct Group;

struct EngineSettings {
  float sampleRate = 48000.0f;
  int32_t blockSize = 64;
  int32_t outputChannels = 2;
};

class Engine {
 public:
  // Group 0: the patch's own modules.
  static constexpr int kPatchGroup = 0;
  // Pin indices a description may use.
  static constexpr int32_t kMaxPinIndex = 4095;

  Engine(IMpFactory* factory, EngineSettings settings, FileResolver files,
         MpGuiTimerTickFunction guiTimerTick = nullptr, MpGuiTimerPeriodFunction guiTimerPeriod = nullptr);
  ~Engine();
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  // Building (before prepare). Errors throw EngineError.
  int addGroup(const std::string& label);
  int addModule(const ModuleDescription& description, bool guiSide, const std::string& label, int group = kPatchGroup);
  void setConstant(Endpoint pin, RawValue value);
  void connect(Endpoint from, Endpoint to);
  int addHostSource(const std::string& label, float initialValue);
  void connectHostSource(int source, Endpoint to);
  void connectOutput(Endpoint from, int32_t channel);
  void connectMidiInput(Endpoint to);
  // A host sink that gathers what module MIDI outputs send to it (the voice
  // allocator's input, say).
  int addMidiSink(const std::string& label);
  void connectMidiSink(Endpoint from, int sink);
  bool hasSource(Endpoint input) const;
  // Makes an audio-side and a GUI-side instance of one module the two sides
  // of one instance: they share their parameters.
  void linkSides(int audio, int gui);
  // Told of what a user should know (a file a module names that does not
  // exist), once each, as it happens; also kept in warnings().
  void setWarningSink(std::function<void(const std::string&)> sink) { warningSink_ = std::move(sink); }

  // Fixes the order, attaches buffers and opens every module.
  void prepare();

  // Parameters: one per parameterId a description binds pins to, per
  // instance (shared by linked sides). Fields are named as parameterField
  // is; the empty name is the value. Before prepare a field's value is what
  // its pins start with (it overrides their constants); while running it is
  // a change, as a host's parameter store makes one: the GUI side has it at
  // once, the audio side at the next block.
  int findParameter(int instance, int32_t id) const;
  void setParameter(int parameter, const std::string& field, RawValue value);
  const RawValue* parameterValue(int parameter, const std::string& field) const;
  // One parameter for instances that are not the two sides of one module
  // (the clones of a voice module): other's pins are bound to keep's from
  // now on. Before prepare.
  void joinParameters(int keep, int other);
  // The span of the value that the "Normalized" field maps to 0..1 (0 to 10
  // until set): a change of either field is passed on as the other.
  void setParameterRange(int parameter, double low, double high);
  // The datatype a field carries, or -1 when no pin binds it.
  int32_t parameterFieldType(int parameter, const std::string& field) const;
  // Whether an audio-side output writes the parameter's value.
  bool parameterWrittenByAudio(int parameter) const;
  // A value handed to a GUI pin while running, as a panel control connected
  // to it would; before prepare it is the pin's constant.
  void setGuiValue(Endpoint pin, RawValue value);
  // What a GUI pin holds as far as the host knows, or null.
  const RawValue* guiValue(Endpoint pin) const;
  // Whether a GUI instance draws (answers the composited-graphics face).
  bool drawsGraphics(int instance) const;
  // Places the instance in a width x height rectangle and has it draw on
  // the canvas; false when it does not draw.
  bool drawGui(int instance, IMpCanvas& canvas, int32_t width, int32_t height);

  // Running. Times are sample offsets in the next block.
  void setHostSource(int source, int32_t time, float value);
  void sendMidi(int32_t time, const uint8_t* data, int32_t size);
  void processBlock(int32_t frames);
  // What reached a sink since the last call, times as offsets in the last
  // block (anything sent while opening at 0); out is replaced.
  void takeMidi(int sink, MidiBuffer& out);
  const float* output(int32_t channel) const;
  // The channel is zeros throughout the last block, known without a look:
  // nothing that feeds it sounded.
  bool outputSilent(int32_t channel) const;

  // Inspection, for tests and messages.
  const EngineSettings& settings() const { return settings_; }
  const FileResolver& files() const { return files_; }
  int instanceCount() const { return static_cast<int>(instances_.size()); }
  const std::string& label(int instance) const;
  const ModuleDescription& description(int instance) const;
  bool isGui(int instance) const;
  const std::vector<int>& order() const { return order_; }
  bool isSleeping(int instance) const;
  int64_t processCalls(int instance) const;
  size_t namedMemoryBlocks() const { return memory_.blockCount(); }
  const std::vector<std::string>& warnings() const { return warnings_; }
  // Groups that ran in the last block.
  int32_t groupsRun() const { return groupsRun_; }

  // Called by the host faces the modules hold.
  int32_t onSendValue(int instance, int32_t position, int32_t pin, int32_t size, const void* data);
  int32_t onSendStreaming(int instance, int32_t position, int32_t pin, bool streaming);
  void onRequestSleep(int instance);
  int32_t onOpenNamedMemory(int instance, const MpChar* name, void** out, float rate, int32_t size,
                            int32_t* needInitialise);
  int32_t onResolveFilePath(int instance, const MpChar* name, int32_t capacity, MpChar* out);
  int32_t onSendGuiValue(int instance, int32_t pin, int32_t size, const void* data);
  int32_t guiPinCount(int instance) const;

  struct Instance;

 private:
  struct HostSource;
  struct Segment;

  Instance& instance(int index);
  const Instance& instance(int index) const;
  PinState& pinState(Endpoint e, const char* what);
  std::string describe(Endpoint e) const;
  void warn(const std::string& text);

  // Preparing (engine_order.cpp, engine_buffers.cpp, engine_start.cpp).
  void computeOrder();
  void planBuffers();
  void queueFirstBlock();
  void startGuiSide();

  // Transport (engine_transport.cpp).
  void queueEvent(Instance& target, bool nextBlock, int32_t time, int32_t type, int32_t pin, const void* data,
                  int32_t size);
  void queueStreaming(Instance& target, int32_t pin, bool nextBlock, int32_t time);
  void feedHostSources();
  void settleOutputs();
  void markSumsDirty(const OutputState& output);
  void fillSum(Sum& sum);
  void run(Instance& inst, int32_t frames);

  // The GUI side and parameters (engine_panel.cpp).
  static void checkParameterBindings(const ModuleDescription& description, bool guiSide, const std::string& label);
  void bindParameters(Instance& inst);
  Parameter& parameter(int index);
  const RawValue* startValue(const PinState& pin) const;
  void deliverGui(const GuiDelivery& delivery);
  void deliverNow(Instance& inst, int32_t pin, RawValue value);
  void changeParameter(const GuiDelivery& delivery);
  bool storeField(int parameter, int32_t field, const RawValue& value, Endpoint from);
  void mergeParameter(int into, int from);
  void deriveField(Parameter& parameter, int32_t changed);
  void reportCut(const GuiDelivery& delivery);
  void deliverLevels(Instance& source);
  int32_t clampTime(int32_t time) const;

  IMpFactory* factory_;
  EngineSettings settings_;
  FileResolver files_;
  NamedMemory memory_;
  GuiPump gui_;
  std::vector<std::unique_ptr<Instance>> instances_;
  std::vector<Group> groups_;
  std::vector<std::unique_ptr<HostSource>> sources_;
  std::vector<std::vector<Endpoint>> outputSinks_;
  std::vector<std::vector<float>> outputs_;
  std::vector<Endpoint> midiInputs_;
  std::vector<MidiBuffer> midiSinks_;
  std::vector<int> order_;
  std::vector<Parameter> parameters_;
  std::vector<std::string> cutWarned_;
  uint64_t parameterSets_ = 0;

  // Fixed by prepare().
  std::vector<Instance*> audioOrder_;  // audio-side instances in run order
  std::vector<Segment> segments_;
  std::vector<OutputState> outputStates_;
  std::vector<Sum> sums_;
  std::vector<int> channelSums_;

  // Running.
  std::vector<Instance*> lateInstances_;  // with events queued for the next block
  std::vector<int> listedSources_;        // host sources to visit in the next block
  std::vector<int> sourceScratch_;
  struct Settling {
    int output;
    int64_t block;
  };
  std::vector<Settling> settling_;  // static outputs about to become quiet
  struct LevelReport {
    int32_t pin;
    int32_t time;
  };
  std::vector<LevelReport> levelReports_;  // of the running instance, for its level targets
  int64_t block_ = 0;
  int32_t groupsRun_ = 0;
  // The groups' awake and pending counts summed.
  int64_t awakeTotal_ = 0;
  int64_t pendingTotal_ = 0;
  bool prepared_ = false;
  int running_ = -1;
  int32_t frames_ = 0;

  std::function<void(const std::string&)> warningSink_;
  std::vector<std::string> warnings_;
  std::vector<std::string> warnedFiles_;
};

}  // namespace zvhost
