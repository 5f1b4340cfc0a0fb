#include "host/text.h"

namespace zvhost {

WideString utf8ToWide(std::string_view text) {
  WideString out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    auto c = static_cast<unsigned char>(text[i]);
    uint32_t code = 0xFFFD;
    size_t length = 1;
    if (c < 0x80) {
      code = c;
    } else if (c >= 0xC2 && c < 0xF5) {
      size_t extra = c < 0xE0 ? 1 : c < 0xF0 ? 2 : 3;
      uint32_t value = c & (0x3F >> extra);
      bool good = i + extra < text.size();
      for (size_t k = 1; good && k <= extra; ++k) {
        auto next = static_cast<unsigned char>(text[i + k]);
        good = (next & 0xC0) == 0x80;
        value = (value << 6) | (next & 0x3F);
      }
      static const uint32_t smallest[] = {0, 0x80, 0x800, 0x10000};
      if (good && value >= smallest[extra] && value <= 0x10FFFF && (value < 0xD800 || value > 0xDFFF)) {
        code = value;
        length = extra + 1;
      }
    }
    if (code >= 0x10000) {
      code -= 0x10000;
      out.push_back(static_cast<MpChar>(0xD800 + (code >> 10)));
      out.push_back(static_cast<MpChar>(0xDC00 + (code & 0x3FF)));
    } else {
      out.push_back(static_cast<MpChar>(code));
    }
    i += length;
  }
  return out;
}

std::string wideToUtf8(std::basic_string_view<MpChar> text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    uint32_t c = static_cast<uint16_t>(text[i]);
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size()) {
      uint32_t low = static_cast<uint16_t>(text[i + 1]);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
        ++i;
      }
    }
    if (c >= 0xD800 && c <= 0xDFFF) c = 0xFFFD;
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (c >> 12)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (c >> 18)));
      out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return out;
}

size_t wideLength(const MpChar* text, size_t limit) {
  if (text == nullptr) return 0;
  size_t n = 0;
  while (n < limit && text[n] != 0) ++n;
  return n;
}

}  // namespace zvhost
