// The drawing surface zvhost hands to GUI modules outside Windows: an RGB
// image behind IMpCanvas that draws as GDI does (rectangles leave out their
// right and bottom edges, lines their end point), clipped to the image.
#pragma once

#include <cstdint>
#include <vector>

#include "frame/interfaces.h"

namespace zvhost {

// Colours are 0x00BBGGRR, as the library gives them.
constexpr uint32_t kPanelBackground = 0x00261E1A;

class Canvas final : public IMpCanvas {
 public:
  // Sizes below 1 become 1.
  Canvas(int32_t width, int32_t height, uint32_t background = kPanelBackground);

  void MP_STDCALL fillRectangle(int32_t left, int32_t top, int32_t right, int32_t bottom, uint32_t colour) override;
  void MP_STDCALL setPen(uint32_t colour, int32_t width) override;
  void MP_STDCALL moveTo(int32_t x, int32_t y) override;
  void MP_STDCALL lineTo(int32_t x, int32_t y) override;

  int32_t width() const { return width_; }
  int32_t height() const { return height_; }
  // 0x00BBGGRR; outside the image, 0.
  uint32_t pixel(int32_t x, int32_t y) const;
  // Rows of R, G, B bytes, top first.
  const std::vector<uint8_t>& rgb() const { return rgb_; }
  // Copies the whole of another canvas with its top left at (x, y).
  void place(const Canvas& other, int32_t x, int32_t y);

 private:
  void plot(int64_t x, int64_t y);
  void dot(int64_t x, int64_t y);

  int32_t width_;
  int32_t height_;
  std::vector<uint8_t> rgb_;
  uint32_t pen_ = 0;
  int32_t penWidth_ = 1;
  int32_t x_ = 0;
  int32_t y_ = 0;
};

}  // namespace zvhost
