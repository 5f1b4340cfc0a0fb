#include "host/png_writer.h"

#include <png.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace zvhost {
namespace {

struct ErrorText {
  char text[256];
};

void onError(png_structp png, png_const_charp message) {
  auto* error = static_cast<ErrorText*>(png_get_error_ptr(png));
  std::snprintf(error->text, sizeof error->text, "%s", message);
  png_longjmp(png, 1);
}

void onWarning(png_structp, png_const_charp) {}

// libpng reports errors by a long jump back here: nothing between the
// setjmp and the jump needs destroying but libpng's own records.
bool encode(std::FILE* file, int32_t width, int32_t height, const uint8_t* rgb, ErrorText& error) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &error, onError, onWarning);
  if (png == nullptr) return false;
  png_infop info = png_create_info_struct(png);
  if (info == nullptr) {
    png_destroy_write_struct(&png, nullptr);
    return false;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_init_io(png, file);
  png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8, PNG_COLOR_TYPE_RGB,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  // Scope pictures are flat colours and lines: the fastest compression and
  // one filter cost a fraction of the default's time for a few more bytes.
  png_set_compression_level(png, 1);
  png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
  png_write_info(png, info);
  const size_t stride = static_cast<size_t>(width) * 3;
  for (int32_t y = 0; y < height; ++y) png_write_row(png, rgb + static_cast<size_t>(y) * stride);
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

}  // namespace

void writePng(const std::string& path, int32_t width, int32_t height, const std::vector<uint8_t>& rgb) {
  if (width <= 0 || height <= 0 || rgb.size() != static_cast<size_t>(width) * static_cast<size_t>(height) * 3)
    throw PngError(path + ": no image to write");
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) throw PngError(path + ": cannot write: " + std::strerror(errno));
  ErrorText error{};
  std::snprintf(error.text, sizeof error.text, "out of memory");
  const bool encoded = encode(file, width, height, rgb.data(), error);
  const bool closed = std::fclose(file) == 0;
  if (!encoded || !closed) {
    std::remove(path.c_str());
    throw PngError(path + ": cannot write: " + (encoded ? std::strerror(errno) : error.text));
  }
}

}  // namespace zvhost
