// The run order: every audio-side instance after the instances that feed
// it, and the runs of one group that a block can pass over whole.
#include <algorithm>

#include "host/engine.h"
#include "host/engine_graph.h"

namespace zvhost {

void Engine::computeOrder() {
  const int n = instanceCount();
  // Predecessors through audio-side connections; GUI links do not order.
  std::vector<std::vector<int>> predecessors(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) {
    Instance& inst = instance(i);
    if (inst.gui) continue;
    for (const PinState& pin : inst.pins)
      for (const auto* targets : {&pin.targets, &pin.levelTargets})
        for (const Endpoint& t : *targets)
          if (t.instance != i && !instance(t.instance).gui) predecessors[static_cast<size_t>(t.instance)].push_back(i);
  }
  // Lowest patch index first among the ready ones; a cycle is cut at its
  // lowest-index member, whose late inputs then arrive a block late. Voice
  // sections are added voice by voice, so each voice's instances come out
  // side by side.
  std::vector<bool> placed(static_cast<size_t>(n), false);
  order_.clear();
  while (static_cast<int>(order_.size()) < n) {
    int chosen = -1;
    for (int i = 0; i < n && chosen < 0; ++i) {
      if (placed[static_cast<size_t>(i)]) continue;
      const auto& before = predecessors[static_cast<size_t>(i)];
      if (std::all_of(before.begin(), before.end(), [&](int p) { return placed[static_cast<size_t>(p)]; })) chosen = i;
    }
    for (int i = 0; i < n && chosen < 0; ++i)
      if (!placed[static_cast<size_t>(i)]) chosen = i;
    placed[static_cast<size_t>(chosen)] = true;
    instance(chosen).position = static_cast<int>(order_.size());
    order_.push_back(chosen);
  }

  audioOrder_.clear();
  segments_.clear();
  for (int i : order_) {
    Instance* inst = &instance(i);
    if (inst->gui) continue;
    if (segments_.empty() || segments_.back().group != inst->group)
      segments_.push_back({inst->group, audioOrder_.size(), audioOrder_.size()});
    audioOrder_.push_back(inst);
    segments_.back().end = audioOrder_.size();
  }
}

}  // namespace zvhost
