// Entry point of vantor-bench; the benchmarks register themselves.
#include <benchmark/benchmark.h>

BENCHMARK_MAIN();
