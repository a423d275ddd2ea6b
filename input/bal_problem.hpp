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
// 0..pointNum-1.

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

// Line 1: throws InputError(wrongHeader) unless its first token equals kBalHeaderId exactly.
void checkBalHeader(TextFile& file);
// Line 2: the three counts.
BalCounts readBalCounts(TextFile& file);
// The observation lines and the camera parameter lines.
BalProblem readBalRecords(TextFile& file, const BalCounts& counts);

}  // namespace tessmark
