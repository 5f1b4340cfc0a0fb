// What a host may include beside frame/interfaces.h, and the library uses
// too: bases for the three host interfaces that answer every placeholder
// slot, and the UTF-8 <-> UTF-16 conversion for text crossing the boundary.
// Header only, standard library only.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "frame/interfaces.h"

// A host derives from these and implements the documented operations; the
// placeholders, which the library never calls, answer "not supported".
class MpAudioHostBase : public IMpAudioHost {
 public:
  int32_t MP_STDCALL reservedAudioHost7() override { return MP_UNHANDLED; }
  int32_t MP_STDCALL reservedAudioHost10() override { return MP_UNHANDLED; }
  int32_t MP_STDCALL reservedAudioHost11() override { return MP_UNHANDLED; }
  int32_t MP_STDCALL reservedAudioHost12() override { return MP_UNHANDLED; }
  int32_t MP_STDCALL reservedAudioHost13() override { return MP_UNHANDLED; }
  int32_t MP_STDCALL reservedAudioHost14() override { return MP_UNHANDLED; }
  int32_t MP_STDCALL reservedAudioHost15() override { return MP_UNHANDLED; }
  int32_t MP_STDCALL reservedAudioHost16() override { return MP_UNHANDLED; }
};

class MpGuiHostBase : public IMpGuiHost {
 public:
  int32_t MP_STDCALL reservedGuiHost5() override { return MP_UNHANDLED; }
  int32_t MP_STDCALL reservedGuiHost6() override { return MP_UNHANDLED; }
  int32_t MP_STDCALL reservedGuiHost7() override { return MP_UNHANDLED; }
  int32_t MP_STDCALL reservedGuiHost8() override { return MP_UNHANDLED; }
  int32_t MP_STDCALL reservedGuiHost9() override { return MP_UNHANDLED; }
  int32_t MP_STDCALL reservedGuiHost10() override { return MP_UNHANDLED; }
  int32_t MP_STDCALL reservedGuiHost12() override { return MP_UNHANDLED; }
};

class MpGraphicsHostBase : public IMpGraphicsHost {
 public:
  int32_t MP_STDCALL reservedGfxHost4() override { return MP_UNHANDLED; }
  int32_t MP_STDCALL reservedGfxHost5() override { return MP_UNHANDLED; }
  int32_t MP_STDCALL reservedGfxHost6() override { return MP_UNHANDLED; }
  int32_t MP_STDCALL reservedGfxHost8() override { return MP_UNHANDLED; }
};

// UTF-8 to UTF-16. A byte that does not begin a well-formed sequence
// (a stray continuation, an overlong form, a surrogate, a value beyond
// U+10FFFF, a sequence cut short) becomes one U+FFFD and decoding goes on
// at the next byte. Never reads past the end.
inline std::basic_string<MpChar> mpUtf16FromUtf8(std::string_view text) {
  std::basic_string<MpChar> out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    const auto c = static_cast<unsigned char>(text[i]);
    uint32_t code = 0xFFFD;
    size_t length = 1;
    if (c < 0x80) {
      code = c;
    } else if (c >= 0xC2 && c < 0xF5) {
      const size_t extra = c < 0xE0 ? 1 : c < 0xF0 ? 2 : 3;
      uint32_t value = c & (0x3Fu >> extra);
      bool good = i + extra < text.size();
      for (size_t k = 1; good && k <= extra; ++k) {
        const auto next = static_cast<unsigned char>(text[i + k]);
        good = (next & 0xC0) == 0x80;
        value = (value << 6) | (next & 0x3Fu);
      }
      constexpr uint32_t kSmallest[] = {0, 0x80, 0x800, 0x10000};
      if (good && value >= kSmallest[extra] && value <= 0x10FFFF && (value < 0xD800 || value > 0xDFFF)) {
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

// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD.
inline std::string mpUtf8FromUtf16(std::basic_string_view<MpChar> text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    uint32_t c = static_cast<uint16_t>(text[i]);
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size()) {
      const uint32_t low = static_cast<uint16_t>(text[i + 1]);
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
