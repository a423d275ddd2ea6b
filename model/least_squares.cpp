#include "model/least_squares.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include <Eigen/Householder>
#include <Eigen/SVD>

#include "model/linear_solve.hpp"

namespace tessmark {

namespace {

using FactorView = Eigen::Ref<JacobianMatrix>;
using Index = Eigen::Index;

// The factor block of the scratch, holding a copy of J, and the right-hand side block holding r.
FactorView copyIntoScratch(const Eigen::Ref<const JacobianMatrix>& jacobian,
                           const Eigen::Ref<const Eigen::VectorXd>& residuals,
                           LeastSquaresScratch& scratch) {
  const Index rows = jacobian.rows();
  eigen_assert(residuals.rows() == rows && rows <= scratch.factor.rows());
  scratch.factor.topRows(rows) = jacobian;
  scratch.rhs.head(rows) = residuals;
  return scratch.factor.topRows(rows);
}

// The reflector H = I - tau v v^T, v = (1, essential), applied from the left to `block`: the
// arithmetic of Eigen's MatrixBase::applyHouseholderOnTheLeft, whose rank-one update evaluates
// tau * essential into a heap temporary when the block's size is dynamic; here that product is
// kept in the scratch and the update runs column by column, as Eigen's outer product does.
template <typename Block, typename Essential>
void reflectOnTheLeft(Block block, const Essential& essential, double tau, double* workspace,
                      LeastSquaresScratch& scratch) {
  if (block.rows() == 1) {
    block *= 1.0 - tau;
    return;
  }
  if (tau == 0.0) return;
  Eigen::Map<Eigen::Matrix<double, 1, Eigen::Dynamic, Eigen::RowMajor, 1, 3>> tmp(workspace,
                                                                                  block.cols());
  auto bottom = block.bottomRows(block.rows() - 1);
  tmp.noalias() = essential.adjoint() * bottom;
  tmp += block.row(0);
  block.row(0) -= tau * tmp;
  auto scaled = scratch.reflector.head(essential.size());
  scaled = tau * essential;
  for (Index j = 0; j < block.cols(); ++j) bottom.col(j) -= tmp(j) * scaled;
}

// Householder QR without pivoting, in place: R on and above the diagonal, the essential parts of
// the reflectors below it, their coefficients in `hCoeffs`. The arithmetic of Eigen's unblocked
// HouseholderQR (which Eigen uses for every J of three or more rows; for two rows it updates the
// third column by a block reflector, which may differ in the last bit there, a column that the
// solution does not read).
void householderInPlace(FactorView factor, Eigen::Vector3d& hCoeffs, LeastSquaresScratch& scratch) {
  const Index rows = factor.rows();
  const Index size = std::min<Index>(rows, 3);
  hCoeffs.setZero();
  Eigen::RowVector3d workspace;
  for (Index k = 0; k < size; ++k) {
    const Index remainingRows = rows - k;
    double beta;
    factor.col(k).tail(remainingRows).makeHouseholderInPlace(hCoeffs(k), beta);
    factor(k, k) = beta;
    reflectOnTheLeft(factor.bottomRightCorner(remainingRows, 2 - k),
                     factor.col(k).tail(remainingRows - 1), hCoeffs(k), workspace.data() + k + 1,
                     scratch);
  }
}

// Householder QR with column pivoting, in place: the arithmetic of Eigen's
// ColPivHouseholderQR::computeInPlace (largest remaining column norm first, norms downdated as in
// LAPACK's xGEQP3). Returns the number of nonzero pivots by Eigen's default threshold;
// `permutation` maps factor column i to J column indices()(i).
Index pivotingInPlace(FactorView factor, Eigen::Vector3d& hCoeffs,
                      Eigen::PermutationMatrix<3, 3, int>& permutation,
                      LeastSquaresScratch& scratch) {
  using std::abs;
  const Index rows = factor.rows();
  const Index cols = 3;
  const Index size = std::min<Index>(rows, cols);
  hCoeffs.setZero();
  Eigen::RowVector3d workspace;
  Eigen::Matrix<int, 1, 3> transpositions;
  Eigen::RowVector3d normsUpdated;
  Eigen::RowVector3d normsDirect;
  for (Index k = 0; k < cols; ++k) {
    normsDirect(k) = factor.col(k).norm();
    normsUpdated(k) = normsDirect(k);
  }
  const double thresholdHelper =
      Eigen::numext::abs2(normsUpdated.maxCoeff() * Eigen::NumTraits<double>::epsilon()) /
      double(rows);
  const double normDowndateThreshold = std::sqrt(Eigen::NumTraits<double>::epsilon());
  Index nonzeroPivots = size;
  for (Index k = 0; k < size; ++k) {
    Index biggest;
    const double biggestSquaredNorm =
        Eigen::numext::abs2(normsUpdated.tail(cols - k).maxCoeff(&biggest));
    biggest += k;
    if (nonzeroPivots == size && biggestSquaredNorm < thresholdHelper * double(rows - k)) {
      nonzeroPivots = k;
    }
    transpositions(k) = static_cast<int>(biggest);
    if (k != biggest) {
      factor.col(k).swap(factor.col(biggest));
      std::swap(normsUpdated(k), normsUpdated(biggest));
      std::swap(normsDirect(k), normsDirect(biggest));
    }
    double beta;
    factor.col(k).tail(rows - k).makeHouseholderInPlace(hCoeffs(k), beta);
    factor(k, k) = beta;
    reflectOnTheLeft(factor.bottomRightCorner(rows - k, cols - k - 1),
                     factor.col(k).tail(rows - k - 1), hCoeffs(k), workspace.data() + k + 1,
                     scratch);
    for (Index j = k + 1; j < cols; ++j) {
      if (normsUpdated(j) != 0.0) {
        double temp = abs(factor(k, j)) / normsUpdated(j);
        temp = (1.0 + temp) * (1.0 - temp);
        temp = temp < 0.0 ? 0.0 : temp;
        const double temp2 = temp * Eigen::numext::abs2(normsUpdated(j) / normsDirect(j));
        if (temp2 <= normDowndateThreshold) {
          normsDirect(j) = factor.col(j).tail(rows - k - 1).norm();
          normsUpdated(j) = normsDirect(j);
        } else {
          normsUpdated(j) *= std::sqrt(temp);
        }
      }
    }
  }
  permutation.setIdentity(3);
  for (int k = 0; k < size; ++k) permutation.applyTranspositionOnTheRight(k, transpositions(k));
  return nonzeroPivots;
}

// c <- Q^T c = H_{length-1} ... H_0 c for the first `length` reflectors of a factor: the arithmetic
// of Eigen's HouseholderSequence::adjoint().applyThisOnTheLeft, reflector by reflector.
void applyQTranspose(const FactorView& factor, const Eigen::Vector3d& hCoeffs, Index length,
                     Eigen::Ref<Eigen::VectorXd> c, LeastSquaresScratch& scratch) {
  const Index rows = factor.rows();
  double workspace = 0.0;
  for (Index k = 0; k < length; ++k) {
    const Eigen::Block<const FactorView, Eigen::Dynamic, 1> essential(factor, k + 1, k,
                                                                      rows - k - 1, 1);
    reflectOnTheLeft(c.bottomRightCorner(rows - k, c.cols()), essential, hCoeffs(k), &workspace,
                     scratch);
  }
}

}  // namespace

LeastSquaresScratch::LeastSquaresScratch(int maxViewNum)
    : factor(JacobianMatrix::Zero(2 * Eigen::Index{maxViewNum}, 3)),
      rhs(Eigen::VectorXd::Zero(2 * Eigen::Index{maxViewNum})),
      reflector(Eigen::VectorXd::Zero(2 * Eigen::Index{maxViewNum})) {}

Eigen::Vector3d householderLeastSquares(const Eigen::Ref<const JacobianMatrix>& jacobian,
                                        const Eigen::Ref<const Eigen::VectorXd>& residuals,
                                        LeastSquaresScratch& scratch) {
  FactorView factor = copyIntoScratch(jacobian, residuals, scratch);
  Eigen::Vector3d hCoeffs;
  householderInPlace(factor, hCoeffs, scratch);
  auto c = scratch.rhs.head(jacobian.rows());
  const Index rank = std::min<Index>(jacobian.rows(), 3);
  applyQTranspose(factor, hCoeffs, rank, c, scratch);
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
  Eigen::Vector3d hCoeffs;
  Eigen::PermutationMatrix<3, 3, int> permutation;
  const Index rank = pivotingInPlace(factor, hCoeffs, permutation, scratch);
  Eigen::Vector3d solution = Eigen::Vector3d::Zero();
  if (rank > 0) {
    auto c = scratch.rhs.head(jacobian.rows());
    applyQTranspose(factor, hCoeffs, rank, c, scratch);
    factor.topLeftCorner(rank, rank).triangularView<Eigen::Upper>().solveInPlace(c.head(rank));
    for (Index i = 0; i < rank; ++i) solution(permutation.indices()(i)) = c(i);
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
  Eigen::Vector3d hCoeffs;
  householderInPlace(factor, hCoeffs, scratch);
  auto c = scratch.rhs.head(jacobian.rows());
  const Index rank = std::min<Index>(jacobian.rows(), 3);
  applyQTranspose(factor, hCoeffs, rank, c, scratch);
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
