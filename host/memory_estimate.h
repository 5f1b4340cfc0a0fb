// What a patch will allocate, reckoned from its text before any module is
// created, so that a patch beyond the machine is refused instead of
// swapping it to a halt.
//
// The host cannot ask a module what it will allocate, so the few that take
// much are known here by identifier (the delay's ten-second line, the
// wavetable sets); every other instance counts a generous default, and each
// file the patch names (a SoundFont bank, a wavetable file) its size, once.
#pragma once

#include <nlohmann/json_fwd.hpp>

#include <cstdint>
#include <string>

#include "host/descriptions.h"
#include "host/engine.h"
#include "host/host_services.h"

namespace zvhost {

struct MemoryEstimate {
  uint64_t bytes = 0;
  // The largest part, for messages: 1000 × "ZV Delay v3", or a file.
  std::string largest;
  uint64_t largestBytes = 0;
};

// Parts of the patch that are malformed are passed over: the patch builder
// reports them.
MemoryEstimate estimatePatchMemory(const nlohmann::json& patch, int32_t voices, const DescriptionSet& descriptions,
                                   const EngineSettings& settings, const FileResolver& files);

}  // namespace zvhost
