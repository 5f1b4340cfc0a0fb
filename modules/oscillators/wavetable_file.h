// Reading ".zvw" wavetable files: little-endian 32-bit floats, an 8-value
// header whose value 3 (truncated) must be 2, then the set's values.
#pragma once

#include <cstdint>
#include <cstdio>

#include "frame/wide_text.h"

namespace zv::oscillators {

enum class LoadResult { Missing, BadHeader, Partial, Complete };

// Opens a file named by wide text for binary reading; null when it fails.
std::FILE* openForReading(const MpString& path);

// True when the 8 header values were all read and value 3 passes.
bool headerAccepted(const float* header, size_t valuesRead);

// Loads a file into a set of kSetValues floats. A file with a bad header
// leaves the set untouched; a short one fills what it has (Partial).
LoadResult loadFile(const MpString& path, float* set);

}  // namespace zv::oscillators
