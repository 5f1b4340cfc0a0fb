// Buffer planning: which buffer each audio pin is given, fixed once.
//
// Outputs own a buffer. An input with one source reads that source's
// buffer in place, a module's output or a host input alike; an input with
// several sources, or fed by its own module (read in place, the input would
// change under the module while it writes, instead of lagging a block),
// owns a buffer that a Sum fills before the module runs. An input with no
// source owns a buffer holding its constant.
#include "host/engine.h"
#include "host/engine_graph.h"

namespace zvhost {

void Engine::planBuffers() {
  const auto blockSize = static_cast<size_t>(settings_.blockSize);
  outputStates_.clear();
  sums_.clear();
  channelSums_.clear();
  for (Instance* inst : audioOrder_) {
    for (PinState& pin : inst->pins) {
      if (pin.description == nullptr || pin.description->datatype != MP_DT_AUDIO || !pin.description->output) continue;
      pin.own.assign(blockSize, 0.0f);
      pin.buffer = pin.own.data();
      pin.output = static_cast<int>(outputStates_.size());
      outputStates_.push_back(OutputState{});
      outputStates_.back().buffer = pin.buffer;
    }
  }
  auto outputOf = [&](const Endpoint& e) { return instance(e.instance).pins[static_cast<size_t>(e.pin)].output; };
  auto addSum = [&](float* out, const std::vector<int>& hostSources, const std::vector<Endpoint>& audioSources) {
    Sum sum;
    sum.out = out;
    sum.length = blockSize;
    for (int s : hostSources) sum.hostBuffers.push_back(sources_[static_cast<size_t>(s)]->buffer.data());
    for (const Endpoint& e : audioSources) sum.outputs.push_back(outputOf(e));
    sum.live.reserve(sum.hostBuffers.size() + sum.outputs.size());
    const int index = static_cast<int>(sums_.size());
    for (int o : sum.outputs) {
      auto& readers = outputStates_[static_cast<size_t>(o)].sums;
      if (readers.empty() || readers.back() != index) readers.push_back(index);
    }
    sums_.push_back(std::move(sum));
    return index;
  };

  for (Instance* inst : audioOrder_) {
    inst->sums.clear();
    for (PinState& pin : inst->pins) {
      if (pin.description == nullptr || pin.description->datatype != MP_DT_AUDIO || pin.description->output) continue;
      const size_t modules = pin.audioSources.size();
      const size_t hosts = pin.hostSources.size();
      if (modules == 1 && hosts == 0 && pin.audioSources[0].instance != inst->index) {
        pin.buffer = pinState(pin.audioSources[0], "connection").buffer;
      } else if (modules == 0 && hosts == 1) {
        pin.buffer = sources_[static_cast<size_t>(pin.hostSources[0])]->buffer.data();
      } else {
        pin.own.assign(blockSize, pin.constant);
        pin.buffer = pin.own.data();
        if (modules + hosts > 0) inst->sums.push_back(addSum(pin.buffer, pin.hostSources, pin.audioSources));
      }
    }
  }
  for (size_t c = 0; c < outputs_.size(); ++c) channelSums_.push_back(addSum(outputs_[c].data(), {}, outputSinks_[c]));

  for (Instance* inst : audioOrder_) {
    for (size_t index = 0; index < inst->pins.size(); ++index) {
      const PinState& pin = inst->pins[index];
      if (pin.description == nullptr || pin.description->datatype != MP_DT_AUDIO) continue;
      if (inst->plugin->attachPinBuffer(static_cast<int32_t>(index), pin.buffer) != MP_OK)
        throw EngineError("\"" + inst->label + "\" (" + inst->description->id + ") refuses a buffer for audio pin " +
                          std::to_string(index) + ": its description does not match the library");
    }
  }
}

}  // namespace zvhost
