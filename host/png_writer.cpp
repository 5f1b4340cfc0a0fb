#include "host/png_writer.h"

#include <png.h>

namespace zvhost {

void writePng(const std::string& path, int32_t width, int32_t height, const std::vector<uint8_t>& rgb) {
  if (width <= 0 || height <= 0 || rgb.size() != static_cast<size_t>(width) * static_cast<size_t>(height) * 3)
    throw PngError(path + ": no image to write");
  // The simplified interface reports errors in the image record instead of
  // jumping out of C code.
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(width);
  image.height = static_cast<png_uint_32>(height);
  image.format = PNG_FORMAT_RGB;
  if (png_image_write_to_file(&image, path.c_str(), 0, rgb.data(), 0, nullptr) == 0) {
    const std::string problem = image.message[0] != 0 ? image.message : "cannot write";
    png_image_free(&image);  // libpng has removed what it wrote
    throw PngError(path + ": " + problem);
  }
}

}  // namespace zvhost
