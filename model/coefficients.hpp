#pragma once
// Per-camera derivative coefficients. They turn the derivatives of a projection into four-term dot
// products with X~, so that nothing is differentiated per point.

#include <Eigen/Core>

namespace tessmark {

// The 2x12 first-derivative block of one 3x4 camera matrix P with rows p1, p2, p3: row c (q = p1
// for c = 0, q = p2 for c = 1), column 4i+b holds q[i] p3[b] - q[b] p3[i]. Dotting columns 4i..4i+3
// with X~ gives w^2 times d pi_c / d X_i. Columns 0, 5 and 10 are zero.
Eigen::Matrix<double, 2, 12> jacobianCoefficientBlock(const Eigen::Matrix<double, 3, 4>& camera);

// The 12x4 second-derivative block of one camera: row 6c+k, column b holds
// 2 p3[i] p3[j] q[b] - (q[i] p3[j] + q[j] p3[i]) p3[b] for the k-th pair (i,j) of
// (0,0) (0,1) (0,2) (1,1) (1,2) (2,2). Dotting a row with X~ gives w^3 times d2 pi_c / dX_i dX_j.
Eigen::Matrix<double, 12, 4> curvatureCoefficientBlock(const Eigen::Matrix<double, 3, 4>& camera);

// The same blocks for cameraNum stacked cameras (projections: 3 cameraNum x 4); the results are
// 2 cameraNum x 12 and 12 cameraNum x 4, camera c at rows 2c.. and 12c.. respectively.
Eigen::MatrixXd buildJacobianCoefficients(int cameraNum, const Eigen::MatrixXd& cameraProjections);
Eigen::MatrixXd buildCurvatureCoefficients(int cameraNum, const Eigen::MatrixXd& cameraProjections);

}  // namespace tessmark
