// Preparation of the shipped BAL problem: read, index and pretreat, as the driver runs them before
// the menu.

#include <cstdint>
#include <filesystem>
#include <string>

#include <benchmark/benchmark.h>

#include "input/bal_pretreatment.hpp"
#include "input/bal_problem.hpp"

namespace tessmark {
namespace {

void loadIndexPretreat(benchmark::State& state) {
  const std::string path = std::string(TESSMARK_DATA_DIR) + "/problem-49-7776-pre.txt";
  if (!std::filesystem::exists(path)) {
    state.SkipWithError(("data file not found: " + path).c_str());
    return;
  }
  for (auto _ : state) {
    TextFile file = TextFile::open(path);
    checkBalHeader(file);
    const BalCounts counts = readBalCounts(file);
    BalProblem problem = readBalRecords(file, counts);
    const ObservationIndex index = indexObservations(problem);
    const CameraTables tables = pretreatCameras(problem.cameraParameters, problem.cameraNum);
    benchmark::DoNotOptimize(largestViewCount(index.viewNum));
    benchmark::DoNotOptimize(tables.cameraCurvatureCoefficients.data());
  }
  state.SetBytesProcessed(state.iterations() *
                          static_cast<std::int64_t>(std::filesystem::file_size(path)));
}

BENCHMARK(loadIndexPretreat)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tessmark

BENCHMARK_MAIN();
