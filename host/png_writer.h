// PNG files of 8-bit RGB images, through libpng.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace zvhost {

struct PngError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// rgb holds width x height pixels of R, G, B bytes, top row first. Throws
// PngError naming the file and the problem; no partial file is left.
void writePng(const std::string& path, int32_t width, int32_t height, const std::vector<uint8_t>& rgb);

}  // namespace zvhost
