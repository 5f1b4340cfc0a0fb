// Without GDI the drawing context is the host's canvas.
#include "frame/platform/painter.h"

namespace {

IMpCanvas* canvas(MpDrawingContext context) { return static_cast<IMpCanvas*>(context); }

}  // namespace

MpPainter::MpPainter(MpDrawingContext context) : context_(context) {}

MpPainter::~MpPainter() = default;

void MpPainter::fillRectangle(int32_t left, int32_t top, int32_t right, int32_t bottom, uint32_t colour) {
  if (context_ != nullptr) canvas(context_)->fillRectangle(left, top, right, bottom, colour);
}

void MpPainter::usePen(uint32_t colour, int32_t width) {
  if (context_ != nullptr) canvas(context_)->setPen(colour, width);
}

void MpPainter::moveTo(int32_t x, int32_t y) {
  if (context_ != nullptr) canvas(context_)->moveTo(x, y);
}

void MpPainter::lineTo(int32_t x, int32_t y) {
  if (context_ != nullptr) canvas(context_)->lineTo(x, y);
}
