#include "modules/conversion/evaluator.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <string>

#include "modules/conversion/value_conversion.h"

namespace {

using zv::conversion::Evaluator;

constexpr double kPi = 3.14159265358979323846;
constexpr double kE = 2.71828182845904523536;

std::string repeat(const std::string& s, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += s;
  return out;
}

struct Formula {
  std::string text;
  double value;
};

TEST(Evaluator, ComputesFormulas) {
  const Formula formulas[] = {
      {"A*2", 6},  // a = 3
      {"2+3*4", 14},
      {"(2+3)*4", 20},
      {"2*3-4/8", 5.5},
      {"10-4-3", 3},
      {"7%3", 1},
      {"-7%3", -1},
      {"2^10", 1024},
      {"-2^2", 4},
      {"2^3^2", 8},
      {"2^-1", 0.5},
      {"-(3)", -3},
      {"+4", 4},
      {"1.5.5", 1.5},
      {".5*4", 2},
      {"  2 *\t( 3 + 4 )  ", 14},
      {"2 3", 2},
      {"((((1))))", 1},
      {"PI", kPi},
      {"e", kE},
      {"sin(pi/2)", 1},
      {"cos(0)", 1},
      {"tan(pi/4)", 1},
      {"asin(1)", kPi / 2},
      {"acos(1)", 0},
      {"atan(1)", kPi / 4},
      {"sinh(1)", (kE - 1 / kE) / 2},
      {"cosh(1)", (kE + 1 / kE) / 2},
      {"tanh(0.5)", 0.46211715726000974},
      {"exp(1)", kE},
      {"log(e)", 1},
      {"log10(1000)", 3},
      {"sqrt(16)", 4},
      {"floor(0-2.5)", -3},
      {"ceil(0-2.5)", -2},
      {"abs(0-0.25)", 0.25},
      {"hypot(3, 4)", 5},
      {"deg(pi)", 180},
      {"rad(180)", kPi},
      {"sgn(0)", 1},
      {"sgn(0-3)", -1},
      {"min(2,3)", 2},
      {"max(2,3)", 3},
      {"min(2, 2)", 2},
      {"max(1, min(5, 3)) * 2", 6},
      {repeat("(", 100) + "1" + repeat(")", 100), 1},
      {repeat("1+", 249) + "1", 250},  // 499 characters
  };
  for (const Formula& f : formulas) {
    SCOPED_TRACE(f.text);
    Evaluator evaluator;
    evaluator.setVariable("a", 3.0);
    double result = -1.0;
    bool assigned = true;
    ASSERT_EQ(evaluator.evaluate(f.text, result, assigned), 0) << evaluator.lastError().token;
    EXPECT_NEAR(result, f.value, 1e-12 * std::fabs(f.value) + 1e-15);
    EXPECT_FALSE(assigned);
  }
}

TEST(Evaluator, NaNIsAResultNotAnError) {
  Evaluator evaluator;
  double result = 0.0;
  EXPECT_EQ(evaluator.evaluate("sqrt(0-1)", result), 0);
  EXPECT_TRUE(std::isnan(result));
}

struct Failure {
  std::string text;
  int32_t code;
  int32_t position;
  std::string token;
};

TEST(Evaluator, ReportsWhereAndWhatFailed) {
  const std::string longName(32, 'a');
  const Failure failures[] = {
      {"", 9, 0, ""},
      {"   ", 9, 2, ""},
      {"2+", 1, 1, ""},
      {"--4", 1, 1, "-"},
      {"2*)", 1, 2, ")"},
      {"=", 1, 0, "="},
      {"2 $ 3", 1, 2, "$"},
      {"\xC3\xA9", 1, 0, "\xC3"},
      {"x = $", 1, 4, "$"},
      {longName, 1, 31, longName.substr(0, 31)},
      {std::string(32, '1'), 1, 31, std::string(31, '1')},
      {longName.substr(0, 31), 4, 30, longName.substr(0, 31)},
      {"(1+2", 2, 3, ""},
      {"1/0", 3, 2, ""},
      {"7 % 0 + 1", 3, 7, "+"},
      {"zz+1", 4, 1, "zz"},
      {"foo(1)", 6, 2, "foo"},
      {"hypot(3)", 7, 7, "hypot"},
      {"min(1,2,3,4)", 7, 10, "min"},
      {"sin()", 8, 4, ")"},
      {"max(1,)", 8, 6, ")"},
      {"()", 8, 1, ")"},
      {repeat("(", 101) + "1" + repeat(")", 101), 1, 100, "("},
      {repeat("(", 60) + repeat("abs(", 41) + "1" + repeat(")", 101), 1, 222, "abs"},
      {repeat("1+", 249) + "11", 1, 499, ""},  // 500 characters
  };
  for (const Failure& f : failures) {
    SCOPED_TRACE(f.text.size() > 40 ? f.text.substr(0, 40) + "..." : f.text);
    Evaluator evaluator;
    double result = -1.0;
    EXPECT_EQ(evaluator.evaluate(f.text, result), f.code);
    EXPECT_EQ(result, 0.0);
    EXPECT_EQ(evaluator.lastError().code, f.code);
    EXPECT_EQ(evaluator.lastError().position, f.position);
    EXPECT_EQ(evaluator.lastError().token, f.token);
  }
  EXPECT_EQ(zv::conversion::evaluatorMessage(6), "Unrecognised funtion");
  EXPECT_EQ(zv::conversion::evaluatorMessage(10), "");
}

TEST(Evaluator, TheErrorRecordBelongsToTheLastEvaluation) {
  Evaluator evaluator;
  double result = 0.0;
  ASSERT_EQ(evaluator.evaluate("foo(1)", result), 6);
  ASSERT_EQ(evaluator.evaluate("1", result), 0);
  EXPECT_EQ(evaluator.lastError().code, 0);
  EXPECT_EQ(evaluator.lastError().token, "");
}

TEST(Evaluator, VariablesAreAssignedKeptAndDeleted) {
  Evaluator evaluator;
  double result = 0.0;
  bool assigned = false;
  EXPECT_EQ(evaluator.evaluate("x = 5", result, assigned), 0);
  EXPECT_EQ(result, 5.0);
  EXPECT_TRUE(assigned);
  EXPECT_EQ(evaluator.evaluate("X*2", result, assigned), 0);
  EXPECT_EQ(result, 10.0);
  EXPECT_FALSE(assigned);
  EXPECT_EQ(evaluator.evaluate("x =", result, assigned), 0);
  EXPECT_TRUE(assigned);
  EXPECT_EQ(evaluator.evaluate("x", result), 4);

  // Only 15 characters of a name count.
  EXPECT_EQ(evaluator.evaluate("abcdefghijklmnopq = 3", result), 0);
  EXPECT_EQ(evaluator.evaluate("abcdefghijklmnoZ", result), 0);
  EXPECT_EQ(result, 3.0);

  // What was assigned before a failure stays.
  EXPECT_EQ(evaluator.evaluate("(y = 4) + foo(1)", result), 6);
  EXPECT_EQ(evaluator.evaluate("y", result), 0);
  EXPECT_EQ(result, 4.0);
  EXPECT_EQ(evaluator.evaluate("pi = 3", result), 0);
  EXPECT_EQ(evaluator.evaluate("pi", result), 0);
  EXPECT_EQ(result, 3.0) << "variables come before the constants";
}

TEST(Evaluator, HoldsFiftyVariablesAndReusesFreedEntries) {
  Evaluator evaluator;
  double result = 0.0;
  for (int i = 0; i < 50; ++i) {
    std::string assignment = "v";
    assignment.append(std::to_string(i)).append("=").append(std::to_string(i));
    ASSERT_EQ(evaluator.evaluate(assignment, result), 0);
  }
  EXPECT_EQ(evaluator.evaluate("v50 = 1", result), 5);
  EXPECT_EQ(evaluator.lastError().token, "v50");
  EXPECT_EQ(evaluator.evaluate("v50", result), 4) << "nothing was stored";
  EXPECT_EQ(evaluator.evaluate("v3 =", result), 0);
  EXPECT_EQ(evaluator.evaluate("w = 7", result), 0);
  EXPECT_EQ(evaluator.evaluate("v49 + w", result), 0);
  EXPECT_EQ(result, 56.0);
  EXPECT_EQ(evaluator.evaluate("z = 1", result), 5);
}

void setEnvironment(const std::string& name, const std::string& value) {
#ifdef _WIN32
  _putenv((name + "=" + value).c_str());
#else
  setenv(name.c_str(), value.c_str(), 1);
#endif
}

TEST(Evaluator, ReadsNumbersFromTheEnvironment) {
  setEnvironment("zvformulatest", "2.5");
  setEnvironment("abcdefghijklmn", "  -3.5e2xyz");
  setEnvironment("zvformulalong", std::string(5000, '1'));
  Evaluator evaluator;
  double result = 0.0;
  EXPECT_EQ(evaluator.evaluate("_ZVFORMULATEST * 2", result), 0);
  EXPECT_EQ(result, 5.0);
  EXPECT_EQ(evaluator.evaluate("_abcdefghijklmnopq", result), 0) << "14 characters after the '_' count";
  EXPECT_EQ(result, -350.0);
  EXPECT_EQ(evaluator.evaluate("_zvformulalong", result), 0);
  EXPECT_TRUE(std::isinf(result));
  EXPECT_EQ(evaluator.evaluate("_zvformulanone + 1", result), 4);
  EXPECT_EQ(evaluator.lastError().token, "_zvformulanone");
  EXPECT_EQ(evaluator.evaluate("_", result), 4);
}

// A host may set a locale whose decimal separator is a comma; formulas and
// converters still read and write points.
TEST(NumberText, TheProcessLocaleChangesNothing) {
  const char* set = nullptr;
  for (const char* name : {"de_DE.UTF-8", "de_DE", "fr_FR.UTF-8", "German_Germany.1252", "German"}) {
    if ((set = std::setlocale(LC_ALL, name)) != nullptr) break;
  }
  // scripts/setup installs de_DE.UTF-8.
  ASSERT_NE(set, nullptr) << "no locale with a decimal comma is installed";
  const bool comma = std::localeconv()->decimal_point[0] == ',';
  zv::conversion::Evaluator evaluator;
  double result = 0.0;
  const int32_t code = evaluator.evaluate("1.5*2", result);
  const float parsed = zv::conversion::toFloat(widenAscii("2.25"));
  const MpString printed = zv::conversion::toText(0.5f);
  std::setlocale(LC_ALL, "C");
  ASSERT_TRUE(comma);
  EXPECT_EQ(code, 0);
  EXPECT_EQ(result, 3.0);
  EXPECT_EQ(parsed, 2.25f);
  EXPECT_EQ(printed, widenAscii("0.500000"));
}

}  // namespace
