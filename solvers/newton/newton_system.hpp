#pragma once
// The Newton system shared by the Newton-family solvers.

#include <optional>

#include <Eigen/Cholesky>
#include <Eigen/Core>
#include <Eigen/SVD>

#include "model/linear_solve.hpp"
#include "model/small_kernels.hpp"

namespace tessmark {

// dx with H dx = g: LDLT of H (symmetric pivoting, lower triangle read; ldltSolve of
// model/small_kernels.hpp, Eigen's LDLT bit for bit); when the first component of that solution is
// NaN, the SVD least-squares solution instead. Eigen's LDLT drops exactly zero
// pivots (their components come out 0), so a NaN normally needs non-finite input or overflow.
inline Eigen::Vector3d solveNewtonSystem(const Eigen::Matrix3d& hessian,
                                         const Eigen::Vector3d& gradient);

// The Newton system of solveNewtonSystem, with its factorisation kept for further right-hand sides
// (Jarratt's iteration solves with H twice). The first solve, H u = g, decides the factorisation
// once: LDLT, or, when u's first component is NaN, a two-sided Jacobi SVD of H (least-squares,
// minimum-norm solutions) that then also serves every later solve. A non-finite H has no SVD: the
// fallback's solutions are then all NaN. Fixed-size storage only: nothing is allocated.
class NewtonFactorisation {
 public:
  NewtonFactorisation(const Eigen::Matrix3d& hessian, const Eigen::Vector3d& gradient);

  // u, the solution of H u = g.
  const Eigen::Vector3d& step() const { return step_; }
  // Whether the SVD replaced the LDLT.
  bool usesSvd() const { return usesSvd_; }
  // X with H X = B, by the factorisation chosen for u.
  Eigen::Matrix3d solve(const Eigen::Matrix3d& rightHandSides) const;

 private:
  Eigen::Matrix3d hessian_;  // factorised by Eigen's LDLT for solve() when not finite
  SymmetricLdlt ldlt_;       // the factors of a finite H
  std::optional<Eigen::JacobiSVD<Eigen::Matrix3d>> svd_;  // only for the fallback of a finite H
  bool finite_ = false;
  bool usesSvd_ = false;
  bool svdComputed_ = false;
  Eigen::Vector3d step_;
};

inline Eigen::Vector3d solveNewtonSystem(const Eigen::Matrix3d& hessian,
                                         const Eigen::Vector3d& gradient) {
  // The LDLT solve alone, without the room for the fallback's decomposition, unless it is needed.
  const Eigen::Vector3d step = ldltSolve(hessian, gradient);
  if (!needsSvdFallback(step)) return step;
  return NewtonFactorisation(hessian, gradient).step();
}

}  // namespace tessmark
