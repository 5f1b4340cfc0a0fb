#include "host/scope_sheet.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace zvhost {
namespace {

std::vector<int64_t> dueTimes(double every, int64_t total, float sampleRate) {
  std::vector<int64_t> due;
  if (every > 0.0) {
    for (int64_t k = 1;; ++k) {
      const double at = std::round(static_cast<double>(k) * every * sampleRate);
      if (!(at < static_cast<double>(total))) break;
      if (due.size() + 1 >= ScopeSheet::kMostFrames)
        throw ScopeSheetError("a frame every " + std::to_string(every) + " s makes more than " +
                              std::to_string(ScopeSheet::kMostFrames) + " frames");
      due.push_back(static_cast<int64_t>(at));
    }
  }
  due.push_back(total);
  return due;
}

int32_t columns(size_t frames) { return static_cast<int32_t>(std::min<size_t>(frames, ScopeSheet::kColumns)); }

int32_t rows(size_t frames) { return static_cast<int32_t>((frames + ScopeSheet::kColumns - 1) / ScopeSheet::kColumns); }

int32_t extent(int32_t count, int32_t size) { return count * size + (count - 1) * ScopeSheet::kGap; }

// Sizes are checked before the sheet is made.
Canvas makeSheet(int32_t width, int32_t height, size_t frames) {
  const int64_t w = int64_t{columns(frames)} * (width + ScopeSheet::kGap);
  const int64_t h = int64_t{rows(frames)} * (height + ScopeSheet::kGap);
  if (w * h > ScopeSheet::kMostPixels)
    throw ScopeSheetError(std::to_string(frames) + " frames of " + std::to_string(width) + "x" +
                          std::to_string(height) + " make too large a sheet; take fewer or smaller frames");
  return Canvas(extent(columns(frames), width), extent(rows(frames), height), 0);
}

}  // namespace

ScopeSheet::ScopeSheet(int32_t frameWidth, int32_t frameHeight, double every, int64_t total, float sampleRate)
    : frameWidth_(frameWidth),
      frameHeight_(frameHeight),
      due_(dueTimes(every, total, sampleRate)),
      sheet_(makeSheet(frameWidth, frameHeight, due_.size())) {}

void ScopeSheet::draw(Engine& engine, int instance) {
  Canvas frame(frameWidth_, frameHeight_);
  engine.drawGui(instance, frame, frameWidth_, frameHeight_);
  const auto k = static_cast<int32_t>(taken_);
  sheet_.place(frame, (k % kColumns) * (frameWidth_ + kGap), (k / kColumns) * (frameHeight_ + kGap));
  ++taken_;
}

void ScopeSheet::advance(Engine& engine, int instance, int64_t done) {
  // The last frame waits for finish(): the render may not have ended.
  while (taken_ + 1 < due_.size() && due_[taken_] <= done) draw(engine, instance);
}

void ScopeSheet::finish(Engine& engine, int instance) {
  while (taken_ < due_.size()) draw(engine, instance);
}

}  // namespace zvhost
