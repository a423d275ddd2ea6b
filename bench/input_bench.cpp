// Preparation of the real data sets: read, index and pretreat, as the programs run them before
// the menu (the Ladybug BAL problem for vorlant, the Dinosaur sequence for sennic), from opening
// the file to the finished per-camera tables: the BAL reader alone, and the data-set layer's
// whole load of either file (the BAL file as vorlant's and as a standard BAL file).

#include <cstdint>
#include <filesystem>
#include <string>

#include <benchmark/benchmark.h>

#include "dataset/data_set.hpp"
#include "input/bal_problem.hpp"

namespace tessmark {
namespace {

const std::string kLadybugPath = std::string(TESSMARK_DATA_DIR) + "/problem-49-7776-pre.txt";

// Skips the benchmark (and says why) when the data file is not there.
bool dataFileFound(benchmark::State& state, const std::string& path) {
  if (std::filesystem::exists(path)) return true;
  state.SkipWithError(("data file not found: " + path).c_str());
  return false;
}

BalProblem loadBal(const std::string& path) {
  TextFile file = TextFile::open(path);
  checkBalHeader(file);
  const BalCounts counts = readBalCounts(file);
  return readBalRecords(file, counts);
}

void setFileBytes(benchmark::State& state, const std::string& path) {
  state.SetBytesProcessed(state.iterations() *
                          static_cast<std::int64_t>(std::filesystem::file_size(path)));
}

// The BAL read alone.
void loadOnly(benchmark::State& state) {
  if (!dataFileFound(state, kLadybugPath)) return;
  for (auto _ : state) {
    BalProblem problem = loadBal(kLadybugPath);
    benchmark::DoNotOptimize(problem.cameraParameters.data());
  }
  setFileBytes(state, kLadybugPath);
}

void loadIndexPretreat(benchmark::State& state) {
  if (!dataFileFound(state, kLadybugPath)) return;
  for (auto _ : state) {
    const DataSet data = loadDataSet(kLadybugPath, DataFormat::bal);
    benchmark::DoNotOptimize(data.maxViewNum);
  }
  setFileBytes(state, kLadybugPath);
}

// The same file through the standard BAL file's row of the format table, as the comparison tool
// and --plain-bal read it (the file has its header-ID line, so its records are read by lines; a
// file without it is read by tokens).
void loadIndexPretreatPlain(benchmark::State& state) {
  if (!dataFileFound(state, kLadybugPath)) return;
  for (auto _ : state) {
    const DataSet data = loadDataSet(kLadybugPath, DataFormat::plainBal);
    benchmark::DoNotOptimize(data.maxViewNum);
  }
  setFileBytes(state, kLadybugPath);
}

BENCHMARK(loadOnly)->Unit(benchmark::kMillisecond);
BENCHMARK(loadIndexPretreat)->Unit(benchmark::kMillisecond);
BENCHMARK(loadIndexPretreatPlain)->Unit(benchmark::kMillisecond);

void loadIndexPretreatLc(benchmark::State& state) {
  const std::string path = std::string(TESSMARK_DATA_DIR) + "/dinosaur.lc";
  if (!dataFileFound(state, path)) return;
  for (auto _ : state) {
    const DataSet data = loadDataSet(path, DataFormat::lc);
    benchmark::DoNotOptimize(data.maxViewNum);
  }
  setFileBytes(state, path);
}
BENCHMARK(loadIndexPretreatLc)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tessmark

BENCHMARK_MAIN();
