// Elementary functions that give the same bits on every target.
//
// The C libraries of our two targets round sin, exp and tanh differently in
// the last place for a few arguments in a hundred, and every table filled
// from them, then every render that reads such a table, differed between
// the Windows DLL and the Linux library. These use only IEEE +, -, ×, /
// and conversions to and from int (each exact or exactly rounded by the
// hardware): the reduced argument and the leading terms of each series are
// carried in double-double, the small tail in double, and the sum is
// rounded once. Results are within an ulp of the true value (in practice
// correctly rounded but for rare near-ties) and identical wherever doubles
// are IEEE binary64 and the compiler does not fuse a multiply and an add
// (the build forbids it).
//
// Ranges: exp and exp2 over the whole double range (results that would be
// subnormal may be off by an ulp of the subnormal); sin and cos accurate for
// |x| < 2^30, beyond that reduced (by the exact fmod) with the period of
// the double nearest 2π; tanh everywhere. NaN in gives NaN out.
#pragma once

#include <bit>
#include <cmath>
#include <cstdint>

namespace zv::dsp {

namespace portable {

// hi + lo with |lo| at most half an ulp of hi.
struct DoubleDouble {
  double hi;
  double lo;
};

// a + b exactly.
constexpr DoubleDouble twoSum(double a, double b) {
  const double s = a + b;
  const double bVirtual = s - a;
  const double aVirtual = s - bVirtual;
  return {s, (a - aVirtual) + (b - bVirtual)};
}

// a + b exactly when |a| >= |b| (or a is 0).
constexpr DoubleDouble quickTwoSum(double a, double b) {
  const double s = a + b;
  return {s, b - (s - a)};
}

// a split into two halves of at most 26 significant bits each (Veltkamp).
constexpr DoubleDouble split(double a) {
  const double t = 134217729.0 * a;  // 2^27 + 1
  const double hi = t - (t - a);
  return {hi, a - hi};
}

// a × b exactly (Dekker), for |a|, |b| below about 2^995.
constexpr DoubleDouble twoProduct(double a, double b) {
  const double p = a * b;
  const DoubleDouble as = split(a);
  const DoubleDouble bs = split(b);
  return {p, ((as.hi * bs.hi - p) + as.hi * bs.lo + as.lo * bs.hi) + as.lo * bs.lo};
}

constexpr DoubleDouble negate(DoubleDouble a) { return {-a.hi, -a.lo}; }

constexpr DoubleDouble add(DoubleDouble a, DoubleDouble b) {
  DoubleDouble s = twoSum(a.hi, b.hi);
  const DoubleDouble t = twoSum(a.lo, b.lo);
  s = quickTwoSum(s.hi, s.lo + t.hi);
  return quickTwoSum(s.hi, s.lo + t.lo);
}

constexpr DoubleDouble add(DoubleDouble a, double b) {
  const DoubleDouble s = twoSum(a.hi, b);
  return quickTwoSum(s.hi, s.lo + a.lo);
}

constexpr DoubleDouble multiply(DoubleDouble a, DoubleDouble b) {
  const DoubleDouble p = twoProduct(a.hi, b.hi);
  return quickTwoSum(p.hi, p.lo + (a.hi * b.lo + a.lo * b.hi));
}

constexpr DoubleDouble multiply(DoubleDouble a, double b) {
  const DoubleDouble p = twoProduct(a.hi, b);
  return quickTwoSum(p.hi, p.lo + a.lo * b);
}

constexpr DoubleDouble divide(DoubleDouble a, double b) {
  const double q = a.hi / b;
  const DoubleDouble p = twoProduct(q, b);
  return quickTwoSum(q, (((a.hi - p.hi) - p.lo) + a.lo) / b);
}

constexpr DoubleDouble divide(DoubleDouble a, DoubleDouble b) {
  const double q1 = a.hi / b.hi;
  const DoubleDouble r1 = add(a, negate(multiply(b, q1)));
  const double q2 = r1.hi / b.hi;
  const DoubleDouble r2 = add(r1, negate(multiply(b, q2)));
  return add(quickTwoSum(q1, q2), r2.hi / b.hi);
}

constexpr double round(DoubleDouble a) { return a.hi + a.lo; }

// ln 2 and π/2 to well beyond double precision.
constexpr double kLn2Hi = 6.93147180559945286227e-01;
constexpr double kLn2Lo = 2.31904681384629955842e-17;
constexpr double kInverseLn2 = 1.44269504088896338700e+00;
constexpr double kHalfPi1 = 1.57079632679489655800e+00;
constexpr double kHalfPi2 = 6.12323399573676603587e-17;
constexpr double kHalfPi3 = -1.49738490485916983348e-33;
constexpr double kTwoOverPi = 6.36619772367581382433e-01;

// floor for |x| < 2^31, through the integer conversion (exact, and no
// library call on either target).
inline double floorSmall(double x) {
  const auto t = static_cast<double>(static_cast<int32_t>(x));
  return t > x ? t - 1.0 : t;
}

// 2^n for n in [-1022, 1023].
inline double powerOfTwo(int32_t n) { return std::bit_cast<double>(static_cast<uint64_t>(n + 1023) << 52); }

// y × 2^k for y in [0.5, 2) and any k, rounded once.
inline double scaleByPowerOfTwo(double y, int32_t k) {
  if (k > 1023) return y * powerOfTwo(1023) * powerOfTwo(k - 1023);
  if (k < -1022) return y * powerOfTwo(k + 1022) * powerOfTwo(-1022);
  return y * powerOfTwo(k);
}

// e^r - 1 by its series; terms up to r^29 carry |r| < 0.7 to double-double
// precision. Slow, used at compile time for the table below.
constexpr DoubleDouble expm1Series(DoubleDouble r) {
  DoubleDouble sum = {0.0, 0.0};
  DoubleDouble term = r;
  for (int n = 2; n <= 30; ++n) {
    sum = add(sum, term);
    term = divide(multiply(term, r), static_cast<double>(n));
  }
  return sum;
}

// 2^(j/32) for j = 0..31, in double-double. Built by the compiler, whose
// arithmetic on constants rounds as IEEE run-time arithmetic does.
struct Exp2Table {
  DoubleDouble entry[32];
};
constexpr Exp2Table makeExp2Table() {
  Exp2Table t{};
  for (int j = 0; j < 32; ++j) {
    const DoubleDouble p = twoProduct(j / 32.0, kLn2Hi);
    const DoubleDouble r = quickTwoSum(p.hi, p.lo + j / 32.0 * kLn2Lo);
    t.entry[j] = add(expm1Series(r), 1.0);
  }
  return t;
}
inline constexpr Exp2Table kExp2Table = makeExp2Table();

// ln 2 / 32 as a head of 32 significant bits, whose products with the
// reduction's integers (below 2^16) are exact, and the rest.
constexpr double kLn2Over32Hi = std::bit_cast<double>(std::bit_cast<uint64_t>(kLn2Hi / 32.0) & 0xFFFFFFFFFFE00000ull);
constexpr double kLn2Over32Lo = (kLn2Hi / 32.0 - kLn2Over32Hi) + kLn2Lo / 32.0;

// An argument split as 2^(k + j/32) × e^r with j in 0..31 and |r| <= 0.011.
struct ExpReduced {
  int32_t k;
  int32_t j;
  double r;
};
inline ExpReduced splitIndex(double n, double r) {
  const auto whole = static_cast<int32_t>(n);
  const int32_t j = whole & 31;
  return {(whole - j) / 32, j, r};
}

// e^r - 1 for |r| <= 0.011; r's own rounding is far below an ulp of the
// result, so a double carries it.
inline double expm1Small(double r) {
  double q = 1.0 / 5040.0;
  q = q * r + 1.0 / 720.0;
  q = q * r + 1.0 / 120.0;
  q = q * r + 1.0 / 24.0;
  q = q * r + 1.0 / 6.0;
  q = q * r + 0.5;
  return r + r * r * q;
}

// 2^(j/32) e^r, rounded once: the table entry's head plus everything else.
inline double mantissaOf(const ExpReduced& e) {
  const DoubleDouble t = kExp2Table.entry[e.j];
  const double m = expm1Small(e.r);
  return t.hi + (t.hi * m + (t.lo + t.lo * m));
}

// For e^x, |x| < 746: Cody and Waite's two-part subtraction.
inline ExpReduced reduceExp(double x) {
  const double n = floorSmall(x * (32.0 * kInverseLn2) + 0.5);
  return splitIndex(n, (x - n * kLn2Over32Hi) - n * kLn2Over32Lo);
}

// For 2^x, |x| < 1077: 32x and its remainder are exact.
inline ExpReduced reduceExp2(double x) {
  const double n = floorSmall(32.0 * x + 0.5);
  return splitIndex(n, (32.0 * x - n) / 32.0 * kLn2Hi);
}

// e^x - 1 in double-double for 0 <= x <= 50, accurate relative to the
// result even where it is small: tanh divides by it.
inline DoubleDouble expm1DoubleDouble(double x) {
  const double n = floorSmall(x * (32.0 * kInverseLn2) + 0.5);
  const DoubleDouble p = twoProduct(n, kLn2Hi / 32.0);
  const DoubleDouble r = add(twoSum(x, -p.hi), -(p.lo + n * (kLn2Lo / 32.0)));
  // e^r - 1 = r + r^2/2 + r^3 (...), the first two in double-double.
  const double h = r.hi;
  double tail = 1.0 / 5040.0;
  tail = tail * h + 1.0 / 720.0;
  tail = tail * h + 1.0 / 120.0;
  tail = tail * h + 1.0 / 24.0;
  tail = tail * h + 1.0 / 6.0;
  tail = tail * h * h * h + 0.5 * h * h * r.lo;
  DoubleDouble half = twoProduct(h, h);
  half = quickTwoSum(half.hi * 0.5, half.lo * 0.5 + h * r.lo);
  const DoubleDouble m = add(add(r, half), tail);
  const ExpReduced e = splitIndex(n, 0.0);
  if (e.k == 0 && e.j == 0) return m;
  const DoubleDouble t = kExp2Table.entry[e.j];
  const DoubleDouble mantissa = add(multiply(t, m), t);
  const double scale = powerOfTwo(e.k);
  return add(DoubleDouble{mantissa.hi * scale, mantissa.lo * scale}, -1.0);
}

// sin r and cos r for |r| <= π/4 (plus rounding).
inline double sinReduced(DoubleDouble r) {
  const double x = r.hi;
  const double x2 = x * x;
  // x^5 (1/5! - x^2/7! + ... + x^16/21!)
  constexpr double kTerms[] = {1.0 / 120.0,
                               -1.0 / 5040.0,
                               1.0 / 362880.0,
                               -1.0 / 39916800.0,
                               1.0 / 6227020800.0,
                               -1.0 / 1307674368000.0,
                               1.0 / 355687428096000.0,
                               -1.0 / 121645100408832000.0,
                               1.0 / 51090942171709440000.0};
  double tail = kTerms[8];
  for (int i = 7; i >= 0; --i) tail = tail * x2 + kTerms[i];
  tail = tail * x2 * x2 * x - 0.5 * x2 * r.lo;
  const DoubleDouble cube = divide(multiply(twoProduct(x, x), x), 6.0);
  return round(add(add(r, negate(cube)), tail));
}

inline double cosReduced(DoubleDouble r) {
  const double x = r.hi;
  const double x2 = x * x;
  // -x^6 (1/6! - x^2/8! + ... + x^16/22!)
  constexpr double kTerms[] = {1.0 / 720.0,
                               -1.0 / 40320.0,
                               1.0 / 3628800.0,
                               -1.0 / 479001600.0,
                               1.0 / 87178291200.0,
                               -1.0 / 20922789888000.0,
                               1.0 / 6402373705728000.0,
                               -1.0 / 2432902008176640000.0,
                               1.0 / 1124000727777607680000.0};
  double tail = kTerms[8];
  for (int i = 7; i >= 0; --i) tail = tail * x2 + kTerms[i];
  tail = -tail * x2 * x2 * x2;
  DoubleDouble square = twoProduct(x, x);
  square = quickTwoSum(square.hi, square.lo + 2.0 * x * r.lo);
  const DoubleDouble half = {square.hi * 0.5, square.lo * 0.5};
  const DoubleDouble quartic = divide(multiply(square, square), 24.0);
  return round(add(add(add(quartic, negate(half)), 1.0), tail));
}

// x - k π/2 in double-double, and k mod 4.
struct QuadrantReduced {
  int32_t quadrant;
  DoubleDouble r;
};
inline QuadrantReduced reduceByHalfPi(double x) {
  if (!(std::fabs(x) < 0x1p30)) x = std::fmod(x, 2.0 * 3.141592653589793);  // fmod is exact
  const double k = floorSmall(x * kTwoOverPi + 0.5);
  const DoubleDouble p1 = twoProduct(k, kHalfPi1);
  const DoubleDouble p2 = twoProduct(k, kHalfPi2);
  DoubleDouble r = twoSum(x, -p1.hi);
  r = add(r, -p1.lo);
  r = add(r, negate(p2));
  r = add(r, -k * kHalfPi3);
  const auto quadrant = static_cast<int32_t>(static_cast<int64_t>(k) & 3);
  return {quadrant, r};
}

}  // namespace portable

inline double exp(double x) {
  using namespace portable;
  if (x != x) return x;
  if (x > 709.8) return HUGE_VAL;
  if (x < -745.2) return 0.0;
  const ExpReduced e = reduceExp(x);
  return scaleByPowerOfTwo(mantissaOf(e), e.k);
}

inline double exp2(double x) {
  using namespace portable;
  if (x != x) return x;
  if (x >= 1024.0) return HUGE_VAL;
  if (x < -1076.0) return 0.0;
  const ExpReduced e = reduceExp2(x);
  return scaleByPowerOfTwo(mantissaOf(e), e.k);
}

inline double sin(double x) {
  using namespace portable;
  if (x - x != 0.0) return x - x;  // NaN for NaN and infinities
  if (x == 0.0) return x;          // keeps the sign of zero
  const QuadrantReduced q = reduceByHalfPi(x);
  switch (q.quadrant) {
    case 0: return sinReduced(q.r);
    case 1: return cosReduced(q.r);
    case 2: return -sinReduced(q.r);
    default: return -cosReduced(q.r);
  }
}

inline double cos(double x) {
  using namespace portable;
  if (x - x != 0.0) return x - x;
  const QuadrantReduced q = reduceByHalfPi(x);
  switch (q.quadrant) {
    case 0: return cosReduced(q.r);
    case 1: return -sinReduced(q.r);
    case 2: return -cosReduced(q.r);
    default: return sinReduced(q.r);
  }
}

inline double tanh(double x) {
  using namespace portable;
  if (x != x) return x;
  const double a = std::fabs(x);
  // Below 2^-28 tanh x rounds to x; above 22 it rounds to ±1.
  if (a < 0x1p-28) return x;
  if (a > 22.0) return x > 0.0 ? 1.0 : -1.0;
  // tanh a = (e^2a - 1) / (e^2a + 1), with e^2a - 1 carried exactly enough
  // that small arguments lose nothing to cancellation.
  const DoubleDouble e = expm1DoubleDouble(2.0 * a);
  const double t = round(divide(e, add(e, 2.0)));
  return x > 0.0 ? t : -t;
}

// float(sin(x)) and float(exp(x)) with exactly the bits of the functions
// above, a few times faster, for table fills that round to float anyway.
// A plain double series decides (its error is bounded far below a float's
// half ulp) unless its result lies so near the midpoint of two floats that
// only the exact function can tell which way it rounds; outside the ranges
// the series covers, the exact function answers.
namespace portable {

// The float that every double within the relative bound of approximation
// (and within the exact function's ulp) rounds to, or NaN when they differ.
inline float roundedOrUndecided(double approximation, double bound) {
  const double margin = std::fabs(approximation) * (bound + 0x1p-51);
  const auto low = static_cast<float>(approximation - margin);
  const auto high = static_cast<float>(approximation + margin);
  return low == high ? low : NAN;
}

// Rounding errors of the series below stay under this, relative: about
// forty rounded operations on terms up to three times the result, with
// room to spare (a float's half ulp is 3e-8).
constexpr double kSeriesBound = 1e-13;

}  // namespace portable

// For 0 <= x <= 2 the Taylor series to x^27/27! (the next term is below
// 1e-22).
inline float sinAsFloat(double x) {
  if (x >= 0.0 && x <= 2.0) {
    const double x2 = x * x;
    double sum = 0.0;
    for (int k = 27; k >= 3; k -= 2) sum = (sum + 1.0) * (-x2 / (k * (k - 1)));
    const float f = portable::roundedOrUndecided(x * (sum + 1.0), portable::kSeriesBound);
    if (f == f) return f;
  }
  return static_cast<float>(sin(x));
}

// For -40 <= x <= 1: x = k ln 2 + r with |r| <= ln 2 / 2 and the Taylor
// series of e^r to r^15/15!, scaled exactly.
inline float expAsFloat(double x) {
  if (x >= -40.0 && x <= 1.0) {
    // The head of ln 2 has 32 bits, so k times it is exact.
    constexpr double kLn2Head = 6.93147180369123816490e-01;
    constexpr double kLn2Tail = 1.90821492927058770002e-10;
    const double k = portable::floorSmall(x * 1.4426950408889634 + 0.5);
    const double r = (x - k * kLn2Head) - k * kLn2Tail;
    double sum = 0.0;
    for (int n = 15; n >= 1; --n) sum = (sum + 1.0) * (r / n);
    const double scaled = (sum + 1.0) * portable::powerOfTwo(static_cast<int32_t>(k));
    const float f = portable::roundedOrUndecided(scaled, portable::kSeriesBound);
    if (f == f) return f;
  }
  return static_cast<float>(exp(x));
}

}  // namespace zv::dsp
