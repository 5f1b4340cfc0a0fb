// "SE Float Function DSP" and "SE Float Function GUI": B computed from A by a
// formula (variable a), and on the GUI side A from B by a second formula
// (variable b). A formula that fails or gives NaN gives 0. Variables that a
// formula assigns persist in the module's evaluator.
#pragma once

#include <string>

#include "frame/gui_base.h"
#include "frame/pins.h"
#include "modules/conversion/evaluator.h"

namespace zv::conversion {

// The output for a formula result: 0 for NaN, beyond the float range
// ±infinity.
float formulaOutput(double result);

// The formula as the evaluator reads it: UTF-8 (invalid units replaced),
// "0" for an empty text.
std::string formulaText(const MpString& text);

}  // namespace zv::conversion

class FloatFormula : public MpBase {
 public:
  enum Pin { A, B, FORMULA_B };

  explicit FloatFormula(IMpUnknown* host);
  void pinsUpdated() override;

 private:
  FloatInPin a_;
  FloatOutPin b_;
  StringInPin formulaB_;
  zv::conversion::Evaluator evaluator_;
  std::string formula_;
};

class FloatFormulaGui : public MpGuiBase {
 public:
  enum Pin { A, B, FORMULA_A, FORMULA_B };

  explicit FloatFormulaGui(IMpUnknown* host);

 private:
  void onA();
  void onB();
  void onFormulaA();
  void onFormulaB();
  float apply(const std::string& formula, const char* variable, float value);

  GuiFloatPin a_;
  GuiFloatPin b_;
  GuiStringPin formulaA_;
  GuiStringPin formulaB_;
  zv::conversion::Evaluator evaluator_;
  std::string formulaAText_ = "0";
  std::string formulaBText_ = "0";
};
