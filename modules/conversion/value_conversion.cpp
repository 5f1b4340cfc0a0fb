#include "modules/conversion/value_conversion.h"

#include "modules/conversion/number_text.h"
#include "modules/dsp/math.h"

namespace zv::conversion {

bool toBool(int32_t v) { return v != 0; }
bool toBool(float v) { return v > 0.0f; }
bool toBool(const MpString& text) { return text.size() == 1 && text[0] == '1'; }

int32_t toInt(bool v) { return v ? 1 : 0; }
int32_t toInt(float v) { return zv::dsp::truncateTo(static_cast<double>(v), 0); }
int32_t toInt(const MpString& text) { return parseIntPrefix(asciiPrefix(text)); }

float toFloat(bool v) { return v ? 1.0f : 0.0f; }
float toFloat(int32_t v) { return static_cast<float>(v); }
float toFloat(const MpString& text) { return narrowToFloat(parseDoublePrefix(asciiPrefix(text))); }

MpString toText(int32_t v) { return widenAscii(formatInt(v)); }
MpString toText(float v) { return widenAscii(formatFixed(static_cast<double>(v), 6)); }
MpString toText(bool v) { return v ? MpString(1, '1') : MpString(1, '0'); }

MpString toText(const MpBlob& blob) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  MpString text;
  text.reserve(static_cast<size_t>(blob.size()) * 3);
  for (int32_t i = 0; i < blob.size(); ++i) {
    const uint8_t b = blob.data()[i];
    text.push_back(static_cast<MpChar>(kHex[b >> 4]));
    text.push_back(static_cast<MpChar>(kHex[b & 0x0F]));
    text.push_back(' ');
  }
  return text;
}

MpBlob toBlob(const MpString& text) {
  auto digit = [](MpChar c) -> uint8_t {
    if (c >= '0' && c <= '9') return static_cast<uint8_t>(c - '0');
    if (c >= 'A' && c <= 'F') return static_cast<uint8_t>(c - 'A' + 10);
    if (c >= 'a' && c <= 'f') return static_cast<uint8_t>(c - 'a' + 10);
    return 0;  // anything else counts as the digit 0
  };
  std::vector<uint8_t> bytes;
  bytes.reserve(text.size() / 2 + 1);
  bool pending = false;
  for (MpChar c : text) {
    if (c == ' ') continue;
    if (pending) {
      bytes.back() = static_cast<uint8_t>(bytes.back() << 4 | digit(c));
    } else {
      bytes.push_back(digit(c));
    }
    pending = !pending;
  }
  return MpBlob(static_cast<int32_t>(bytes.size()), bytes.data());
}

std::string asciiPrefix(const MpString& text) {
  std::string ascii;
  ascii.reserve(text.size());
  for (MpChar c : text) {
    if (static_cast<uint32_t>(c) >= 0x80 || c == 0) break;
    ascii.push_back(static_cast<char>(c));
  }
  return ascii;
}

}  // namespace zv::conversion
