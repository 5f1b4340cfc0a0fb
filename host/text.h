// UTF-8 <-> UTF-16 for the host side of the boundary (file names, pin text).
#pragma once

#include <string>
#include <string_view>

#include "frame/interfaces.h"

namespace zvhost {

using WideString = std::basic_string<MpChar>;

// Malformed input becomes U+FFFD; never reads past the end.
WideString utf8ToWide(std::string_view text);
std::string wideToUtf8(std::basic_string_view<MpChar> text);
// Length of a nul-terminated wide text, at most limit units (0 for null).
size_t wideLength(const MpChar* text, size_t limit);

}  // namespace zvhost
