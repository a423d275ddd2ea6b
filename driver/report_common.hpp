#pragma once
// What both programs' reports share: the Eigen version, the verdict words, the way a point record
// and a report file name are put together, and the rows of the time-consumption table.

#include <cstdio>
#include <string>

#include <Eigen/Core>

#include "console/printf_text.hpp"
#include "driver/triangulation_run.hpp"
#include "model/derivatives.hpp"

namespace tessmark {

inline constexpr int kEigenVersion[3] = {EIGEN_WORLD_VERSION, EIGEN_MAJOR_VERSION,
                                         EIGEN_MINOR_VERSION};

inline const char* solvableLabel(bool solvable) { return solvable ? "Solvable" : "Hard case"; }
inline const char* globalLabel(bool global) { return global ? "Global" : "Local"; }

// A program's record of point p (its outcome in the run): three lines, each written by its format
// and, on lines 2 and 3, followed by "\t%s\n" with the verdict. Line 1 takes p + 1, x_m(0), x_f(0),
// the loop count and the loop cap the program prints; line 2 the view count, x_m(1), x_f(1),
// reprojError_m, klc_m; line 3 the point's seconds, x_m(2), x_f(2), reprojError_f, klc_f. The
// formats are parsed once, when the program's table of them is built.
struct PointRecordFormats {
  PrintfFormat first;
  PrintfFormat second;
  PrintfFormat third;
  int reportedLoopCap;
};
void writePointRecord(std::FILE* file, const TriangulationRun& run, int p,
                      const PointRecordFormats& formats);

// The time-consumption table's rows, one per point in point order, as both summary files write
// them: number, views, seconds, loops, reprojError_f, klc_f, reprojError_m, klc_m, rho_f, gamma_f,
// rho_m, gamma_m.
void writeTimeTableRows(std::FILE* file, const TriangulationRun& run);

// `prefix`, the key as fileNameKey writes it, `kind` ("_Results" or "_Summary"), the stamp, ".txt".
std::string reportFileName(const std::string& prefix, const TriangulationRun& run, const char* kind,
                           const std::string& stamp);

}  // namespace tessmark
