// The library's whole-problem path, as a researcher runs it: Problem::load of a data file (file
// bytes and points per second), and triangulateAll with one solver on 1 and 2 threads (points per
// second, wall time). The file is the Ladybug BAL problem of the data folder, or the one
// TESSMARK_BENCH_FILE names (a large synthetic problem made by make_bal_problem, say).
//
//   build/bench/tessmark_problem_bench --benchmark_filter=triangulateAll
//   TESSMARK_BENCH_FILE=/tmp/big.txt build/bench/tessmark_problem_bench

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include <benchmark/benchmark.h>

#include "tessmark/problem.hpp"

namespace tessmark {
namespace {

std::string benchFile() {
  const char* named = std::getenv("TESSMARK_BENCH_FILE");
  if (named != nullptr && *named != '\0') return named;
  return std::string(TESSMARK_DATA_DIR) + "/problem-49-7776-pre.txt";
}

// Skips the benchmark (and says why) when the data file is not there.
bool dataFileFound(benchmark::State& state, const std::string& path) {
  if (std::filesystem::exists(path)) return true;
  state.SkipWithError(("data file not found: " + path).c_str());
  return false;
}

// The file, loaded once for the triangulation benchmarks.
const Problem& loadedOnce(const std::string& path) {
  static const auto problem = std::make_unique<Problem>(Problem::load(path));
  return *problem;
}

void load(benchmark::State& state) {
  const std::string path = benchFile();
  if (!dataFileFound(state, path)) return;
  int points = 0;
  for (auto _ : state) {
    const Problem problem = Problem::load(path);
    points = problem.pointCount();
    benchmark::DoNotOptimize(points);
  }
  state.SetBytesProcessed(state.iterations() *
                          static_cast<std::int64_t>(std::filesystem::file_size(path)));
  state.SetItemsProcessed(state.iterations() * points);
}

// Arguments: the thread count and the menu row (0: Newton-Raphson, about 1 microsecond a point on
// Ladybug; 6: Levenberg-Marquardt-Yamashita-Fukushima).
void triangulateAll(benchmark::State& state) {
  const std::string path = benchFile();
  if (!dataFileFound(state, path)) return;
  const Problem& problem = loadedOnce(path);
  const Method method =
      Method::fromKey(problem.rules(), kMethodKeys[static_cast<std::size_t>(state.range(1))]);
  ProblemOptions options;
  options.threads = static_cast<int>(state.range(0));
  for (auto _ : state) {
    const ProblemTriangulation all = tessmark::triangulateAll(problem, method, options);
    benchmark::DoNotOptimize(all.points.data());
  }
  state.SetItemsProcessed(state.iterations() * problem.pointCount());
  state.SetLabel(std::string(method.name()));
}

BENCHMARK(load)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(triangulateAll)
    ->ArgNames({"threads", "row"})
    ->ArgsProduct({{1, 2}, {0, 6}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
}  // namespace tessmark

BENCHMARK_MAIN();
