// The formula evaluator, parse included as the modules do on every change,
// and "SE Float Function DSP" taking a new A, against the same formula
// compiled as C++. Times are per evaluation.
#include "bench/support/bench_support.h"

#include <cmath>

#include "bench/support/bench_host.h"
#include "modules/conversion/evaluator.h"
#include "modules/conversion/float_formula.h"

namespace {

// 30 characters, two functions.
constexpr const char* kFormula = "sin(a*0.5)+sqrt(a*a+1.25)*0.25";

double nextA(double a) { return a > 10.0 ? 0.0 : a + 0.001; }

void BM_CompiledFormula(benchmark::State& state) {
  double a = 0.0;
  for (auto _ : state) {
    double result = std::sin(a * 0.5) + std::sqrt(a * a + 1.25) * 0.25;
    benchmark::DoNotOptimize(result);
    a = nextA(a);
    benchmark::DoNotOptimize(a);
  }
}
BENCHMARK(BM_CompiledFormula);

void BM_EvaluateFormula(benchmark::State& state) {
  zv::conversion::Evaluator evaluator;
  double a = 0.0;
  for (auto _ : state) {
    evaluator.setVariable("a", a);
    double result = 0.0;
    evaluator.evaluate(kFormula, result);
    benchmark::DoNotOptimize(result);
    a = nextA(a);
  }
}
BENCHMARK(BM_EvaluateFormula);

void BM_FloatFunctionNewA(benchmark::State& state) {
  BenchHost host;
  BenchModule module(host, MP_TEXT("SE Float Function DSP"));
  module.open();
  module.process(1, EventList().graphStart().value(0, FloatFormula::FORMULA_B, widenAscii(kFormula)));
  EventList changes[2];
  changes[0].value(0, FloatFormula::A, 1.5f);
  changes[1].value(0, FloatFormula::A, 2.5f);
  int which = 0;
  for (auto _ : state) {
    module.process(1, changes[which]);
    which ^= 1;
  }
}
BENCHMARK(BM_FloatFunctionNewA);

}  // namespace

ZV_BENCH_MAIN({{"BM_EvaluateFormula", "BM_CompiledFormula"}, {"BM_FloatFunctionNewA", "BM_CompiledFormula"}})
