#pragma once
// The NaN fallback shared by the model and the solvers: a linear system is solved with the
// factorisation its caller names; when the FIRST component of that solution is NaN (and only then,
// a NaN elsewhere or an infinity does not count), the same system is solved again by a Jacobi
// singular value decomposition and its least-squares, minimum-norm solution is taken.

#include <cmath>
#include <limits>

#include <Eigen/Core>
#include <Eigen/SVD>

namespace tessmark {

// Whether a first solve must be replaced by the singular-value fallback.
template <typename Derived>
bool needsSvdFallback(const Eigen::MatrixBase<Derived>& solution) {
  return std::isnan(solution(0, 0));
}

// The least-squares, minimum-norm solution of A x = b from a two-sided Jacobi SVD (column-pivoting
// QR preconditioning); singular values below Eigen's default threshold count as zero.
// A matrix with a non-finite entry has no decomposition: the solution is then all NaN (Eigen leaves
// such a decomposition uninitialised, and solving with it would read garbage).
template <typename MatrixType, typename RhsType>
auto svdSolve(const MatrixType& a, const RhsType& b) {
  using Plain = typename MatrixType::PlainObject;
  using Solution = typename RhsType::PlainObject;
  if (!a.allFinite()) {
    return Solution(
        Solution::Constant(a.cols(), b.cols(), std::numeric_limits<double>::quiet_NaN()));
  }
  constexpr int options = Plain::ColsAtCompileTime == Eigen::Dynamic
                              ? Eigen::ComputeThinU | Eigen::ComputeThinV
                              : Eigen::ComputeFullU | Eigen::ComputeFullV;
  const Eigen::JacobiSVD<Plain> svd(a, options);
  return Solution(svd.solve(b));
}

}  // namespace tessmark
