#include "model/least_squares.hpp"

#include <algorithm>
#include <limits>

#include <Eigen/Householder>
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

// Eigen's MatrixBase::applyHouseholderOnTheLeft, H = I - tau v v^T with v = (1, essential), in the
// same arithmetic, except that the rank-one update is written column by column: Eigen evaluates
// tau * essential into a heap temporary when the row count is dynamic.
template <typename Target, typename Essential>
void applyReflector(Target&& target, const Essential& essential, double tau, double* workspace) {
  if (target.rows() == 1) {
    target *= 1.0 - tau;
    return;
  }
  if (tau == 0.0) return;
  using Row = Eigen::Matrix<double, 1, Eigen::Dynamic, Eigen::RowMajor, 1, 3>;
  Eigen::Map<Row> tmp(workspace, target.cols());
  auto bottom = target.bottomRows(target.rows() - 1);
  tmp.noalias() = essential.adjoint() * bottom;
  tmp += target.row(0);
  target.row(0) -= tau * tmp;
  for (Eigen::Index j = 0; j < target.cols(); ++j) bottom.col(j) -= tmp(j) * (tau * essential);
}

// The Householder QR of the factor in place, as Eigen's HouseholderQR computes it (one reflector
// per column, applied to the columns on its right), and Q^T applied to the right-hand side block:
// on return the factor holds R above its diagonal and the reflectors below, and the right-hand
// side holds Q^T r. Returns the number of reflectors, min(rows, 3). (With fewer than 3 rows Eigen
// updates the last column as one block; R's last column may then differ from its in rounding, the
// least-squares solution does not.)
Eigen::Index householderInPlace(FactorView factor, Eigen::Ref<Eigen::VectorXd> rhs) {
  const Eigen::Index rows = factor.rows();
  const Eigen::Index size = std::min<Eigen::Index>(rows, 3);
  Eigen::Vector3d coefficients = Eigen::Vector3d::Zero();
  double workspace[3];
  for (Eigen::Index k = 0; k < size; ++k) {
    double beta;
    factor.col(k).tail(rows - k).makeHouseholderInPlace(coefficients(k), beta);
    factor(k, k) = beta;
    applyReflector(factor.bottomRightCorner(rows - k, 3 - k - 1), factor.col(k).tail(rows - k - 1),
                   coefficients(k), workspace + k + 1);
  }
  for (Eigen::Index k = 0; k < size; ++k) {
    applyReflector(rhs.bottomRightCorner(rows - k, 1), factor.col(k).tail(rows - k - 1),
                   coefficients(k), workspace);
  }
  return size;
}

}  // namespace

LeastSquaresScratch::LeastSquaresScratch(int maxViewNum)
    : factor(JacobianMatrix::Zero(2 * Eigen::Index{maxViewNum}, 3)),
      rhs(Eigen::VectorXd::Zero(2 * Eigen::Index{maxViewNum})) {}

Eigen::Vector3d householderLeastSquares(const Eigen::Ref<const JacobianMatrix>& jacobian,
                                        const Eigen::Ref<const Eigen::VectorXd>& residuals,
                                        LeastSquaresScratch& scratch) {
  FactorView factor = copyIntoScratch(jacobian, residuals, scratch);
  auto c = scratch.rhs.head(jacobian.rows());
  const Eigen::Index rank = householderInPlace(factor, c);
  factor.topLeftCorner(rank, rank).triangularView<Eigen::Upper>().solveInPlace(c.head(rank));
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
  auto c = scratch.rhs.head(jacobian.rows());
  const Eigen::Index rank = householderInPlace(factor, c);
  // R is rank x 3 (upper trapezoidal when J has fewer than 3 rows).
  using Triangle = Eigen::Matrix<double, Eigen::Dynamic, 3, Eigen::ColMajor, 3, 3>;
  const Triangle r = factor.topRows(rank).triangularView<Eigen::Upper>();
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
