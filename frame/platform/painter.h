// Drawing on the context a host hands to drawGraphics: a GDI device context
// on Windows, the host's IMpCanvas elsewhere. Coordinates are relative to the
// module's rectangle; colours are 0x00BBGGRR. Rectangles leave out their
// right and bottom edges and lines their end point, on both.
//
// Everything created through a painter is deleted, and the pen that was
// selected before is selected back, when the painter goes.
#pragma once

#include <cstdint>
#include <vector>

#include "frame/interfaces.h"

class MpPainter {
 public:
  explicit MpPainter(MpDrawingContext context);
  ~MpPainter();
  MpPainter(const MpPainter&) = delete;
  MpPainter& operator=(const MpPainter&) = delete;

  void fillRectangle(int32_t left, int32_t top, int32_t right, int32_t bottom, uint32_t colour);
  // Creates a solid pen and draws the following lines with it.
  void usePen(uint32_t colour, int32_t width);
  void moveTo(int32_t x, int32_t y);
  void lineTo(int32_t x, int32_t y);

 private:
  MpDrawingContext context_;
  [[maybe_unused]] void* previousPen_ = nullptr;
  [[maybe_unused]] std::vector<void*> pens_;
};
