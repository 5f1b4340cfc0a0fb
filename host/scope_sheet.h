// What zvhost shows of a drawing GUI module (the scope): one frame at the
// end of the render, or a contact sheet of frames taken every so many
// seconds of rendered time, and the last one at the end.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <vector>

#include "host/canvas.h"
#include "host/engine.h"

namespace zvhost {

struct ScopeSheetError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

class ScopeSheet {
 public:
  static constexpr int32_t kColumns = 4;
  static constexpr int32_t kGap = 4;  // pixels between frames
  static constexpr int64_t kMostPixels = int64_t{64} << 20;
  static constexpr size_t kMostFrames = 1000;

  // Frames due at every `every` seconds (0: none) of a render of total
  // samples, and at its end. Refuses more than kMostFrames frames or a
  // sheet of more than kMostPixels.
  ScopeSheet(int32_t frameWidth, int32_t frameHeight, double every, int64_t total, float sampleRate);

  // After `done` samples: draws the frames that have fallen due.
  void advance(Engine& engine, int instance, int64_t done);
  // Draws whatever is still due (the last frame).
  void finish(Engine& engine, int instance);

  const std::vector<int64_t>& due() const { return due_; }
  const Canvas& image() const { return sheet_; }

 private:
  void draw(Engine& engine, int instance);

  int32_t frameWidth_;
  int32_t frameHeight_;
  std::vector<int64_t> due_;  // sample counts at which frames are taken
  size_t taken_ = 0;
  Canvas sheet_;
};

}  // namespace zvhost
