#include "modules/dsp/portable_math.h"

#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <cmath>
#include <limits>
#include <numbers>
#include <string>

namespace {

namespace pm = zv::dsp::portable;

TEST(PortableMath, DoubleDoubleSplitsAreExact) {
  // Products and sums whose exact values are known by construction.
  const double a = 1.0 + 0x1p-30;
  const pm::DoubleDouble p = pm::twoProduct(a, a);  // 1 + 2^-29 + 2^-60
  EXPECT_EQ(p.hi, 1.0 + 0x1p-29);
  EXPECT_EQ(p.lo, 0x1p-60);
  const pm::DoubleDouble s = pm::twoSum(1.0, 0x1p-70);
  EXPECT_EQ(s.hi, 1.0);
  EXPECT_EQ(s.lo, 0x1p-70);
  const pm::DoubleDouble third = pm::divide(pm::DoubleDouble{1.0, 0.0}, 3.0);
  const pm::DoubleDouble back = pm::multiply(third, 3.0);
  EXPECT_EQ(back.hi, 1.0);
  EXPECT_LT(std::fabs(back.lo), 0x1p-100);
}

#if LDBL_MANT_DIG >= 64 && !defined(_WIN32)
// The reference is the C library's long double routines, whose error is
// some thousandths of a double ulp. (The Windows runtime's long double sin
// reduces by a 66-bit π and is not good enough to judge by.)

// Distance from a long double reference in units of the double ulp there.
double ulpError(double value, long double reference) {
  const double nearest = static_cast<double>(reference);
  const double ulp = std::nextafter(std::fabs(nearest), HUGE_VAL) - std::fabs(nearest);
  return static_cast<double>(std::fabs(static_cast<long double>(value) - reference) / ulp);
}

TEST(PortableMath, ConstantsMatchLongDouble) {
  EXPECT_EQ(static_cast<long double>(pm::kLn2Hi) + pm::kLn2Lo, std::numbers::ln2_v<long double>);
  EXPECT_EQ(static_cast<long double>(pm::kHalfPi1) + pm::kHalfPi2, std::numbers::pi_v<long double> / 2);
}

struct Range {
  const char* name;
  double (*portable)(double);
  long double (*reference)(long double);
  double lo;
  double hi;
};

TEST(PortableMath, WithinAnUlpOverTheRangesTheTablesUse) {
  const Range ranges[] = {
      {"exp, filter and envelope tables", zv::dsp::exp, [](long double x) { return std::exp(x); }, -200.0, 5.0},
      {"exp, wide", zv::dsp::exp, [](long double x) { return std::exp(x); }, -700.0, 700.0},
      {"exp2, pitches", zv::dsp::exp2, [](long double x) { return std::exp2(x); }, -16.0, 16.0},
      {"exp2, wide", zv::dsp::exp2, [](long double x) { return std::exp2(x); }, -1000.0, 1000.0},
      {"sin, quarter turns", zv::dsp::sin, [](long double x) { return std::sin(x); }, 0.0, 2.0},
      {"sin, oscillator phases", zv::dsp::sin, [](long double x) { return std::sin(x); }, -200.0, 200.0},
      {"cos, quarter turns", zv::dsp::cos, [](long double x) { return std::cos(x); }, 0.0, 2.0},
      {"cos, all-pass tables", zv::dsp::cos, [](long double x) { return std::cos(x); }, -200.0, 200.0},
      {"tanh, shaper tables", zv::dsp::tanh, [](long double x) { return std::tanh(x); }, -1.0, 1.0},
      {"tanh, wide", zv::dsp::tanh, [](long double x) { return std::tanh(x); }, -25.0, 25.0},
  };
  constexpr int kSteps = 200000;
  for (const Range& range : ranges) {
    double worst = 0.0;
    double worstAt = 0.0;
    for (int i = 0; i <= kSteps; ++i) {
      // An odd step keeps the points off round numbers.
      const double x = range.lo + (range.hi - range.lo) * (i / static_cast<double>(kSteps)) * 0.9999999871;
      const double error = ulpError(range.portable(x), range.reference(x));
      if (error > worst) {
        worst = error;
        worstAt = x;
      }
    }
    // The leading terms are carried in double-double, so little beyond the
    // final rounding's half ulp is left; a lost correction term shows here.
    EXPECT_LE(worst, 0.6) << range.name << " at " << worstAt;
  }
}

TEST(PortableMath, SmallAndNearZeroArguments) {
  // Near zeros of sin and cos, and tiny arguments, where a cancellation
  // would show as many ulps.
  for (double x : {1e-300, 1e-20, 1e-9, 3e-5, 0.001, 0.1}) {
    for (double sign : {1.0, -1.0}) {
      const double v = sign * x;
      EXPECT_LE(ulpError(zv::dsp::sin(v), std::sin(static_cast<long double>(v))), 1.0) << v;
      EXPECT_LE(ulpError(zv::dsp::tanh(v), std::tanh(static_cast<long double>(v))), 1.0) << v;
      EXPECT_LE(ulpError(zv::dsp::exp(v), std::exp(static_cast<long double>(v))), 1.0) << v;
    }
  }
  for (int k = 1; k <= 100; ++k) {
    const double nearMultiple = k * 1.5707963267948966;
    EXPECT_LE(ulpError(zv::dsp::sin(nearMultiple), std::sin(static_cast<long double>(nearMultiple))), 1.0) << k;
    EXPECT_LE(ulpError(zv::dsp::cos(nearMultiple), std::cos(static_cast<long double>(nearMultiple))), 1.0) << k;
  }
}
#endif

TEST(PortableMath, ExactAndSpecialValues) {
  EXPECT_EQ(zv::dsp::exp(0.0), 1.0);
  EXPECT_EQ(zv::dsp::exp2(0.0), 1.0);
  for (int n = -1070; n <= 1023; n += 7) EXPECT_EQ(zv::dsp::exp2(n), std::ldexp(1.0, n)) << n;
  EXPECT_EQ(zv::dsp::sin(0.0), 0.0);
  EXPECT_TRUE(std::signbit(zv::dsp::sin(-0.0)));
  EXPECT_EQ(zv::dsp::cos(0.0), 1.0);
  EXPECT_EQ(zv::dsp::tanh(0.0), 0.0);
  EXPECT_TRUE(std::signbit(zv::dsp::tanh(-0.0)));

  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_EQ(zv::dsp::exp(1000.0), inf);
  EXPECT_EQ(zv::dsp::exp(-1000.0), 0.0);
  EXPECT_EQ(zv::dsp::exp(inf), inf);
  EXPECT_EQ(zv::dsp::exp(-inf), 0.0);
  EXPECT_EQ(zv::dsp::exp2(1024.0), inf);
  EXPECT_EQ(zv::dsp::exp2(-inf), 0.0);
  EXPECT_EQ(zv::dsp::tanh(inf), 1.0);
  EXPECT_EQ(zv::dsp::tanh(-30.0), -1.0);
  EXPECT_GT(zv::dsp::exp(-745.0), 0.0);  // subnormal, not flushed
  for (double (*f)(double) : {zv::dsp::exp, zv::dsp::exp2, zv::dsp::sin, zv::dsp::cos, zv::dsp::tanh}) {
    EXPECT_TRUE(std::isnan(f(nan)));
  }
  EXPECT_TRUE(std::isnan(zv::dsp::sin(inf)));
  EXPECT_TRUE(std::isnan(zv::dsp::cos(-inf)));
  // Huge arguments stay bounded (and defined) even where they are no
  // longer accurate.
  for (double x : {1e12, -3e15, 1e300}) {
    EXPECT_LE(std::fabs(zv::dsp::sin(x)), 1.0) << x;
    EXPECT_LE(std::fabs(zv::dsp::cos(x)), 1.0) << x;
  }
}

TEST(PortableMath, Identities) {
  // Properties that hold whatever the rounding: odd/even symmetry, the
  // Pythagorean identity and the addition law of exp, to a few ulps.
  for (int i = -500; i <= 500; ++i) {
    const double x = i * 0.0137;
    EXPECT_EQ(zv::dsp::sin(-x), -zv::dsp::sin(x));
    EXPECT_EQ(zv::dsp::cos(-x), zv::dsp::cos(x));
    EXPECT_EQ(zv::dsp::tanh(-x), -zv::dsp::tanh(x));
    const double s = zv::dsp::sin(x);
    const double c = zv::dsp::cos(x);
    EXPECT_NEAR(s * s + c * c, 1.0, 4e-16);
    EXPECT_NEAR(zv::dsp::exp(x) * zv::dsp::exp(-x), 1.0, 6e-16);
    EXPECT_NEAR(zv::dsp::exp2(x), zv::dsp::exp(x * std::numbers::ln2), 1e-14 * zv::dsp::exp2(x));
  }
}

// The float forms must give the exact functions' bits: over a dense sweep
// of their ranges and beyond them, at float arguments (as table fills pass
// them), and where the series would not decide.
TEST(PortableMath, FloatFormsRoundAsTheExactFunctions) {
  struct Sweep {
    const char* name;
    float (*fast)(double);
    double (*exact)(double);
    double lo;
    double hi;
  };
  const Sweep sweeps[] = {
      {"sin", zv::dsp::sinAsFloat, zv::dsp::sin, -0.5, 2.5},
      {"exp", zv::dsp::expAsFloat, zv::dsp::exp, -45.0, 1.5},
  };
  constexpr int kSteps = 300000;
  for (const Sweep& sweep : sweeps) {
    int differing = 0;
    for (int i = 0; i <= kSteps; ++i) {
      const double x = sweep.lo + (sweep.hi - sweep.lo) * (i / static_cast<double>(kSteps)) * 0.9999999871;
      const float asFloat = static_cast<float>(x);
      for (double at : {x, static_cast<double>(asFloat)}) {
        differing +=
            std::bit_cast<uint32_t>(sweep.fast(at)) != std::bit_cast<uint32_t>(static_cast<float>(sweep.exact(at)));
      }
    }
    EXPECT_EQ(differing, 0) << sweep.name;
  }
  // A double on the midpoint of two floats, or nearer to it than the
  // bound, is left to the exact function; one well inside rounds.
  const double one = 1.0;
  const double midpoint = one + 0x1p-24;
  EXPECT_TRUE(std::isnan(pm::roundedOrUndecided(midpoint, pm::kSeriesBound)));
  EXPECT_TRUE(std::isnan(pm::roundedOrUndecided(midpoint * (1.0 + 3e-14), pm::kSeriesBound)));
  EXPECT_EQ(pm::roundedOrUndecided(one + 0x1p-26, pm::kSeriesBound), 1.0f);
  EXPECT_TRUE(std::isnan(zv::dsp::sinAsFloat(std::numeric_limits<double>::quiet_NaN())));
}

}  // namespace
