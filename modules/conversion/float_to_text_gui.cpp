#include "modules/conversion/float_to_text_gui.h"

#include "modules/conversion/number_text.h"
#include "modules/conversion/value_conversion.h"
#include "modules/dsp/math.h"

namespace zv::conversion {

int32_t decimalPlaces(int32_t setting, float v) {
  if (setting != -1) return setting < 0 ? 0 : (setting > 149 ? 149 : setting);
  const float x = zv::dsp::absOf(v);
  if (x == 0.0f) return 1;
  if (x < 0.1f) return 4;
  if (x <= 10.0f) return 2;
  if (x <= 100.0f) return 1;
  return 0;
}

MpString formatWithPlaces(float v, int32_t places) {
  std::string text = formatFixed(static_cast<double>(v), places);
  if (!text.empty() && text[0] == '-' && v > -1.0f && text.find_first_not_of("0.", 1) == std::string::npos) {
    text.erase(0, 1);
  }
  return widenAscii(text);
}

}  // namespace zv::conversion

FloatToTextGui::FloatToTextGui(IMpUnknown* host) : MpGuiBase(host) {
  value_.initialize(this, FLOAT_VALUE, &FloatToTextGui::onValueOrPlaces);
  places_.initialize(this, DECIMAL_PLACES, &FloatToTextGui::onValueOrPlaces);
  text_.initialize(this, TEXT_VALUE, &FloatToTextGui::onText);
}

void FloatToTextGui::onValueOrPlaces() {
  const MpString text = zv::conversion::formatWithPlaces(value_, zv::conversion::decimalPlaces(places_, value_));
  sentTextValue_ = zv::conversion::toFloat(text);
  hasSentText_ = true;
  text_ = text;
}

void FloatToTextGui::onText() {
  const float typed = zv::conversion::toFloat(text_.getValue());
  if (hasSentText_ && zv::dsp::sameValue(typed, sentTextValue_)) return;
  value_ = typed;
  sentTextValue_ = typed;
  hasSentText_ = true;
}
