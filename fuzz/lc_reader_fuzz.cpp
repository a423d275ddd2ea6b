// Fuzz target of the .lc reader and sennic's preparation (the data-set layer's loader) on any
// bytes: header, counts, camera and point lines, the visibility of every point, the decomposition
// of every camera matrix and the gathering of every point. An input either loads or is refused with
// a line and what was expected there, and it loads or is refused alike when its bytes arrive a few
// at a time from a source of unknown length. The reader's counts are not bounded here: it promises
// to allocate no more than the file backs, which the fuzzer's allocation limit checks.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "dataset/point_sources.hpp"
#include "fuzz/fuzz_data.hpp"

namespace tessmark::fuzz {
namespace {

// What a loaded .lc data set promises beyond the reader's own checks: tables of exactly its counts,
// a view wherever neither coordinate is -1 and none where both are, and each point's camera list
// the increasing list of the cameras that see it.
void checkLcData(const DataSet& data) {
  const auto& source = static_cast<const LcPointSource&>(*data.points);
  const LcProblem& problem = source.problem;
  const int cameras = problem.allCameraNum;
  check(problem.cameraProjections.rows() == 3 * Eigen::Index{cameras} &&
            problem.lcObservations.size() ==
                problem.rowLength() * static_cast<std::size_t>(problem.pointNum) &&
            source.tables.cameraBlocks.size() == static_cast<std::size_t>(cameras),
        ".lc tables not of their counts");
  PointWorkspace workspace(data.maxViewNum);
  for (int i = 0; i < problem.pointNum; ++i) {
    const double* row = problem.observationRow(i);
    const std::uint8_t* seen = source.visibility.visibilityRow(i);
    const int n = locateLcPoint(workspace, source.visibility, i);
    int listed = 0;
    for (int c = 0; c < cameras; ++c) {
      const bool missingX = row[2 * c] == kMissingView;
      check(missingX == (row[2 * c + 1] == kMissingView), "a view with one coordinate missing");
      check(seen[c] == (missingX ? 0 : 1), "visibility disagrees with the observation table");
      if (seen[c] != 0) {
        check(listed < n && workspace.cameraList[static_cast<std::size_t>(listed)] == c,
              "camera list is not the increasing list of the cameras that see the point");
        ++listed;
      }
    }
    check(listed == n, "camera list longer than the cameras that see the point");
  }
}

}  // namespace
}  // namespace tessmark::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  using namespace tessmark::fuzz;
  fuzzReader(std::string_view(reinterpret_cast<const char*>(bytes), size), loadLc, checkLcData,
             sameLcData);
  return 0;
}
