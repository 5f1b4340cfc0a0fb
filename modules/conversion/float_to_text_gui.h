// "SE FloatToText GUI": a float shown as text with a chosen number of
// decimals, or with a number chosen from the size of the value (-1). Text
// typed into the output is read back into the float.
#pragma once

#include <cstdint>

#include "frame/gui_base.h"

class FloatToTextGui : public MpGuiBase {
 public:
  enum Pin { FLOAT_VALUE, DECIMAL_PLACES, TEXT_VALUE };

  explicit FloatToTextGui(IMpUnknown* host);

 private:
  void onValueOrPlaces();
  void onText();

  GuiFloatPin value_;
  GuiIntPin places_;
  GuiStringPin text_;
  // What the last text sent reads back as, so that its echo is not taken
  // for a typed value; none before the first text.
  float sentTextValue_ = 0.0f;
  bool hasSentText_ = false;
};

namespace zv::conversion {

// Decimals for a Decimal Places setting: -1 chooses by size (NaN, which has
// no size, gets 0); other values are limited to 0..149, enough for every
// float to print exactly.
int32_t decimalPlaces(int32_t setting, float v);

// The value with those decimals; a negative value that prints as zero loses
// its minus sign.
MpString formatWithPlaces(float v, int32_t places);

}  // namespace zv::conversion
