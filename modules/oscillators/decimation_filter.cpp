#include "modules/oscillators/decimation_filter.h"

namespace zv::oscillators {

namespace {

constexpr DecimationCoefficients makeCoefficients(double b0, double b1, double b2, double b3, double b4,
                                                  const double (&a)[8]) {
  return DecimationCoefficients{{b0, b1, b2, b3, b4, b3, b2, b1, b0},
                                {1.0, a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7]}};
}

constexpr double kA2[8] = {-3.8130767345428467, 8.192173957824707, -11.757323265075684, 12.114127159118652,
                           -9.07397747039795,   4.824742794036865, -1.678575873374939,  0.3011321723461151};
constexpr double kA4[8] = {-6.592352076009656,  19.735586193511615, -34.94728712084968, 39.965871481921546,
                           -30.194007737385764, 14.709339619004739, -4.224678720160039, 0.5479897407319985};
constexpr double kA8[8] = {-7.418199444975971, 24.281703373135635, -45.79603224918553,  54.423265578262296,
                           -41.72424550978184, 20.15088518220861,  -5.6046972212506905, 0.6873229215557854};

constexpr DecimationCoefficients kFactor2 = makeCoefficients(
    0.00043129341793246567, 0.0034503473434597254, 0.01207621581852436, 0.02415243163704872, 0.030190540477633476, kA2);
constexpr DecimationCoefficients kFactor4 =
    makeCoefficients(1.81304578931014e-6, 1.450436631448116e-5, 5.076528210068406e-5, 0.00010153056420136812,
                     0.00012691320525171014, kA4);
constexpr DecimationCoefficients kFactor8 = makeCoefficients(1.061136450579e-8, 8.489091604633e-8, 2.9711820616217e-7,
                                                             5.9423641232434e-7, 7.4279551540542e-7, kA8);

}  // namespace

const DecimationCoefficients& decimationCoefficients(int32_t factor) {
  if (factor == 2) return kFactor2;
  if (factor == 4) return kFactor4;
  return kFactor8;
}

}  // namespace zv::oscillators
