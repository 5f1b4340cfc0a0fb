// The graph runtime: module instances created through the factory, their
// pins and buffers, and the transport of values, streaming states and MIDI
// between connected pins at sample offsets.
//
// Order: instances run in a fixed topological order per block; a connection
// whose target runs before its source (a feedback connection) delivers one
// block late, at the same offset. An audio input with one module source
// reads that source's buffer directly; one with several sources, or fed by
// the host, gets its own buffer summed before the instance runs.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "frame/interfaces.h"
#include "host/descriptions.h"
#include "host/host_services.h"
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

struct EngineSettings {
  float sampleRate = 48000.0f;
  int32_t blockSize = 64;
  int32_t outputChannels = 2;
};

class Engine {
 public:
  Engine(IMpFactory* factory, EngineSettings settings, FileResolver files,
         MpGuiTimerTickFunction guiTimerTick = nullptr);
  ~Engine();
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  // Building (before prepare). Errors throw EngineError.
  int addModule(const ModuleDescription& description, bool guiSide, const std::string& label);
  void setConstant(Endpoint pin, RawValue value);
  void connect(Endpoint from, Endpoint to);
  int addHostSource(const std::string& label, float initialValue);
  void connectHostSource(int source, Endpoint to);
  void connectOutput(Endpoint from, int32_t channel);
  void connectMidiInput(Endpoint to);
  bool hasSource(Endpoint input) const;

  // Fixes the order, attaches buffers and opens every module.
  void prepare();

  // Running. Times are sample offsets in the next block.
  void setHostSource(int source, int32_t time, float value);
  void sendMidi(int32_t time, const uint8_t* data, int32_t size);
  void processBlock(int32_t frames);
  const float* output(int32_t channel) const;

  // Inspection, for tests and messages.
  const EngineSettings& settings() const { return settings_; }
  int instanceCount() const { return static_cast<int>(instances_.size()); }
  const std::string& label(int instance) const;
  const ModuleDescription& description(int instance) const;
  bool isGui(int instance) const;
  const std::vector<int>& order() const { return order_; }
  bool isSleeping(int instance) const;
  int64_t processCalls(int instance) const;
  size_t namedMemoryBlocks() const { return memory_.blockCount(); }

  // Called by the host faces the modules hold.
  int32_t onSendValue(int instance, int32_t position, int32_t pin, int32_t size, const void* data);
  int32_t onSendStreaming(int instance, int32_t position, int32_t pin, bool streaming);
  void onRequestSleep(int instance);
  int32_t onOpenNamedMemory(int instance, const MpChar* name, void** out, float rate, int32_t size,
                            int32_t* needInitialise);
  int32_t onResolveFilePath(const MpChar* name, int32_t capacity, MpChar* out) const;
  int32_t onSendGuiValue(int instance, int32_t pin, int32_t size, const void* data);
  int32_t guiPinCount(int instance) const;

  struct Instance;

 private:
  struct HostSource;
  Instance& instance(int index);
  const Instance& instance(int index) const;
  PinState& pinState(Endpoint e, const char* what);
  std::string describe(Endpoint e) const;
  void queueEvent(Instance& target, bool nextBlock, int32_t time, int32_t type, int32_t pin, const void* data,
                  int32_t size);
  void queueStreaming(Endpoint target, bool nextBlock, int32_t time);
  void deliverGui(int instance, int32_t pin, const void* data, int32_t size);
  void pumpGui();
  void fillSummedInput(PinState& pin);
  void run(Instance& inst, int32_t frames);
  int32_t clampTime(int32_t time) const;

  IMpFactory* factory_;
  EngineSettings settings_;
  FileResolver files_;
  MpGuiTimerTickFunction guiTimerTick_;
  NamedMemory memory_;
  std::vector<std::unique_ptr<Instance>> instances_;
  std::vector<std::unique_ptr<HostSource>> sources_;
  std::vector<std::vector<Endpoint>> outputSinks_;
  std::vector<std::vector<float>> outputs_;
  std::vector<Endpoint> midiInputs_;
  std::vector<int> order_;
  struct GuiDelivery {
    int instance;
    int32_t pin;
    RawValue value;
  };
  std::vector<GuiDelivery> guiQueue_;
  bool pumpingGui_ = false;
  bool prepared_ = false;
  int running_ = -1;
  int32_t frames_ = 0;
  double guiClockMs_ = 0.0;
  double nextTickMs_ = 0.0;
  std::vector<MpEvent> eventScratch_;
  std::vector<size_t> indexScratch_;
};

}  // namespace zvhost
