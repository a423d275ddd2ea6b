#include "solvers/least_squares/damped_system.hpp"

namespace tessmark {

void DampedSystem::factoriseNonFinite(const Eigen::Matrix3d& system) {
  ldlt_.compute(system);
  negligiblePivot_ = negligiblePivot(ldlt_.vectorD());
}

Eigen::Vector3d DampedSystem::solveNonFinite(const Eigen::Vector3d& rhs) const {
  Eigen::Vector3d d = ldlt_.transpositionsP() * rhs;
  ldlt_.matrixL().solveInPlace(d);
  d = divideByPivots(d, ldlt_.vectorD());
  ldlt_.matrixU().solveInPlace(d);
  return ldlt_.transpositionsP().transpose() * d;
}

}  // namespace tessmark
