#pragma once
// Reader of "Bundle Adjustment in the Large" problem files that carry one extra first line, the
// header ID. Layout, line by line:
//   1                     header ID: first token "Rome_is_not_built_in_one_day!"
//   2                     cameraNum pointNum imageCoordinates (further tokens ignored)
//   next imageCoordinates camera-index point-index x y (further tokens ignored)
//   next 9 cameraNum      one camera parameter per line (first token): angle-axis w (3),
//                         translation t (3), focal length f, radial distortion k1, k2
//   rest                  not read (the initial 3D points)
//
// The load is split in stages because the driver reports on the console between them.
// Well-formed files are read exactly; anything else raises InputError naming the file and line:
// missing or non-numeric counts, negative counts, short lines, tokens that are not numbers, a file
// shorter than its counts announce, camera indices outside 0..cameraNum-1 and point indices outside
// 0..pointNum-1. Counts and indices are int32 integers, coordinates and camera parameters reals in
// decimal or exponent notation (LineTokens in input/text_file.hpp); values are those of C atoi and
// atof. All counts may be 0.

#include <string>
#include <vector>

#include <Eigen/Core>

#include "input/text_file.hpp"

namespace tessmark {

inline constexpr const char* kBalHeaderId = "Rome_is_not_built_in_one_day!";

struct BalCounts {
  int cameraNum = 0;
  int pointNum = 0;
  int imageCoordinates = 0;
};

struct BalProblem {
  int cameraNum = 0;
  int pointNum = 0;
  int imageCoordinates = 0;
  std::vector<int> observationCamera;  // imageCoordinates entries, file order
  std::vector<int> observationPoint;   // imageCoordinates entries, file order
  Eigen::MatrixXd observationTable;    // imageCoordinates x 2: (x, y) as written
  Eigen::VectorXd cameraParameters;    // 9 cameraNum: camera c at 9c..9c+8
};

// Line 1: throws InputError(wrongHeader, line 1) unless its first token equals kBalHeaderId
// exactly (byte for byte; leading blanks and text after a blank are allowed). An empty file or an
// empty first line is a wrong header too.
void checkBalHeader(TextFile& file);
// Line 2: the three counts, each a non-negative int32; throws InputError(malformed) otherwise.
BalCounts readBalCounts(TextFile& file);
// The imageCoordinates observation lines and the 9 cameraNum camera parameter lines that follow the
// counts line (the counts come from readBalCounts). Before anything is allocated the file is
// checked to hold that many further lines, so a count that the file cannot back is reported, not
// allocated. Observations are kept in file order (indexObservations groups them); the rest of the
// file is not read.
BalProblem readBalRecords(TextFile& file, const BalCounts& counts);

}  // namespace tessmark
