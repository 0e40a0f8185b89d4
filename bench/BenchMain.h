#pragma once

#include <benchmark/benchmark.h>

#include <functional>
#include <memory>

class ManItems;

// What every benchmark program here does around its benchmarks.
namespace BenchMain {

// Runs headless, with a settings store and runtime folder of its own, and
// repeats each benchmark 5 times reporting only mean, median, spread (min,
// max, standard deviation) unless the command line asks otherwise. `body`
// makes the application object and calls RunBenchmarks().
int Run(int argc, char** argv, const std::function<int(int& argc, char** argv)>& body);
int RunBenchmarks();

// A generated book of `count` entries, made once per program run.
std::shared_ptr<ManItems> Book(int count);

// Adds the minimum and the maximum of the repetitions to a benchmark's aggregates.
void Spread(benchmark::internal::Benchmark* b);

} // namespace BenchMain
