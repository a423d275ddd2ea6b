#pragma once
// The per-camera blocks every point's problem is gathered from. Both pretreatments build them: the
// BAL one from angle-axis cameras, the .lc one from camera matrices as read.

#include <vector>

#include <Eigen/Core>

#include "model/point_problem.hpp"

namespace tessmark {

// They never change after preparation.
struct CameraTables {
  // cameraNum: camera c's matrix, coefficient rows and pose as one ViewBlock (observation 0), the
  // block every point that camera sees copies.
  std::vector<ViewBlock> cameraBlocks;
};

// The blocks of cameraNum cameras: their matrices from `projections` (3 cameraNum x 4, rows 3c.. =
// P, as they are, not normalised), the coefficient rows built from them (model/coefficients.hpp),
// and their poses from `poses` (3 cameraNum x 7, rows 3c.. = [K | R | C]; a pose row the table
// lacks reads NaN). The tables of matrices are needed only while the blocks are built.
CameraTables buildCameraTables(const Eigen::MatrixXd& projections, const Eigen::MatrixXd& poses,
                               int cameraNum);

// The largest entry of viewNum; 0 when there are no points.
int largestViewCount(const std::vector<int>& viewNum);

}  // namespace tessmark
