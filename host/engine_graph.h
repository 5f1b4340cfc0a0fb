// The engine's own records, shared by its pieces (building, ordering,
// buffer planning, the first block, transport). Not for use outside host/.
//
// Everything a block touches is resolved before the first block: pins sit
// in arrays by pin index, every audio input holds the buffer it reads, and
// each sum knows its sources. A block walks these arrays and looks nothing
// up.
#pragma once

#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "host/engine.h"
#include "host/host_faces.h"

namespace zvhost {

// Events of one instance for one block in arrival order. Values of up to 8
// bytes travel inline in the record; longer ones wait in the arena and are
// pointed to when the list is handed over, since the arena may move while
// it fills.
class EventQueue {
 public:
  bool empty() const { return records_.empty(); }
  size_t size() const { return records_.size(); }
  void push(int32_t time, int32_t type, int32_t pin, const void* data, int32_t size);
  // The list for processBlock: in time order (stable; sorted only when the
  // events did not arrive in order), times past the block moved to its
  // last sample, linked. Null when empty. Valid until the next push.
  const MpEvent* handOver(int32_t frames);
  void clear();

 private:
  struct Record {
    MpEvent event;
    size_t offset;  // of a value longer than 8 bytes in the arena
  };
  std::vector<Record> records_;
  std::vector<uint8_t> bytes_;
  bool ordered_ = true;
};

struct PinState {
  const PinDescription* description = nullptr;  // null: the module has no pin of this index
  // Audio pins: the buffer the module is given; inputs own one only when
  // nothing feeds them, or several sources do (then it holds their sum).
  std::vector<float> own;
  float* buffer = nullptr;
  float constant = 0.0f;
  std::vector<Endpoint> audioSources;
  std::vector<uint8_t> sourceStreaming;  // parallel to audioSources
  int32_t streamingSources = 0;          // how many of them stream
  std::vector<int> hostSources;
  int output = -1;  // audio outputs: index of their OutputState
  // Control and GUI pins.
  RawValue constantRaw;
  bool hasConstant = false;
  bool hasSource = false;
  // Outputs, and GUI pins (whose connections go both ways).
  std::vector<Endpoint> targets;
  std::vector<int> midiSinks;  // MIDI outputs: host sinks they feed
  // Audio outputs: control inputs that take the levels the output reports.
  std::vector<Endpoint> levelTargets;
  // Bound to a field of a parameter (engine_panel.cpp).
  int parameter = -1;
  int32_t field = -1;
  // GUI pins: the value the pin holds as far as the host knows.
  RawValue guiValue;
  bool guiValueKnown = false;
};

// A parameter of one instance, or of both sides of a linked one: each
// field's value and the pins bound to it.
struct Parameter {
  struct Field {
    std::string name;  // as parameterField; empty: the value
    int32_t datatype = MP_DT_FLOAT;
    RawValue value;
    bool known = false;
    uint64_t setOrder = 0;  // which of two linked sides' values is later
    std::vector<Endpoint> pins;
  };
  int instance = -1;  // the side that declared it
  int32_t id = 0;
  std::vector<Field> fields;
  bool merged = false;  // folded into the other side's parameter
  // What the "Normalized" field's 0..1 spans of the value.
  double low = 0.0;
  double high = 10.0;

  Field* find(const std::string& name) {
    for (Field& f : fields)
      if (f.name == name) return &f;
    return nullptr;
  }
};

// What the host knows of an audio output from the module's own reports.
// Until the first report nothing is assumed.
struct OutputState {
  const float* buffer = nullptr;
  bool known = false;
  bool streaming = true;
  int64_t reportBlock = std::numeric_limits<int64_t>::min() / 2;
  std::vector<int> sums;  // sums that read it

  // Constant throughout block b: static, and no report for two blocks. A
  // report in b - 1 still leaves that block's earlier samples in a buffer
  // that a feedback reader sees in b.
  bool quiet(int64_t b) const { return known && !streaming && reportBlock <= b - 2; }
};

// A buffer that holds the sum of several sources: an audio input with
// several sources (or fed by its own output), or an output channel. Sources
// that are quiet at zero are left out; with none left the buffer is zeroed
// once and then left alone.
struct Sum {
  float* out = nullptr;
  size_t length = 0;
  std::vector<const float*> hostBuffers;  // summed first, always
  std::vector<int> outputs;               // module outputs, in connection order
  std::vector<const float*> live;         // what is added, in that order
  bool dirty = true;
  bool zeroed = false;
};

// A set of instances that sleeps and wakes as one: the patch's own modules,
// or one voice. It is passed over whole while none of its instances is
// awake and none has events.
struct Group {
  std::string label;
  int32_t awake = 0;    // instances that have not asked to sleep
  int32_t pending = 0;  // instances with events for this block
};

struct Engine::Instance {
  // What every block reads first, side by side.
  int index = 0;
  int group = 0;
  int current = 0;  // which queue is this block's
  bool sleeping = false;
  bool listedLate = false;  // in the engine's list of instances with next-block events
  int position = 0;         // in the run order
  IMpPlugin* plugin = nullptr;
  int64_t calls = 0;
  std::vector<int> sums;  // inputs summed before each run
  // Two queues that trade places each block: this block's and the next's.
  EventQueue queues[2];

  std::string label;
  const ModuleDescription* description = nullptr;
  bool gui = false;
  IMpUserInterface* ui = nullptr;
  std::unique_ptr<AudioHostFace> audioHost;
  std::unique_ptr<GuiHostFace> guiHost;
  std::vector<PinState> pins;   // by pin index
  int32_t pinCount = 0;         // pins the description names
  std::vector<int> parameters;  // indices into the engine's parameters
  int linked = -1;              // the other side of the same instance

  EventQueue& now() { return queues[current]; }
  EventQueue& next() { return queues[current ^ 1]; }
  // The pin of an index, or null.
  PinState* pin(int32_t index) {
    return index >= 0 && index < static_cast<int32_t>(pins.size()) && pins[static_cast<size_t>(index)].description
               ? &pins[static_cast<size_t>(index)]
               : nullptr;
  }
  const PinState* pin(int32_t index) const { return const_cast<Instance*>(this)->pin(index); }
};

struct Engine::HostSource {
  std::string label;
  float value = 0.0f;
  std::vector<std::pair<int32_t, float>> changes;  // for the next block
  std::vector<float> buffer;
  bool uniform = true;  // the buffer holds value throughout
  bool listed = false;  // in the engine's list of sources to visit next block
  std::vector<Endpoint> targets;
};

// A run of consecutive instances in the run order that belong to one group.
struct Engine::Segment {
  int group;
  size_t begin;
  size_t end;
};

}  // namespace zvhost
