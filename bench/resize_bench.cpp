#include "resize/calc.h"

#include <benchmark/benchmark.h>

namespace {

using quorvel::computeResize;
using quorvel::ResizeInput;

void BM_ComputeResize_HeightLimited(benchmark::State& state) {
    const ResizeInput input{"640", "480", false, false, quorvel::kFormatDvd};
    for (auto _ : state)
        benchmark::DoNotOptimize(computeResize(input));
}
BENCHMARK(BM_ComputeResize_HeightLimited);

void BM_ComputeResize_WidthLimitedWithFraction(benchmark::State& state) {
    const ResizeInput input{"  1280.5 ", "720", true, false, quorvel::kFormatVcd};
    for (auto _ : state)
        benchmark::DoNotOptimize(computeResize(input));
}
BENCHMARK(BM_ComputeResize_WidthLimitedWithFraction);

void BM_ComputeResize_Refused(benchmark::State& state) {
    const ResizeInput input{"640", "0", false, false, quorvel::kFormatDvd};
    for (auto _ : state)
        benchmark::DoNotOptimize(computeResize(input));
}
BENCHMARK(BM_ComputeResize_Refused);

} // namespace

BENCHMARK_MAIN();
