// The first block: every input's initial state, then the graph start; and
// the GUI side's start.
#include <optional>

#include "host/engine.h"
#include "host/engine_graph.h"

namespace zvhost {

void Engine::queueFirstBlock() {
  // In patch order. They go to the queue that the first block takes over,
  // after anything modules sent while opening and ahead of anything GUI
  // modules send while they start.
  for (auto& owned : instances_) {
    Instance& inst = *owned;
    if (inst.gui) continue;
    for (size_t index = 0; index < inst.pins.size(); ++index) {
      const PinState& pin = inst.pins[index];
      if (pin.description == nullptr) continue;
      const PinDescription& d = *pin.description;
      if (d.output || d.datatype == MP_DT_MIDI) continue;
      const auto at = static_cast<int32_t>(index);
      if (d.datatype == MP_DT_AUDIO) {
        queueEvent(inst, true, 0, MP_EVENT_STREAMING_STOP, at, nullptr, 0);
      } else {
        // A host-fed input starts at the host's value, as its audio
        // counterpart does through its buffer.
        std::optional<RawValue> fed;
        if (!pin.hostSources.empty())
          fed = rawFromNumber(d.datatype, sources_[static_cast<size_t>(pin.hostSources.front())]->value);
        const RawValue* value = fed ? &*fed : startValue(pin);
        RawValue zero;
        if (value == nullptr) {
          zero = rawZero(d.datatype);
          value = &zero;
        }
        queueEvent(inst, true, 0, MP_EVENT_PIN_VALUE, at, value->data(), static_cast<int32_t>(value->size()));
      }
    }
    queueEvent(inst, true, 0, MP_EVENT_GRAPH_START, 0, nullptr, 0);
  }
}

void Engine::startGuiSide() {
  gui_.hold(true);
  for (auto& owned : instances_) {
    Instance& inst = *owned;
    if (!inst.gui) continue;
    inst.ui->initializeGui();
    for (size_t index = 0; index < inst.pins.size(); ++index) {
      const PinState& pin = inst.pins[index];
      if (pin.description == nullptr) continue;
      if (const RawValue* start = startValue(pin)) deliverNow(inst, static_cast<int32_t>(index), *start);
    }
  }
  gui_.hold(false);
  gui_.pump();
}

}  // namespace zvhost
