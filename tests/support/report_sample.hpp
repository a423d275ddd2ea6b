#pragma once
// A small run to write reports from: three points, an ordinary one, one whose final K_LC distance
// is NaN, and one whose solver broke down (non-finite final point and diagnostics); and a way to
// read back what a writer puts into a file.

#include <cstdio>
#include <functional>
#include <limits>
#include <string>

#include <Eigen/Core>

#include "driver/program.hpp"
#include "driver/triangulation_run.hpp"

namespace tessmark::testing {

inline constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
inline constexpr double kInf = std::numeric_limits<double>::infinity();
inline const std::string kCreatedAt = "09:05:07 Feb 03, 2014";
inline const std::string kEigenVersionText = std::to_string(EIGEN_WORLD_VERSION) + "." +
                                             std::to_string(EIGEN_MAJOR_VERSION) + "." +
                                             std::to_string(EIGEN_MINOR_VERSION);

// What `write` puts into a file, read back from memory.
std::string written(const std::function<void(std::FILE*)>& write);

struct ReportSample {
  ReportSample();

  // The results file (header, the three point records, the summary block) and the summary file,
  // as `writers` write them.
  std::string resultsFile(const ReportWriters& writers) const;
  std::string summaryFile(const ReportWriters& writers) const;

  TriangulationRun run{3};
};

}  // namespace tessmark::testing
