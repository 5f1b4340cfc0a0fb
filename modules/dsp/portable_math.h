// Elementary functions that give the same bits on every target.
//
// The C libraries of our two targets round sin, exp and tanh differently in
// the last place for a few arguments in a hundred, and every table filled
// from them, then every render that reads such a table, differed between
// the Windows DLL and the Linux library. These use only IEEE +, -, ×, /
// (each exactly rounded by the hardware) and floor: the reduced argument
// and the leading terms of each series are carried in double-double, the
// small tail of the series in double, and the sum is rounded once. Results
// are within an ulp of the true value (in practice correctly rounded but
// for rare near-ties) and identical wherever doubles are IEEE binary64 and
// the compiler does not fuse a multiply and an add (the build forbids it).
//
// Ranges: exp and exp2 over the whole double range (results that would be
// subnormal may be off by an ulp of the subnormal); sin and cos accurate for
// |x| < 2^30, beyond that reduced by the period of the double nearest 2π;
// tanh everywhere. NaN in gives NaN out.
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

// 2^n for n in [-1022, 1023].
inline double powerOfTwo(int32_t n) { return std::bit_cast<double>(static_cast<uint64_t>(n + 1023) << 52); }

// y × 2^k for y in [0.5, 2) and any k, rounded once.
inline double scaleByPowerOfTwo(double y, int32_t k) {
  if (k > 1023) return y * powerOfTwo(1023) * powerOfTwo(k - 1023);
  if (k < -1022) return y * powerOfTwo(k + 1022) * powerOfTwo(-1022);
  return y * powerOfTwo(k);
}

// Nearest integer (ties either way) and the exact remainder x - k, for
// |x| < 2^52: floor's remainder is exact, and so is taking 1 from it.
struct Reduced {
  double k;
  double f;
};
inline Reduced nearestInteger(double x) {
  double k = std::floor(x);
  double f = x - k;
  if (f > 0.5) {
    k += 1.0;
    f -= 1.0;
  }
  return {k, f};
}

// e^r - 1 for |r| <= 0.35, with an error far below an ulp of the result
// (relative to the result when r is small).
inline DoubleDouble expm1Reduced(DoubleDouble r) {
  const double x = r.hi;
  // x^3 (1/3! + x/4! + ... + x^12/15!): below 0.007, so double suffices.
  constexpr double kInverseFactorial[] = {
      1.0 / 6.0,          1.0 / 24.0,          1.0 / 120.0,          1.0 / 720.0,          1.0 / 5040.0,
      1.0 / 40320.0,      1.0 / 362880.0,      1.0 / 3628800.0,      1.0 / 39916800.0,     1.0 / 479001600.0,
      1.0 / 6227020800.0, 1.0 / 87178291200.0, 1.0 / 1307674368000.0};
  double tail = kInverseFactorial[12];
  for (int i = 11; i >= 0; --i) tail = tail * x + kInverseFactorial[i];
  tail = tail * x * x * x + 0.5 * x * x * r.lo;
  // r^2 / 2, exactly apart from the lo × lo term.
  DoubleDouble half = twoProduct(x, x);
  half = quickTwoSum(half.hi * 0.5, half.lo * 0.5 + x * r.lo);
  return add(add(r, half), tail);
}

// x - k × ln 2 in double-double, and k, with |result| <= 0.35.
struct LogReduced {
  double k;
  DoubleDouble r;
};
inline LogReduced reduceByLn2(double x) {
  const double k = std::floor(x * kInverseLn2 + 0.5);
  const DoubleDouble p = twoProduct(k, kLn2Hi);
  const DoubleDouble r = add(twoSum(x, -p.hi), -(p.lo + k * kLn2Lo));
  return {k, r};
}

// e^x - 1 in double-double, for |x| <= 50.
inline DoubleDouble expm1DoubleDouble(double x) {
  const LogReduced l = reduceByLn2(x);
  const DoubleDouble m = expm1Reduced(l.r);
  if (l.k == 0.0) return m;
  const double scale = powerOfTwo(static_cast<int32_t>(l.k));
  return add(add(DoubleDouble{m.hi * scale, m.lo * scale}, scale), -1.0);
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
  const double k = std::floor(x * kTwoOverPi + 0.5);
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
  const LogReduced l = reduceByLn2(x);
  return scaleByPowerOfTwo(round(add(expm1Reduced(l.r), 1.0)), static_cast<int32_t>(l.k));
}

inline double exp2(double x) {
  using namespace portable;
  if (x != x) return x;
  if (x >= 1024.0) return HUGE_VAL;
  if (x < -1076.0) return 0.0;
  const Reduced n = nearestInteger(x);
  const DoubleDouble p = twoProduct(n.f, kLn2Hi);
  const DoubleDouble r = quickTwoSum(p.hi, p.lo + n.f * kLn2Lo);
  return scaleByPowerOfTwo(round(add(expm1Reduced(r), 1.0)), static_cast<int32_t>(n.k));
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

}  // namespace zv::dsp
