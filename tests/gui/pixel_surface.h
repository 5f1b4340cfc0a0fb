// A small image to draw GUI modules on, read back pixel by pixel: a GDI
// memory device context on Windows, an IMpCanvas over a pixel array
// elsewhere (rectangles without their right and bottom edges, lines without
// their end point, as GDI draws them).
#pragma once

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "frame/interfaces.h"

#if defined(_WIN32)
#include <windows.h>

class PixelSurface {
 public:
  PixelSurface(int32_t width, int32_t height, uint32_t colour) : width_(width), height_(height) {
    dc_ = CreateCompatibleDC(nullptr);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    previous_ = SelectObject(dc_, bitmap_);
    HBRUSH brush = CreateSolidBrush(colour);
    const RECT all{0, 0, width, height};
    FillRect(dc_, &all, brush);
    DeleteObject(brush);
  }
  ~PixelSurface() {
    SelectObject(dc_, previous_);
    DeleteObject(bitmap_);
    DeleteDC(dc_);
  }
  PixelSurface(const PixelSurface&) = delete;
  PixelSurface& operator=(const PixelSurface&) = delete;

  MpDrawingContext context() { return dc_; }
  uint32_t pixel(int32_t x, int32_t y) const { return GetPixel(dc_, x, y); }
  int32_t width() const { return width_; }
  int32_t height() const { return height_; }

 private:
  int32_t width_, height_;
  HDC dc_;
  HBITMAP bitmap_;
  HGDIOBJ previous_;
};

#else

class PixelSurface : public IMpCanvas {
 public:
  PixelSurface(int32_t width, int32_t height, uint32_t colour)
      : width_(width), height_(height), pixels_(static_cast<size_t>(width) * height, colour) {}

  MpDrawingContext context() { return static_cast<IMpCanvas*>(this); }
  uint32_t pixel(int32_t x, int32_t y) const { return pixels_[static_cast<size_t>(y) * width_ + x]; }
  int32_t width() const { return width_; }
  int32_t height() const { return height_; }

  void fillRectangle(int32_t left, int32_t top, int32_t right, int32_t bottom, uint32_t colour) override {
    for (int32_t y = top; y < bottom; ++y)
      for (int32_t x = left; x < right; ++x) plot(x, y, colour);
  }
  void setPen(uint32_t colour, int32_t) override { pen_ = colour; }
  void moveTo(int32_t x, int32_t y) override {
    x_ = x;
    y_ = y;
  }
  void lineTo(int32_t x, int32_t y) override {
    // Bresenham from the current position, leaving out the end point.
    const int32_t dx = std::abs(x - x_), dy = -std::abs(y - y_);
    const int32_t sx = x_ < x ? 1 : -1, sy = y_ < y ? 1 : -1;
    int32_t error = dx + dy, px = x_, py = y_;
    while (px != x || py != y) {
      plot(px, py, pen_);
      const int32_t twice = 2 * error;
      if (twice >= dy) {
        error += dy;
        px += sx;
      }
      if (twice <= dx) {
        error += dx;
        py += sy;
      }
    }
    x_ = x;
    y_ = y;
  }

 private:
  void plot(int32_t x, int32_t y, uint32_t colour) {
    if (x >= 0 && y >= 0 && x < width_ && y < height_) pixels_[static_cast<size_t>(y) * width_ + x] = colour;
  }

  int32_t width_, height_;
  std::vector<uint32_t> pixels_;
  uint32_t pen_ = 0;
  int32_t x_ = 0, y_ = 0;
};

#endif
