#include "model/least_squares.hpp"

#include <algorithm>
#include <limits>

#include <Eigen/QR>
#include <Eigen/SVD>

#include "model/linear_solve.hpp"

namespace tessmark {

namespace {

using FactorView = Eigen::Ref<JacobianMatrix>;

// The factor block of the scratch, holding a copy of J, and the right-hand side block holding r.
FactorView copyIntoScratch(const Eigen::Ref<const JacobianMatrix>& jacobian,
                           const Eigen::Ref<const Eigen::VectorXd>& residuals,
                           LeastSquaresScratch& scratch) {
  const Eigen::Index rows = jacobian.rows();
  eigen_assert(residuals.rows() == rows && rows <= scratch.factor.rows());
  scratch.factor.topRows(rows) = jacobian;
  scratch.rhs.head(rows) = residuals;
  return scratch.factor.topRows(rows);
}

}  // namespace

LeastSquaresScratch::LeastSquaresScratch(int maxViewNum)
    : factor(JacobianMatrix::Zero(2 * Eigen::Index{maxViewNum}, 3)),
      rhs(Eigen::VectorXd::Zero(2 * Eigen::Index{maxViewNum})) {}

Eigen::Vector3d householderLeastSquares(const Eigen::Ref<const JacobianMatrix>& jacobian,
                                        const Eigen::Ref<const Eigen::VectorXd>& residuals,
                                        LeastSquaresScratch& scratch) {
  FactorView factor = copyIntoScratch(jacobian, residuals, scratch);
  const Eigen::HouseholderQR<FactorView> qr(factor);  // in place, in the scratch
  auto c = scratch.rhs.head(jacobian.rows());
  const Eigen::Index rank = std::min<Eigen::Index>(jacobian.rows(), 3);
  c.applyOnTheLeft(qr.householderQ().setLength(rank).adjoint());
  qr.matrixQR().topLeftCorner(rank, rank).triangularView<Eigen::Upper>().solveInPlace(c.head(rank));
  Eigen::Vector3d solution = Eigen::Vector3d::Zero();
  solution.head(rank) = c.head(rank);
  if (needsSvdFallback(solution)) return svdLeastSquares(jacobian, residuals, scratch);
  return solution;
}

Eigen::Vector3d pivotingLeastSquares(const Eigen::Ref<const JacobianMatrix>& jacobian,
                                     const Eigen::Ref<const Eigen::VectorXd>& residuals,
                                     LeastSquaresScratch& scratch) {
  FactorView factor = copyIntoScratch(jacobian, residuals, scratch);
  const Eigen::ColPivHouseholderQR<FactorView> qr(factor);  // in place, in the scratch
  Eigen::Vector3d solution = Eigen::Vector3d::Zero();
  const Eigen::Index rank = qr.nonzeroPivots();
  if (rank > 0) {
    auto c = scratch.rhs.head(jacobian.rows());
    c.applyOnTheLeft(qr.householderQ().setLength(rank).adjoint());
    qr.matrixQR()
        .topLeftCorner(rank, rank)
        .triangularView<Eigen::Upper>()
        .solveInPlace(c.head(rank));
    for (Eigen::Index i = 0; i < rank; ++i) solution(qr.colsPermutation().indices()(i)) = c(i);
  }
  if (needsSvdFallback(solution)) return svdLeastSquares(jacobian, residuals, scratch);
  return solution;
}

Eigen::Vector3d svdLeastSquares(const Eigen::Ref<const JacobianMatrix>& jacobian,
                                const Eigen::Ref<const Eigen::VectorXd>& residuals,
                                LeastSquaresScratch& scratch) {
  if (!jacobian.allFinite()) {
    return Eigen::Vector3d::Constant(std::numeric_limits<double>::quiet_NaN());
  }
  FactorView factor = copyIntoScratch(jacobian, residuals, scratch);
  const Eigen::HouseholderQR<FactorView> qr(factor);
  auto c = scratch.rhs.head(jacobian.rows());
  const Eigen::Index rank = std::min<Eigen::Index>(jacobian.rows(), 3);
  c.applyOnTheLeft(qr.householderQ().setLength(rank).adjoint());
  // R is rank x 3 (upper trapezoidal when J has fewer than 3 rows).
  using Triangle = Eigen::Matrix<double, Eigen::Dynamic, 3, Eigen::ColMajor, 3, 3>;
  const Triangle r = qr.matrixQR().topRows(rank).triangularView<Eigen::Upper>();
  const Eigen::Matrix<double, Eigen::Dynamic, 1, Eigen::ColMajor, 3, 1> top = c.head(rank);
  return svdSolve(r, top);
}

Eigen::Matrix3d normalMatrix(const Eigen::Ref<const JacobianMatrix>& jacobian) {
  Eigen::Matrix3d normal;
  for (int i = 0; i < 3; ++i) {
    for (int j = i; j < 3; ++j) {
      normal(i, j) = jacobian.col(i).dot(jacobian.col(j));
      normal(j, i) = normal(i, j);
    }
  }
  return normal;
}

Eigen::Vector3d normalGradient(const Eigen::Ref<const JacobianMatrix>& jacobian,
                               const Eigen::Ref<const Eigen::VectorXd>& residuals) {
  return {jacobian.col(0).dot(residuals), jacobian.col(1).dot(residuals),
          jacobian.col(2).dot(residuals)};
}

}  // namespace tessmark
