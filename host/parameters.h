// The patch's parameters (host/patch.h says how a patch writes them): bound
// to the engine's parameter store, given their values from the patch, a
// preset and the command line, and read back for listing and saving.
#pragma once

#include <nlohmann/json_fwd.hpp>

#include <map>
#include <string>
#include <vector>

#include "host/engine.h"
#include "host/patch.h"

namespace zvhost {

// The instances of each named module: one for a module of the patch's own
// section, one per voice for a voice module.
using ModuleInstances = std::map<std::string, std::vector<ModuleSides>>;

// Reads "parameters" and "presets" (every preset is checked, the chosen
// one applied) and the settings "NAME=VALUE", into built. Errors throw
// PatchError naming the place and the parameter.
void buildParameters(const nlohmann::json& root, Engine& engine, const ModuleInstances& modules,
                     const std::string& file, const std::string& preset, const std::vector<std::string>& settings,
                     BuiltPatch& built);

// A value as the listing shows it: floats in the fewest digits that read
// back as the same float ("C" locale), text quoted.
std::string parameterText(int32_t datatype, const RawValue& value);
// What `zvhost params` prints: a line per parameter, then the presets.
std::string listParameters(const Engine& engine, const BuiltPatch& built);
// Every parameter's value now, as a JSON object by name (NaN and the
// infinities as the texts "nan", "inf" and "-inf").
std::string parameterValuesJson(const Engine& engine, const BuiltPatch& built);

}  // namespace zvhost
