#pragma once
// The per-camera tables every point's problem is gathered from. Both readers fill them: the BAL
// reader from angle-axis cameras, the .lc reader from camera matrices as read.

#include <vector>

#include <Eigen/Core>

#include "model/point_problem.hpp"

namespace tessmark {

// Camera c at the rows named; the tables never change after preparation.
struct CameraTables {
  Eigen::MatrixXd cameraPoses;                  // 3 cameraNum x 7: rows 3c.. = [K | R | C]
  Eigen::MatrixXd cameraProjections;            // 3 cameraNum x 4: rows 3c.. = P
  Eigen::MatrixXd cameraJacobianCoefficients;   // 2 cameraNum x 12 (model/coefficients.hpp)
  Eigen::MatrixXd cameraCurvatureCoefficients;  // 12 cameraNum x 4 (model/coefficients.hpp)
  // cameraNum: camera c's matrix, coefficient rows and pose as one ViewBlock (observation 0), the
  // block every point that camera sees copies.
  std::vector<ViewBlock> cameraBlocks;
};

// Fills both coefficient tables from cameraProjections (3 cameraNum x 4, the matrices as they
// are, not normalised), then the camera blocks from all of the tables: call it last, once
// cameraProjections and cameraPoses hold every camera (a pose row the table lacks reads NaN).
void buildCoefficientTables(CameraTables& tables, int cameraNum);

// The largest entry of viewNum; 0 when there are no points.
int largestViewCount(const std::vector<int>& viewNum);

}  // namespace tessmark
