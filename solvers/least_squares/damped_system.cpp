#include "solvers/least_squares/damped_system.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "model/derivatives.hpp"

namespace tessmark {

namespace {

Eigen::Matrix3d damped(Eigen::Matrix3d matrix, double mu) {
  matrix.diagonal().array() += mu;
  return matrix;
}

}  // namespace

DampedSystem::DampedSystem(const Eigen::Matrix3d& matrix, double mu) {
  const Eigen::Matrix3d system = damped(matrix, mu);
  finite_ = system.allFinite();
  if (finite_) {
    factors_ = symmetricLdlt(system);
  } else {
    ldlt_.compute(system);
  }
  const Eigen::Vector3d pivots = finite_ ? factors_.d : Eigen::Vector3d(ldlt_.vectorD());
  double largest = 0.0;
  for (int i = 0; i < 3; ++i) largest = std::max(largest, std::abs(pivots(i)));
  negligiblePivot_ = std::max(kDblEpsilon * largest, 1.0 / std::numeric_limits<double>::max());
}

Eigen::Vector3d DampedSystem::solve(const Eigen::Vector3d& rhs) const {
  Eigen::Vector3d d;
  if (finite_) {
    d = ldltForward(factors_, rhs);
  } else {
    d = ldlt_.transpositionsP() * rhs;
    ldlt_.matrixL().solveInPlace(d);
  }
  const Eigen::Vector3d pivots = finite_ ? factors_.d : Eigen::Vector3d(ldlt_.vectorD());
  for (int i = 0; i < 3; ++i) {
    const double pivot = pivots(i);
    d(i) = std::abs(pivot) <= negligiblePivot_ ? 0.0 : d(i) / pivot;  // a NaN pivot divides
  }
  if (finite_) return ldltBackward(factors_, d);
  ldlt_.matrixU().solveInPlace(d);
  return ldlt_.transpositionsP().transpose() * d;
}

Eigen::Vector3d solveDampedSystem(const Eigen::Matrix3d& matrix, double mu,
                                  const Eigen::Vector3d& rhs) {
  return DampedSystem(matrix, mu).solve(rhs);
}

}  // namespace tessmark
