#include "frame/wide_text.h"

#include "frame/host_support.h"

MpString widenAscii(std::string_view text) {
  MpString out;
  out.reserve(text.size());
  for (unsigned char c : text) out.push_back(static_cast<MpChar>(c));
  return out;
}

std::string toUtf8(MpStringView text) { return mpUtf8FromUtf16(text); }

MpString fromUtf8(std::string_view text) { return mpUtf16FromUtf8(text); }

size_t wideLength(const MpChar* text) {
  if (text == nullptr) return 0;
  size_t n = 0;
  while (text[n] != 0) ++n;
  return n;
}
