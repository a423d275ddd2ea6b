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
  Eigen::Vector3d x_m[3] = {{1.5, -2.25, 3.0}, {0.5, 0.5, 0.5}, {100.0, -1e-13, 0.0}};
  Eigen::Vector3d x_f[3] = {{1.25, -2.0, 3.125}, {0.5, 0.5, 0.5}, {kNaN, kInf, -kInf}};
  bool solvable[3] = {true, true, false};
  bool global[3] = {true, false, false};
};

}  // namespace tessmark::testing
