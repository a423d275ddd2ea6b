#pragma once
// Reader of ".lc" multi-view files: calibrated 3x4 camera matrices and a dense table of image
// points, laid out after the Oxford Visual Geometry Group multi-view data. Layout, line by line:
//   1                 header ID: the first token is one of kLcHeaderIds
//   2                 allCameraNum (first token; further tokens ignored)
//   3                 pointNum (first token; further tokens ignored)
//   next allCameraNum one camera per line: the 12 entries of its 3x4 matrix P row by row (token k
//                     goes to row k / 4, column k % 4); further tokens ignored
//   next pointNum     one point per line: 2 allCameraNum numbers, for camera c = 0, 1, ... the x
//                     then the y of the point's image in camera c, "-1 -1" where camera c does not
//                     see the point; further tokens ignored
//   rest              not read
//
// Accepted header IDs, compared as whole tokens, byte for byte:
//   "Jingle_bells,_jingle_bells,_Jingle_all_the_way!", "Tovalen_is_great!", "stereohomology!"
//   and Tessmark's own "Tessmark_lc_data!" (17 characters), which the synthetic maker writes.
//
// Well-formed files are read exactly; anything else raises InputError naming the file and line:
// a missing, non-numeric or negative count, a camera count whose 2 allCameraNum coordinates per
// point line would not fit in int32, a camera line with fewer than 12 numbers, a point line with
// fewer than 2 allCameraNum numbers, a token that is not a number (LineTokens in
// input/text_file.hpp: decimal or exponent notation, values as C atoi and atof give them), a file
// shorter than its counts, and a view with exactly one coordinate equal to -1 (it would make the
// point's view count disagree with its camera list). All counts may be 0.
//
// No count reaches the allocator before the file has backed it: the tables grow as their lines
// arrive, so a file that claims 2e9 points in a few bytes is refused at its first missing line.

#include <array>
#include <cstddef>
#include <string_view>
#include <vector>

#include <Eigen/Core>

#include "input/text_file.hpp"

namespace tessmark {

inline constexpr std::array<std::string_view, 4> kLcHeaderIds = {
    "Jingle_bells,_jingle_bells,_Jingle_all_the_way!",
    "Tovalen_is_great!",
    "stereohomology!",
    "Tessmark_lc_data!",
};

// The marker of a view that does not exist, in both coordinates.
inline constexpr double kMissingView = -1.0;

struct LcCounts {
  int allCameraNum = 0;
  int pointNum = 0;
};

struct LcProblem {
  int allCameraNum = 0;
  int pointNum = 0;
  // 3 allCameraNum x 4: rows 3c..3c+2 are camera c's matrix exactly as read.
  Eigen::MatrixXd cameraProjections;
  // The observation table, pointNum x 2 allCameraNum, row-major: point i's row starts at
  // i * rowLength() and holds, for camera c, x at 2c and y at 2c + 1 (kMissingView for both
  // where c does not see the point). A point's row is contiguous, as the per-point scan reads it.
  std::vector<double> lcObservations;

  std::size_t rowLength() const { return 2 * static_cast<std::size_t>(allCameraNum); }
  const double* observationRow(int i) const {
    return lcObservations.data() + static_cast<std::size_t>(i) * rowLength();
  }
};

// Line 1: throws InputError(wrongHeader, line 1) unless its first token is one of kLcHeaderIds
// (leading blanks and text after a blank are allowed). An empty file or an empty first line is a
// wrong header too.
void checkLcHeader(TextFile& file);
// Lines 2 and 3: allCameraNum and pointNum, each a non-negative int32 (allCameraNum at most
// 1073741823); throws InputError(malformed) otherwise.
LcCounts readLcCounts(TextFile& file);
// The allCameraNum camera lines and the pointNum point lines that follow the counts.
LcProblem readLcRecords(TextFile& file, const LcCounts& counts);

}  // namespace tessmark
