#include "host/canvas.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace zvhost {
namespace {

// Where Bresenham's line stands on the minor axis after i major steps:
// i * minor / major, rounded half up. Exact while the products fit.
int64_t minorOffset(int64_t i, int64_t minor, int64_t major) {
  if (major < (int64_t{1} << 30)) return (2 * i * minor + major) / (2 * major);
  return static_cast<int64_t>(
      std::floor((2.0 * static_cast<double>(i) * static_cast<double>(minor) + static_cast<double>(major)) /
                 (2.0 * static_cast<double>(major))));
}

}  // namespace

Canvas::Canvas(int32_t width, int32_t height, uint32_t background)
    : width_(std::max(width, 1)), height_(std::max(height, 1)) {
  rgb_.resize(static_cast<size_t>(width_) * static_cast<size_t>(height_) * 3);
  fillRectangle(0, 0, width_, height_, background);
}

void Canvas::fillRectangle(int32_t left, int32_t top, int32_t right, int32_t bottom, uint32_t colour) {
  const int32_t x0 = std::max(left, 0);
  const int32_t y0 = std::max(top, 0);
  const int32_t x1 = std::min(right, width_);
  const int32_t y1 = std::min(bottom, height_);
  const auto r = static_cast<uint8_t>(colour);
  const auto g = static_cast<uint8_t>(colour >> 8);
  const auto b = static_cast<uint8_t>(colour >> 16);
  for (int32_t y = y0; y < y1; ++y) {
    uint8_t* p = &rgb_[(static_cast<size_t>(y) * static_cast<size_t>(width_) + static_cast<size_t>(x0)) * 3];
    for (int32_t x = x0; x < x1; ++x, p += 3) {
      p[0] = r;
      p[1] = g;
      p[2] = b;
    }
  }
}

void Canvas::setPen(uint32_t colour, int32_t width) {
  pen_ = colour;
  // A pen wider than the image draws no more than one as wide.
  penWidth_ = std::clamp(width, 1, std::max(width_, height_));
}

void Canvas::moveTo(int32_t x, int32_t y) {
  x_ = x;
  y_ = y;
}

void Canvas::dot(int64_t x, int64_t y) {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
  uint8_t* p = &rgb_[(static_cast<size_t>(y) * static_cast<size_t>(width_) + static_cast<size_t>(x)) * 3];
  p[0] = static_cast<uint8_t>(pen_);
  p[1] = static_cast<uint8_t>(pen_ >> 8);
  p[2] = static_cast<uint8_t>(pen_ >> 16);
}

// A wide pen covers a square centred on the point.
void Canvas::plot(int64_t x, int64_t y) {
  if (penWidth_ == 1) {
    dot(x, y);
    return;
  }
  const int64_t from = -(penWidth_ - 1) / 2;
  for (int64_t dy = from; dy < from + penWidth_; ++dy)
    for (int64_t dx = from; dx < from + penWidth_; ++dx) dot(x + dx, y + dy);
}

void Canvas::lineTo(int32_t x, int32_t y) {
  const int64_t x0 = x_;
  const int64_t y0 = y_;
  const int64_t x1 = x;
  const int64_t y1 = y;
  x_ = x;
  y_ = y;
  // A line far outside the image is cut to the part that can show, so that
  // a module's wild coordinates cost no more than the image's size.
  const int64_t margin = penWidth_;
  const int64_t lowX = -margin;
  const int64_t lowY = -margin;
  const int64_t highX = width_ + margin;
  const int64_t highY = height_ + margin;
  const int64_t dx = std::llabs(x1 - x0);
  const int64_t dy = std::llabs(y1 - y0);
  const int64_t steps = std::max(dx, dy);
  int64_t first = 0;
  int64_t last = steps;  // the end point itself is left out
  if (steps > 0 &&
      (std::min(x0, x1) < lowX || std::max(x0, x1) > highX || std::min(y0, y1) < lowY || std::max(y0, y1) > highY)) {
    // The steps along the major axis in which the line is inside the box.
    double enter = 0.0;
    double leave = static_cast<double>(steps);
    auto clip = [&](double start, double delta, double low, double high) {
      const double perStep = delta / static_cast<double>(steps);
      if (perStep == 0.0) {
        if (start < low || start > high) leave = -1.0;
        return;
      }
      double a = (low - start) / perStep;
      double b = (high - start) / perStep;
      if (a > b) std::swap(a, b);
      enter = std::max(enter, a);
      leave = std::min(leave, b);
    };
    clip(static_cast<double>(x0), static_cast<double>(x1 - x0), static_cast<double>(lowX), static_cast<double>(highX));
    clip(static_cast<double>(y0), static_cast<double>(y1 - y0), static_cast<double>(lowY), static_cast<double>(highY));
    if (leave < enter) return;
    first = static_cast<int64_t>(std::floor(enter));
    last = std::min(steps, static_cast<int64_t>(std::ceil(leave)) + 1);
  }
  // Bresenham: one point per step of the major axis.
  const int64_t sx = x1 >= x0 ? 1 : -1;
  const int64_t sy = y1 >= y0 ? 1 : -1;
  for (int64_t i = first; i < last; ++i) {
    int64_t px;
    int64_t py;
    if (dx >= dy) {
      px = x0 + sx * i;
      py = y0 + sy * minorOffset(i, dy, dx);
    } else {
      py = y0 + sy * i;
      px = x0 + sx * minorOffset(i, dx, dy);
    }
    plot(px, py);
  }
}

uint32_t Canvas::pixel(int32_t x, int32_t y) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return 0;
  const uint8_t* p = &rgb_[(static_cast<size_t>(y) * static_cast<size_t>(width_) + static_cast<size_t>(x)) * 3];
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16;
}

void Canvas::place(const Canvas& other, int32_t x, int32_t y) {
  for (int32_t row = 0; row < other.height_; ++row) {
    const int32_t ty = y + row;
    if (ty < 0 || ty >= height_) continue;
    const int32_t from = std::max(0, -x);
    const int32_t to = std::min(other.width_, width_ - x);
    if (from >= to) continue;
    const uint8_t* src = &other.rgb_[(static_cast<size_t>(row) * static_cast<size_t>(other.width_) + from) * 3];
    uint8_t* dst = &rgb_[(static_cast<size_t>(ty) * static_cast<size_t>(width_) + static_cast<size_t>(x + from)) * 3];
    std::copy(src, src + static_cast<size_t>(to - from) * 3, dst);
  }
}

}  // namespace zvhost
