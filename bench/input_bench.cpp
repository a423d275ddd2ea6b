// Preparation of the shipped BAL problem: the read alone, and read, index and pretreat as the
// driver runs them before the menu.

#include <cstdint>
#include <filesystem>
#include <string>

#include <benchmark/benchmark.h>

#include "input/bal_pretreatment.hpp"
#include "input/bal_problem.hpp"

namespace tessmark {
namespace {

const std::string kLadybugPath = std::string(TESSMARK_DATA_DIR) + "/problem-49-7776-pre.txt";

BalProblem loadBal(const std::string& path) {
  TextFile file = TextFile::open(path);
  checkBalHeader(file);
  const BalCounts counts = readBalCounts(file);
  return readBalRecords(file, counts);
}

bool haveLadybug(benchmark::State& state) {
  if (std::filesystem::exists(kLadybugPath)) return true;
  state.SkipWithError(("data file not found: " + kLadybugPath).c_str());
  return false;
}

void setFileBytes(benchmark::State& state) {
  state.SetBytesProcessed(state.iterations() *
                          static_cast<std::int64_t>(std::filesystem::file_size(kLadybugPath)));
}

void loadOnly(benchmark::State& state) {
  if (!haveLadybug(state)) return;
  for (auto _ : state) {
    BalProblem problem = loadBal(kLadybugPath);
    benchmark::DoNotOptimize(problem.cameraParameters.data());
  }
  setFileBytes(state);
}

void loadIndexPretreat(benchmark::State& state) {
  if (!haveLadybug(state)) return;
  for (auto _ : state) {
    BalProblem problem = loadBal(kLadybugPath);
    const ObservationIndex index = indexObservations(problem);
    const CameraTables tables = pretreatCameras(problem.cameraParameters, problem.cameraNum);
    benchmark::DoNotOptimize(largestViewCount(index.viewNum));
    benchmark::DoNotOptimize(tables.cameraCurvatureCoefficients.data());
  }
  setFileBytes(state);
}

BENCHMARK(loadOnly)->Unit(benchmark::kMillisecond);
BENCHMARK(loadIndexPretreat)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tessmark

BENCHMARK_MAIN();
