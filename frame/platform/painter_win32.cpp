#include <windows.h>

#include "frame/platform/painter.h"

namespace {

HDC dc(MpDrawingContext context) { return static_cast<HDC>(context); }

}  // namespace

MpPainter::MpPainter(MpDrawingContext context) : context_(context) {}

MpPainter::~MpPainter() {
  if (context_ == nullptr) return;
  if (previousPen_ != nullptr) SelectObject(dc(context_), static_cast<HGDIOBJ>(previousPen_));
  for (void* pen : pens_) DeleteObject(static_cast<HGDIOBJ>(pen));
}

void MpPainter::fillRectangle(int32_t left, int32_t top, int32_t right, int32_t bottom, uint32_t colour) {
  if (context_ == nullptr) return;
  HBRUSH brush = CreateSolidBrush(static_cast<COLORREF>(colour));
  if (brush == nullptr) return;
  const RECT area{left, top, right, bottom};
  FillRect(dc(context_), &area, brush);
  DeleteObject(brush);
}

void MpPainter::usePen(uint32_t colour, int32_t width) {
  if (context_ == nullptr) return;
  HPEN pen = CreatePen(PS_SOLID, width, static_cast<COLORREF>(colour));
  if (pen == nullptr) return;
  HGDIOBJ before = SelectObject(dc(context_), pen);
  if (previousPen_ == nullptr) previousPen_ = before;
  pens_.push_back(pen);
}

void MpPainter::moveTo(int32_t x, int32_t y) {
  if (context_ != nullptr) MoveToEx(dc(context_), x, y, nullptr);
}

void MpPainter::lineTo(int32_t x, int32_t y) {
  if (context_ != nullptr) LineTo(dc(context_), x, y);
}
