// The run order: every audio-side instance after the instances that feed
// it, and the runs of one group that a block can pass over whole.
#include <functional>
#include <queue>

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
  // side by side. The ready ones wait in a heap, each instance counting
  // the predecessors it still waits for.
  std::vector<int> waiting(static_cast<size_t>(n));
  std::vector<std::vector<int>> successors(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) {
    for (int p : predecessors[static_cast<size_t>(i)]) successors[static_cast<size_t>(p)].push_back(i);
    waiting[static_cast<size_t>(i)] = static_cast<int>(predecessors[static_cast<size_t>(i)].size());
  }
  std::priority_queue<int, std::vector<int>, std::greater<>> ready;
  for (int i = 0; i < n; ++i)
    if (waiting[static_cast<size_t>(i)] == 0) ready.push(i);
  std::vector<bool> placed(static_cast<size_t>(n), false);
  int lowestUnplaced = 0;
  order_.clear();
  while (static_cast<int>(order_.size()) < n) {
    int chosen = -1;
    while (!ready.empty() && chosen < 0) {
      chosen = ready.top();
      ready.pop();
      if (placed[static_cast<size_t>(chosen)]) chosen = -1;  // placed when a cycle was cut
    }
    if (chosen < 0) {
      while (placed[static_cast<size_t>(lowestUnplaced)]) ++lowestUnplaced;
      chosen = lowestUnplaced;
    }
    placed[static_cast<size_t>(chosen)] = true;
    instance(chosen).position = static_cast<int>(order_.size());
    order_.push_back(chosen);
    for (int s : successors[static_cast<size_t>(chosen)])
      if (--waiting[static_cast<size_t>(s)] == 0 && !placed[static_cast<size_t>(s)]) ready.push(s);
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
