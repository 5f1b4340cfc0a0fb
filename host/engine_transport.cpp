// Transport: one block, and everything modules send while it runs.
//
// A block visits only what has work: instances with events for the next
// block, host inputs that changed (or changed in the last block), outputs
// whose reports age, and the groups with an instance awake or an event
// waiting. Nothing here allocates once the queues have grown, but for the
// copy the GUI side gets of a value sent on a parameter-bound output.
#include <algorithm>
#include <cstring>
#include <span>

#include "host/engine.h"
#include "host/engine_graph.h"

namespace zvhost {

void EventQueue::push(int32_t time, int32_t type, int32_t pin, const void* data, int32_t size) {
  Record r{};
  r.event.time = time;
  r.event.type = type;
  r.event.pin = pin;
  if (size > 0 && data != nullptr) {
    r.event.size = size;
    if (size <= 8) {
      std::memcpy(&r.event.data1, data, static_cast<size_t>(size));
    } else {
      r.offset = bytes_.size();
      const auto* bytes = static_cast<const uint8_t*>(data);
      bytes_.insert(bytes_.end(), bytes, bytes + size);
    }
  }
  if (!records_.empty() && time < records_.back().event.time) ordered_ = false;
  records_.push_back(r);
}

const MpEvent* EventQueue::handOver(int32_t frames) {
  const size_t n = records_.size();
  if (n == 0) return nullptr;
  if (!ordered_) {
    // Stable: events of one instant keep the order they were sent in. The
    // few events of a usual block are sorted in place.
    const auto earlier = [](const Record& a, const Record& b) { return a.event.time < b.event.time; };
    if (n > 32) {
      std::stable_sort(records_.begin(), records_.end(), earlier);
    } else {
      for (size_t i = 1; i < n; ++i) {
        Record r = records_[i];
        size_t j = i;
        for (; j > 0 && earlier(r, records_[j - 1]); --j) records_[j] = records_[j - 1];
        records_[j] = r;
      }
    }
    ordered_ = true;
  }
  for (size_t k = 0; k < n; ++k) {
    MpEvent& e = records_[k].event;
    if (e.time >= frames) e.time = frames - 1;
    if (e.size > 8) e.extra = reinterpret_cast<char*>(bytes_.data() + records_[k].offset);
    e.next = k + 1 < n ? &records_[k + 1].event : nullptr;
  }
  return &records_[0].event;
}

void EventQueue::clear() {
  records_.clear();
  bytes_.clear();
  ordered_ = true;
}

int32_t Engine::clampTime(int32_t time) const {
  int32_t last = std::max(frames_, 1) - 1;
  return time < 0 ? 0 : time > last ? last : time;
}

void Engine::queueEvent(Instance& target, bool nextBlock, int32_t time, int32_t type, int32_t pin, const void* data,
                        int32_t size) {
  EventQueue& queue = nextBlock ? target.next() : target.now();
  const bool first = queue.empty();
  queue.push(time, type, pin, data, size < 0 ? 0 : size);
  if (!first) return;
  if (!nextBlock) {
    ++groups_[static_cast<size_t>(target.group)].pending;
    ++pendingTotal_;
  } else if (!target.listedLate) {
    target.listedLate = true;
    lateInstances_.push_back(&target);
  }
}

void Engine::queueStreaming(Instance& target, int32_t pin, bool nextBlock, int32_t time) {
  const bool any = target.pins[static_cast<size_t>(pin)].streamingSources > 0;
  queueEvent(target, nextBlock, time, any ? MP_EVENT_STREAMING_START : MP_EVENT_STREAMING_STOP, pin, nullptr, 0);
}

int32_t Engine::onSendValue(int index, int32_t position, int32_t pinIndex, int32_t size, const void* data) {
  if (index < 0 || index >= instanceCount()) return MP_FAIL;
  Instance& inst = *instances_[static_cast<size_t>(index)];
  const PinState* pin = inst.pin(pinIndex);
  if (pin == nullptr || !pin->description->output) return MP_FAIL;
  if (size < 0 || (size > 0 && data == nullptr)) return MP_FAIL;
  const int32_t time = clampTime(position);
  const int32_t type = pin->description->datatype == MP_DT_MIDI ? MP_EVENT_MIDI : MP_EVENT_PIN_VALUE;
  for (const Endpoint& t : pin->targets) {
    Instance& target = *instances_[static_cast<size_t>(t.instance)];
    // Outside a block (while opening) everything waits for the first block.
    const bool late = running_ < 0 || target.position <= inst.position;
    queueEvent(target, late, time, type, t.pin, data, size);
  }
  // A parameter hears of it on the GUI thread, after the block.
  if (pin->parameter >= 0) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    gui_.post({GuiDelivery::Kind::Parameter, pin->parameter, pin->field, index, pinIndex,
               size > 0 ? RawValue(bytes, bytes + size) : RawValue(), 0});
  }
  for (int sink : pin->midiSinks)
    midiSinks_[static_cast<size_t>(sink)].push(time, static_cast<const uint8_t*>(data), size);
  return MP_OK;
}

int32_t Engine::onSendStreaming(int index, int32_t position, int32_t pinIndex, bool streaming) {
  if (index < 0 || index >= instanceCount()) return MP_FAIL;
  Instance& inst = *instances_[static_cast<size_t>(index)];
  const PinState* pin = inst.pin(pinIndex);
  if (pin == nullptr || !pin->description->output || pin->description->datatype != MP_DT_AUDIO) return MP_FAIL;
  if (pin->output >= 0) {
    OutputState& state = outputStates_[static_cast<size_t>(pin->output)];
    state.known = true;
    state.streaming = streaming;
    state.reportBlock = block_;
    markSumsDirty(state);
    if (!streaming) settling_.push_back({pin->output, block_ + 2});
  }
  const int32_t time = clampTime(position);
  for (const Endpoint& t : pin->targets) {
    Instance& target = *instances_[static_cast<size_t>(t.instance)];
    PinState& in = target.pins[static_cast<size_t>(t.pin)];
    for (size_t k = 0; k < in.audioSources.size(); ++k) {
      if (in.audioSources[k].instance != index || in.audioSources[k].pin != pinIndex) continue;
      const uint8_t now = streaming ? 1 : 0;
      if (in.sourceStreaming[k] != now) in.streamingSources += streaming ? 1 : -1;
      in.sourceStreaming[k] = now;
    }
    // Passed on at every call: a static output that changed its level says so
    // by repeating "not streaming".
    queueStreaming(target, t.pin, running_ < 0 || target.position <= inst.position, time);
  }
  // The level is in the buffer once the module has run.
  if (!pin->levelTargets.empty() && running_ == index) levelReports_.push_back({pinIndex, time});
  return MP_OK;
}

void Engine::onRequestSleep(int index) {
  if (index < 0 || index >= instanceCount()) return;
  Instance& inst = *instances_[static_cast<size_t>(index)];
  if (inst.gui || inst.sleeping) return;
  inst.sleeping = true;
  --groups_[static_cast<size_t>(inst.group)].awake;
  --awakeTotal_;
}

void Engine::deliverLevels(Instance& source) {
  for (const LevelReport& r : levelReports_) {
    const PinState& pin = source.pins[static_cast<size_t>(r.pin)];
    const float level = pin.buffer[r.time];
    for (const Endpoint& t : pin.levelTargets) {
      Instance& target = *instances_[static_cast<size_t>(t.instance)];
      uint8_t bytes[8];
      const int32_t size = numberBytes(target.pins[static_cast<size_t>(t.pin)].description->datatype, level, bytes);
      if (size > 0)
        queueEvent(target, target.position <= source.position, r.time, MP_EVENT_PIN_VALUE, t.pin, bytes, size);
    }
  }
  levelReports_.clear();
}

void Engine::setHostSource(int source, int32_t time, float value) {
  if (source < 0 || source >= static_cast<int>(sources_.size())) return;
  HostSource& s = *sources_[static_cast<size_t>(source)];
  s.changes.emplace_back(time, value);
  if (!s.listed) {
    s.listed = true;
    listedSources_.push_back(source);
  }
}

void Engine::sendMidi(int32_t time, const uint8_t* data, int32_t size) {
  // Given before the block it belongs to, so it joins the queue that block
  // takes over.
  for (const Endpoint& t : midiInputs_) queueEvent(instance(t.instance), true, time, MP_EVENT_MIDI, t.pin, data, size);
}

// Host inputs: a piecewise-constant buffer per source, rewritten only in a
// block that changes it and in the block after (back to one value), and an
// event per change to every target (sent even when the value repeats: a
// trigger is its update). Sources are visited in the order they were added,
// so that events of one instant reach a module in a fixed order.
void Engine::feedHostSources() {
  if (listedSources_.empty()) return;
  sourceScratch_.swap(listedSources_);
  listedSources_.clear();
  std::sort(sourceScratch_.begin(), sourceScratch_.end());
  for (int index : sourceScratch_) {
    HostSource& source = *sources_[static_cast<size_t>(index)];
    source.listed = false;
    if (source.changes.empty()) {
      // A block that changed mid-way left its old value at the start.
      if (!source.uniform) std::fill(source.buffer.begin(), source.buffer.end(), source.value);
      source.uniform = true;
      continue;
    }
    source.uniform = false;
    source.listed = true;
    listedSources_.push_back(index);
    auto& changes = source.changes;
    if (!std::is_sorted(changes.begin(), changes.end(), [](const auto& a, const auto& b) { return a.first < b.first; }))
      std::stable_sort(changes.begin(), changes.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    int32_t from = 0;
    for (const auto& [time, value] : changes) {
      const int32_t t = clampTime(time);
      std::fill(source.buffer.begin() + from, source.buffer.begin() + t, source.value);
      source.value = value;
      from = t;
      for (const Endpoint& e : source.targets) {
        Instance& inst = *instances_[static_cast<size_t>(e.instance)];
        const int32_t datatype = inst.pins[static_cast<size_t>(e.pin)].description->datatype;
        if (datatype == MP_DT_AUDIO) {
          queueStreaming(inst, e.pin, false, t);
        } else {
          uint8_t bytes[8];
          const int32_t size = numberBytes(datatype, value, bytes);
          if (size > 0) queueEvent(inst, false, t, MP_EVENT_PIN_VALUE, e.pin, bytes, size);
        }
      }
    }
    std::fill(source.buffer.begin() + from, source.buffer.end(), source.value);
    changes.clear();
  }
  sourceScratch_.clear();
}

void Engine::markSumsDirty(const OutputState& output) {
  for (int s : output.sums) sums_[static_cast<size_t>(s)].dirty = true;
}

// Outputs that reported "static" two blocks ago become quiet now: the sums
// that read them look again at what to leave out.
void Engine::settleOutputs() {
  size_t kept = 0;
  for (const Settling& s : settling_) {
    if (s.block > block_) {
      settling_[kept++] = s;
      continue;
    }
    const OutputState& output = outputStates_[static_cast<size_t>(s.output)];
    if (output.reportBlock + 2 == s.block) markSumsDirty(output);
  }
  settling_.resize(kept);
}

void Engine::fillSum(Sum& sum) {
  if (sum.dirty) {
    sum.live.clear();
    sum.live.insert(sum.live.end(), sum.hostBuffers.begin(), sum.hostBuffers.end());
    for (int o : sum.outputs) {
      const OutputState& output = outputStates_[static_cast<size_t>(o)];
      if (output.quiet(block_) && output.buffer[0] == 0.0f) continue;
      sum.live.push_back(output.buffer);
    }
    sum.dirty = false;
  }
  float* __restrict out = sum.out;
  const size_t n = sum.length;
  if (sum.live.empty()) {
    if (!sum.zeroed) std::fill_n(out, n, 0.0f);
    sum.zeroed = true;
    return;
  }
  sum.zeroed = false;
  // Added to 0 in connection order, as a sum of every source would be: a
  // source left out is 0 throughout, and x + 0 is x. Four sources a pass
  // keep the running sum in registers without changing the order.
  const float* const* in = sum.live.data();
  const size_t count = sum.live.size();
  size_t k = 1;
  {
    const float* a = in[0];
    for (size_t i = 0; i < n; ++i) out[i] = 0.0f + a[i];
  }
  for (; k + 4 <= count; k += 4) {
    const float* a = in[k];
    const float* b = in[k + 1];
    const float* c = in[k + 2];
    const float* d = in[k + 3];
    for (size_t i = 0; i < n; ++i) out[i] = (((out[i] + a[i]) + b[i]) + c[i]) + d[i];
  }
  for (; k < count; ++k) {
    const float* a = in[k];
    for (size_t i = 0; i < n; ++i) out[i] += a[i];
  }
}

void Engine::run(Instance& inst, int32_t frames) {
  if (inst.sleeping) {
    inst.sleeping = false;
    ++groups_[static_cast<size_t>(inst.group)].awake;
    ++awakeTotal_;
  }
  ++inst.calls;
  EventQueue& queue = inst.now();
  if (queue.empty()) {
    inst.plugin->processBlock(frames, nullptr);
    return;
  }
  inst.plugin->processBlock(frames, queue.handOver(frames));
  queue.clear();
  --groups_[static_cast<size_t>(inst.group)].pending;
  --pendingTotal_;
}

void Engine::processBlock(int32_t frames) {
  if (!prepared_) prepare();
  frames = std::clamp(frames, 1, settings_.blockSize);
  frames_ = frames;
  ++block_;
  // Events queued for this block become this block's.
  for (Instance* inst : lateInstances_) {
    inst->listedLate = false;
    inst->current ^= 1;
    ++groups_[static_cast<size_t>(inst->group)].pending;
    ++pendingTotal_;
  }
  lateInstances_.clear();
  settleOutputs();
  feedHostSources();
  groupsRun_ = 0;
  int lastGroup = -1;
  // With every instance asleep and no event waiting (a patch between
  // notes), not even the groups are looked at.
  const size_t segments = awakeTotal_ > 0 || pendingTotal_ > 0 ? segments_.size() : 0;
  for (const Segment& segment : std::span(segments_.data(), segments)) {
    const Group& group = groups_[static_cast<size_t>(segment.group)];
    if (group.awake == 0 && group.pending == 0) continue;
    if (segment.group != lastGroup) ++groupsRun_;
    lastGroup = segment.group;
    for (size_t k = segment.begin; k < segment.end; ++k) {
      Instance& inst = *audioOrder_[k];
      if (inst.sleeping && inst.now().empty()) continue;
      for (int s : inst.sums) fillSum(sums_[static_cast<size_t>(s)]);
      running_ = inst.index;
      run(inst, frames);
      running_ = -1;
      if (!levelReports_.empty()) deliverLevels(inst);
    }
  }
  for (int s : channelSums_) fillSum(sums_[static_cast<size_t>(s)]);
  // The GUI thread's turn: values from the audio side, then timer ticks.
  gui_.afterBlock(frames);
}

void Engine::takeMidi(int sink, MidiBuffer& out) {
  out.clear();
  if (sink >= 0 && sink < static_cast<int>(midiSinks_.size())) out.swap(midiSinks_[static_cast<size_t>(sink)]);
}

const float* Engine::output(int32_t channel) const {
  if (channel < 0 || channel >= static_cast<int32_t>(outputs_.size())) return nullptr;
  return outputs_[static_cast<size_t>(channel)].data();
}

bool Engine::outputSilent(int32_t channel) const {
  if (channel < 0 || channel >= static_cast<int32_t>(channelSums_.size())) return false;
  return sums_[static_cast<size_t>(channelSums_[static_cast<size_t>(channel)])].zeroed;
}

}  // namespace zvhost
