#pragma once
// The damped linear system of the Levenberg-Marquardt solvers: (M + mu I) d = b for a symmetric
// 3x3 M (the Gauss-Newton matrix J^T J or the exact Hessian) and a damping mu >= 0.

#include <algorithm>
#include <cmath>
#include <limits>

#include <Eigen/Cholesky>
#include <Eigen/Core>

#include "model/derivatives.hpp"
#include "model/small_kernels.hpp"

namespace tessmark {

// One factorisation of M + mu I, for one or more right-hand sides.
//
// M + mu I (mu added to the three diagonal entries of a copy of M) is factorised as
// P^T L D L^T P by LDLT with symmetric pivoting, reading the lower triangle. In the diagonal
// solve, a pivot D_ii with |D_ii| <= max(DBL_EPSILON * max_j |D_jj|, 1 / DBL_MAX) gives a zero
// component instead of a division; every other pivot divides, a NaN pivot included, so that a
// non-finite system gives a non-finite solution rather than a quiet zero step. (Eigen 3.4's own
// LDLT::solve drops only pivots at or below DBL_MIN, and zeroes NaN ones, so the solve is written
// out here.) NaN pivots are left out of the maximum. There is no fallback decomposition and no test
// of the solution: an indefinite M + mu I is solved as it is. The factors are Eigen's (the direct
// 3x3 form of its LDLT for a finite M + mu I, Eigen's decomposition itself otherwise).
class DampedSystem {
 public:
  DampedSystem(const Eigen::Matrix3d& matrix, double mu);

  // d with (M + mu I) d = rhs.
  Eigen::Vector3d solve(const Eigen::Vector3d& rhs) const;

 private:
  // The pivot magnitude at or below which a pivot gives a zero component.
  static double negligiblePivot(const Eigen::Vector3d& pivots);
  // d / D, componentwise, a negligible pivot giving 0.
  Eigen::Vector3d divideByPivots(Eigen::Vector3d d, const Eigen::Vector3d& pivots) const;
  // The same two steps for a non-finite M + mu I, by Eigen's decomposition.
  void factoriseNonFinite(const Eigen::Matrix3d& system);
  Eigen::Vector3d solveNonFinite(const Eigen::Vector3d& rhs) const;

  SymmetricLdlt factors_;              // of a finite M + mu I
  Eigen::LDLT<Eigen::Matrix3d> ldlt_;  // of a non-finite one
  bool finite_;
  double negligiblePivot_;
};

// The finite path is defined here, so that it compiles into the solvers' iterations.

inline double DampedSystem::negligiblePivot(const Eigen::Vector3d& pivots) {
  double largest = 0.0;
  for (int i = 0; i < 3; ++i) largest = std::max(largest, std::abs(pivots(i)));
  return std::max(kDblEpsilon * largest, 1.0 / std::numeric_limits<double>::max());
}

inline Eigen::Vector3d DampedSystem::divideByPivots(Eigen::Vector3d d,
                                                    const Eigen::Vector3d& pivots) const {
  for (int i = 0; i < 3; ++i) {
    const double pivot = pivots(i);
    d(i) = std::abs(pivot) <= negligiblePivot_ ? 0.0 : d(i) / pivot;  // a NaN pivot divides
  }
  return d;
}

EIGEN_ALWAYS_INLINE DampedSystem::DampedSystem(const Eigen::Matrix3d& matrix, double mu) {
  Eigen::Matrix3d system = matrix;
  system.diagonal().array() += mu;
  finite_ = system.allFinite();
  if (!finite_) {
    factoriseNonFinite(system);
    return;
  }
  factors_ = symmetricLdlt(system);
  negligiblePivot_ = negligiblePivot(factors_.d);
}

inline Eigen::Vector3d DampedSystem::solve(const Eigen::Vector3d& rhs) const {
  if (!finite_) return solveNonFinite(rhs);
  return ldltBackward(factors_, divideByPivots(ldltForward(factors_, rhs), factors_.d));
}

// d with (M + mu I) d = rhs, by DampedSystem.
inline Eigen::Vector3d solveDampedSystem(const Eigen::Matrix3d& matrix, double mu,
                                         const Eigen::Vector3d& rhs) {
  return DampedSystem(matrix, mu).solve(rhs);
}

}  // namespace tessmark
