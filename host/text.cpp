#include "host/text.h"

#include "frame/host_support.h"

namespace zvhost {

WideString utf8ToWide(std::string_view text) { return mpUtf16FromUtf8(text); }

std::string wideToUtf8(std::basic_string_view<MpChar> text) { return mpUtf8FromUtf16(text); }

size_t wideLength(const MpChar* text, size_t limit) {
  if (text == nullptr) return 0;
  size_t n = 0;
  while (n < limit && text[n] != 0) ++n;
  return n;
}

}  // namespace zvhost
