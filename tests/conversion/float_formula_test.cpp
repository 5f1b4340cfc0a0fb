#include "modules/conversion/float_formula.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "tests/support/module_harness.h"

namespace {

MpString text(const char* ascii) { return widenAscii(ascii); }

struct FloatFormulaTest : ::testing::Test {
  TestHost host;
  AudioModule module{host, MP_TEXT("SE Float Function DSP")};

  void SetUp() override { module.open(); }
  // B after a group of events, as last sent (0 if never).
  float b(EventList& events) {
    module.process(host.blockSize, events);
    const auto sent = host.valuesOn(FloatFormula::B);
    return sent.empty() ? 0.0f : sent.back().asFloat();
  }
  float withFormula(const MpString& formula, float a) {
    return b(EventList().value(0, FloatFormula::FORMULA_B, formula).value(0, FloatFormula::A, a));
  }
};

TEST_F(FloatFormulaTest, ComputesBFromA) {
  EXPECT_EQ(withFormula(text("A*2"), 3.0f), 6.0f);
  EXPECT_EQ(b(EventList().value(0, FloatFormula::A, 4.5f)), 9.0f) << "a new A alone re-evaluates";
}

TEST_F(FloatFormulaTest, FailuresAndNaNGiveZeroAndHugeValuesInfinity) {
  struct Row {
    MpString formula;
    float a;
    float b;
  };
  const Row rows[] = {
      {text("1/0"), 1.0f, 0.0f},
      {text("7 % 0"), 1.0f, 0.0f},
      {MpString(), 5.0f, 0.0f},  // read as "0"
      {text("sqrt(a)"), -1.0f, 0.0f},
      {text("10^39"), 0.0f, std::numeric_limits<float>::infinity()},
      {text("0-10^39"), 0.0f, -std::numeric_limits<float>::infinity()},
      {MpString{0xD800, '1'}, 1.0f, 0.0f},  // a lone surrogate is an unknown character
      {text("1.5*2"), 0.0f, 3.0f},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(toUtf8(r.formula));
    withFormula(text("123"), 0.0f);
    EXPECT_EQ(withFormula(r.formula, r.a), r.b);
  }
}

TEST_F(FloatFormulaTest, AssignedVariablesPersistBetweenEvaluations) {
  EXPECT_EQ(withFormula(text("c = a*2"), 5.0f), 10.0f);
  EXPECT_EQ(withFormula(text("c + 1"), 0.0f), 11.0f);
}

TEST(FloatFormulaGui, KeepsAAndBConsistentBothWays) {
  TestHost host;
  GuiModule module(host, MP_TEXT("SE Float Function GUI"));
  module.set(FloatFormulaGui::FORMULA_A, text("B*2"));
  module.set(FloatFormulaGui::FORMULA_B, text("A/2"));
  host.clearRecords();

  module.set(FloatFormulaGui::A, 4.0f);
  ASSERT_EQ(host.guiValues.size(), 1u);
  EXPECT_EQ(host.guiValues[0].pin, FloatFormulaGui::B);
  EXPECT_EQ(host.guiValues[0].asFloat(), 2.0f);

  host.clearRecords();
  module.set(FloatFormulaGui::B, 2.0f);  // the host echoes B back
  EXPECT_TRUE(host.guiValues.empty());

  module.set(FloatFormulaGui::FORMULA_A, text("B*3"));
  ASSERT_EQ(host.guiValues.size(), 1u);
  EXPECT_EQ(host.guiValues[0].pin, FloatFormulaGui::A);
  EXPECT_EQ(host.guiValues[0].asFloat(), 6.0f);

  host.clearRecords();
  module.set(FloatFormulaGui::FORMULA_B, MpString());
  ASSERT_EQ(host.guiValues.size(), 1u);
  EXPECT_EQ(host.guiValues[0].asFloat(), 0.0f) << "an empty formula reads as 0";
}

}  // namespace
