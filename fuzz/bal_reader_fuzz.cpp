// Fuzz target of the BAL reader and vorlant's preparation (the data-set layer's loader) on any
// bytes: header, counts, observation and camera parameter records, indexing by point, camera
// pretreatment and the gathering of every point; each input is read twice, as vorlant's file
// (header-ID line first) and as a standard BAL file whose header-ID line is optional. An input
// either loads or is refused with a line and what was expected there, and it loads or is refused
// alike when its bytes arrive a few at a time from a source of unknown length (the record room then
// grows from its fixed start instead of from the file's length). The reader's counts are not
// bounded here: it promises to allocate no more than the file backs, which the fuzzer's allocation
// limit checks.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "dataset/point_sources.hpp"
#include "fuzz/fuzz_data.hpp"

namespace tessmark::fuzz {
namespace {

// What a loaded BAL problem promises beyond the reader's own checks: arrays of exactly its counts,
// every observation grouped under its point.
void checkBalData(const DataSet& data) {
  const auto& source = static_cast<const BalPointSource&>(*data.points);
  const BalProblem& problem = source.problem;
  const auto observations = static_cast<std::size_t>(problem.imageCoordinates);
  check(problem.observationCamera.size() == observations &&
            problem.observationPoint.size() == observations &&
            problem.observationTable.rows() == problem.imageCoordinates &&
            problem.cameraParameters.size() == 9 * Eigen::Index{problem.cameraNum},
        "BAL arrays not of their counts");
  long long start = 0;
  for (int p = 0; p < problem.pointNum; ++p) {
    const auto i = static_cast<std::size_t>(p);
    check(source.observationIndex.viewStart[i] == start,
          "viewStart is not the running sum of viewNum");
    for (int o = 0; o < source.observationIndex.viewNum[i]; ++o) {
      check(problem.observationPoint[static_cast<std::size_t>(start + o)] == p,
            "an observation indexed under another point");
    }
    start += source.observationIndex.viewNum[i];
  }
  check(start == problem.imageCoordinates, "indexing lost or invented observations");
}

}  // namespace
}  // namespace tessmark::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  using namespace tessmark::fuzz;
  const std::string_view text(reinterpret_cast<const char*>(bytes), size);
  fuzzReader(text, loadBal, checkBalData, sameBalData);
  fuzzReader(text, loadPlainBal, checkBalData, sameBalData);
  return 0;
}
