// A file name resolved into a full path by the host (audio or GUI side:
// both take the same call). Hosts differ in what they return, so only the
// characters count, and they are not trusted: the buffer is zeroed and
// terminated by us, and an empty answer or one that fills the buffer
// (perhaps cut short) counts as a failure, giving an empty text.
#pragma once

#include <cstdint>

#include "frame/interfaces.h"
#include "frame/wide_text.h"

namespace zv::gui {

constexpr int32_t kPathCapacity = 260;

template <class Host>
MpString resolvedPath(Host* host, const MpString& fileName) {
  MpChar buffer[kPathCapacity] = {};
  host->resolveFilePath(fileName.c_str(), kPathCapacity, buffer);
  buffer[kPathCapacity - 1] = 0;
  const size_t length = wideLength(buffer);
  if (length == 0 || length >= kPathCapacity - 1) return {};
  return MpString(buffer, length);
}

}  // namespace zv::gui
