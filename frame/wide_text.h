// Wide (UTF-16) text used inside the library, and conversions for the few
// places that meet 8-bit text (file names, formatted numbers).
#pragma once

#include <string>
#include <string_view>

#include "frame/interfaces.h"

using MpString = std::basic_string<MpChar>;
using MpStringView = std::basic_string_view<MpChar>;

// Latin-1/ASCII text widened code unit by code unit.
MpString widenAscii(std::string_view text);
// UTF-16 to UTF-8 (unpaired surrogates become U+FFFD).
std::string toUtf8(MpStringView text);
// UTF-8 to UTF-16 (malformed bytes become U+FFFD).
MpString fromUtf8(std::string_view text);
// Length of a nul-terminated wide text; 0 for null.
size_t wideLength(const MpChar* text);
