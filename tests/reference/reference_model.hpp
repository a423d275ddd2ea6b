#pragma once
// Reference (slow, plain) forms of the per-point kernels, kept as oracles for the fast ones: the
// derivatives evaluated from the per-view pieces in the layout of model/coefficients.hpp (view by
// view, one quantity at a time, with Eigen's dynamic row views and dot products), and the 3x3
// decisions by Eigen's general solvers.

#include <Eigen/Core>

#include "model/derivatives.hpp"
#include "tools/synthetic_scene.hpp"

namespace tessmark::reference {

double reprojectionCost(const synthetic::PointData& data, const Eigen::Vector3d& x);
Eigen::Vector3d costGradient(const synthetic::PointData& data, const Eigen::Vector3d& x,
                             DepthGuard guard);
HessianParts hessianParts(const synthetic::PointData& data, const Eigen::Vector3d& x,
                          DepthGuard guard);

// x with A x = b by Eigen's HouseholderQR.
Eigen::Vector3d householderSolve(const Eigen::Matrix3d& a, const Eigen::Vector3d& b);
// Z with A Z = B by Eigen's ColPivHouseholderQR.
Eigen::Matrix3d colPivHouseholderSolve(const Eigen::Matrix3d& a, const Eigen::Matrix3d& b);
// x with H x = g by Eigen's LDLT (lower triangle read).
Eigen::Vector3d ldltSolve(const Eigen::Matrix3d& h, const Eigen::Vector3d& g);
// The eigenvalues of a symmetric matrix by Eigen's iterative SelfAdjointEigenSolver (increasing).
Eigen::Vector3d symmetricEigenvalues(const Eigen::Matrix3d& matrix);
// The largest real part of a general matrix's eigenvalues by Eigen's EigenSolver.
double largestRealEigenvalue(const Eigen::Matrix3d& matrix);

}  // namespace tessmark::reference
