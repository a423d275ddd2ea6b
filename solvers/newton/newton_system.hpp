#pragma once
// The Newton system shared by the Newton-family solvers.

#include <Eigen/Core>

namespace tessmark {

// dx with H dx = g: LDLT of H (symmetric pivoting, lower triangle read); when the first component
// of that solution is NaN, the SVD least-squares solution instead. Eigen's LDLT drops exactly zero
// pivots (their components come out 0), so a NaN normally needs non-finite input or overflow.
Eigen::Vector3d solveNewtonSystem(const Eigen::Matrix3d& hessian, const Eigen::Vector3d& gradient);

}  // namespace tessmark
