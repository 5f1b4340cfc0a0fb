#include "modules/conversion/float_formula.h"

#include "modules/conversion/number_text.h"

namespace zv::conversion {

float formulaOutput(double result) { return result != result ? 0.0f : narrowToFloat(result); }

std::string formulaText(const MpString& text) {
  std::string utf8 = toUtf8(text);
  return utf8.empty() ? std::string("0") : utf8;
}

}  // namespace zv::conversion

using zv::conversion::formulaOutput;
using zv::conversion::formulaText;

FloatFormula::FloatFormula(IMpUnknown* host) : MpBase(host) {
  registerPin(A, a_);
  registerPin(B, b_);
  registerPin(FORMULA_B, formulaB_);
}

void FloatFormula::pinsUpdated() {
  if (formulaB_.isUpdated()) formula_ = formulaText(formulaB_);
  evaluator_.setVariable("a", static_cast<double>(a_.getValue()));
  double result = 0.0;
  evaluator_.evaluate(formula_, result);
  b_ = formulaOutput(result);
}

FloatFormulaGui::FloatFormulaGui(IMpUnknown* host) : MpGuiBase(host) {
  a_.initialize(this, A, &FloatFormulaGui::onA);
  b_.initialize(this, B, &FloatFormulaGui::onB);
  formulaA_.initialize(this, FORMULA_A, &FloatFormulaGui::onFormulaA);
  formulaB_.initialize(this, FORMULA_B, &FloatFormulaGui::onFormulaB);
}

float FloatFormulaGui::apply(const std::string& formula, const char* variable, float value) {
  evaluator_.setVariable(variable, static_cast<double>(value));
  double result = 0.0;
  evaluator_.evaluate(formula, result);
  return formulaOutput(result);
}

void FloatFormulaGui::onA() { b_ = apply(formulaBText_, "a", a_); }
void FloatFormulaGui::onB() { a_ = apply(formulaAText_, "b", b_); }

void FloatFormulaGui::onFormulaA() {
  formulaAText_ = formulaText(formulaA_);
  onB();
}

void FloatFormulaGui::onFormulaB() {
  formulaBText_ = formulaText(formulaB_);
  onA();
}
