#include "model/least_squares.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include <Eigen/SVD>

#include "model/linear_solve.hpp"

namespace tessmark {

namespace {

using Index = Eigen::Index;

// The factor in the scratch: `rows` rows of three columns, column j starting at data + j * stride.
struct Factor {
  double* data;
  Index stride;
  Index rows;

  double* col(Index j) const { return data + j * stride; }
  double& operator()(Index i, Index j) const { return data[i + j * stride]; }
};

// K sums of x_k[i] y_k[i] over n terms, each added in the order of Eigen's vectorised reduction of
// a dynamic-length expression (dot, squaredNorm, the coefficients of a small product) on two-lane
// packets: two packet accumulators over blocks of four, joined, one more packet when a pair is
// left, the two lanes added, and an odd last term added alone. An empty sum is 0.
template <int K>
inline void packetOrderDots(const double* const (&x)[K], const double* const (&y)[K], Index n,
                            double (&sums)[K]) {
  if constexpr (Eigen::internal::packet_traits<double>::size != 2) {
    // Wider packets (an AVX build) add in another order: let Eigen add.
    using Vector = Eigen::Map<const Eigen::VectorXd>;
    for (int k = 0; k < K; ++k) sums[k] = n == 0 ? 0.0 : Vector(x[k], n).dot(Vector(y[k], n));
    return;
  }
  if (n < 2) {
    for (int k = 0; k < K; ++k) sums[k] = n == 1 ? x[k][0] * y[k][0] : 0.0;
    return;
  }
  const Index pairs = n / 2 * 2;
  const Index quads = n / 4 * 4;
  double lane0[K], lane1[K];
  for (int k = 0; k < K; ++k) {
    lane0[k] = x[k][0] * y[k][0];
    lane1[k] = x[k][1] * y[k][1];
  }
  if (pairs > 2) {
    double other0[K], other1[K];
    for (int k = 0; k < K; ++k) {
      other0[k] = x[k][2] * y[k][2];
      other1[k] = x[k][3] * y[k][3];
    }
    for (Index i = 4; i < quads; i += 4) {
      for (int k = 0; k < K; ++k) {
        lane0[k] += x[k][i] * y[k][i];
        lane1[k] += x[k][i + 1] * y[k][i + 1];
        other0[k] += x[k][i + 2] * y[k][i + 2];
        other1[k] += x[k][i + 3] * y[k][i + 3];
      }
    }
    for (int k = 0; k < K; ++k) {
      lane0[k] += other0[k];
      lane1[k] += other1[k];
      if (pairs > quads) {
        lane0[k] += x[k][quads] * y[k][quads];
        lane1[k] += x[k][quads + 1] * y[k][quads + 1];
      }
    }
  }
  for (int k = 0; k < K; ++k) {
    sums[k] = lane0[k] + lane1[k];
    if (pairs < n) sums[k] += x[k][n - 1] * y[k][n - 1];
  }
}

// One such sum.
inline double packetOrderDot(const double* x, const double* y, Index n) {
  double sum[1];
  packetOrderDots<1>({x}, {y}, n, sum);
  return sum[0];
}

// The reflector H = I - tau v v^T, v = (1, essential) (essential: `length` - 1 entries), that
// maps x (`length` entries) to (beta, 0, ...), stored in place: beta in x_0, the essential part
// below it. The arithmetic of Eigen's makeHouseholderInPlace; a tail of squared norm at most
// DBL_MIN gives tau = 0 and beta = x_0.
inline double makeHouseholderInPlace(double* x, Index length) {
  const double tailSquaredNorm = length == 1 ? 0.0 : packetOrderDot(x + 1, x + 1, length - 1);
  const double c0 = x[0];
  if (tailSquaredNorm <= std::numeric_limits<double>::min()) {
    std::fill(x + 1, x + length, 0.0);
    return 0.0;
  }
  double beta = std::sqrt(c0 * c0 + tailSquaredNorm);
  if (c0 >= 0.0) beta = -beta;
  const double denominator = c0 - beta;
  for (Index i = 1; i < length; ++i) x[i] /= denominator;
  x[0] = beta;
  return (beta - c0) / beta;
}

// The reflector of essential part `essential` (`length` - 1 entries) and coefficient tau applied
// from the left to `cols` columns of `length` rows, column j at block + j * stride, and to the
// column `rhs` as well unless it is null: the arithmetic of Eigen's applyHouseholderOnTheLeft
// (w = v^T B, then B - tau v w, the rank-one update as (tau v) w_j column by column). Each column
// is transformed on its own, so a right-hand side reflected here, step by step with the
// factorisation, gets the bits of Q^T applied after it. `scaled` holds tau times the essential
// part.
inline void reflectOnTheLeft(double* block, Index stride, Index length, Index cols, double* rhs,
                             const double* essential, double tau, double* scaled) {
  if (length == 1) {
    for (Index j = 0; j < cols; ++j) block[j * stride] *= 1.0 - tau;
    if (rhs != nullptr) rhs[0] *= 1.0 - tau;
    return;
  }
  if (tau == 0.0) return;
  const Index tail = length - 1;
  for (Index i = 0; i < tail; ++i) scaled[i] = tau * essential[i];
  const auto reflect = [&](double* column) {
    double w = packetOrderDot(essential, column + 1, tail);
    w += column[0];
    column[0] -= tau * w;
    for (Index i = 0; i < tail; ++i) column[i + 1] -= w * scaled[i];
  };
  for (Index j = 0; j < cols; ++j) reflect(block + j * stride);
  if (rhs != nullptr) reflect(rhs);
}

// Column j of a Jacobian.
inline const double* column(const Eigen::Ref<const JacobianMatrix>& jacobian, Index j) {
  return jacobian.data() + j * jacobian.outerStride();
}

// The factor of J and r copied into the scratch.
Factor copyIntoScratch(const Eigen::Ref<const JacobianMatrix>& jacobian,
                       const Eigen::Ref<const Eigen::VectorXd>& residuals,
                       LeastSquaresScratch& scratch) {
  const Index rows = jacobian.rows();
  eigen_assert(residuals.rows() == rows && rows <= scratch.factor.rows());
  const Factor factor{scratch.factor.data(), scratch.factor.rows(), rows};
  for (Index j = 0; j < 3; ++j) std::copy_n(column(jacobian, j), rows, factor.col(j));
  std::copy_n(residuals.data(), rows, scratch.rhs.data());
  return factor;
}

// Householder QR without pivoting, in place: R on and above the diagonal, the essential parts of
// the reflectors below it, their coefficients in `hCoeffs`, and Q^T applied to the right-hand
// side `rhs` (rows entries). The arithmetic of Eigen's unblocked HouseholderQR (which Eigen uses
// for every J of three or more rows; for two rows it updates the third column by a block
// reflector, which may differ in the last bit there, a column that the solution does not read).
void householderInPlace(const Factor& factor, Eigen::Vector3d& hCoeffs, double* rhs,
                        LeastSquaresScratch& scratch) {
  const Index size = std::min<Index>(factor.rows, 3);
  hCoeffs.setZero();
  for (Index k = 0; k < size; ++k) {
    const Index length = factor.rows - k;
    double* diagonal = &factor(k, k);
    hCoeffs(k) = makeHouseholderInPlace(diagonal, length);
    reflectOnTheLeft(diagonal + factor.stride, factor.stride, length, 2 - k, rhs + k, diagonal + 1,
                     hCoeffs(k), scratch.reflector.data());
  }
}

// Householder QR with column pivoting, in place: the arithmetic of Eigen's
// ColPivHouseholderQR::computeInPlace (largest remaining column norm first, norms downdated as in
// LAPACK's xGEQP3). Returns the number of nonzero pivots by Eigen's default threshold;
// `permutation` maps factor column i to J column indices()(i). The reflectors of the nonzero pivots
// are applied to the right-hand side `rhs`, as Q^T restricted to them is.
Index pivotingInPlace(const Factor& factor, Eigen::Vector3d& hCoeffs,
                      Eigen::PermutationMatrix<3, 3, int>& permutation, double* rhs,
                      LeastSquaresScratch& scratch) {
  using std::abs;
  const Index rows = factor.rows;
  const Index cols = 3;
  const Index size = std::min<Index>(rows, cols);
  hCoeffs.setZero();
  Eigen::Matrix<int, 1, 3> transpositions;
  Eigen::RowVector3d normsUpdated;
  Eigen::RowVector3d normsDirect;
  double squaredNorms[3];
  packetOrderDots<3>({factor.col(0), factor.col(1), factor.col(2)},
                     {factor.col(0), factor.col(1), factor.col(2)}, rows, squaredNorms);
  for (Index k = 0; k < cols; ++k) {
    normsDirect(k) = std::sqrt(squaredNorms[k]);
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
      std::swap_ranges(factor.col(k), factor.col(k) + rows, factor.col(biggest));
      std::swap(normsUpdated(k), normsUpdated(biggest));
      std::swap(normsDirect(k), normsDirect(biggest));
    }
    double* diagonal = &factor(k, k);
    hCoeffs(k) = makeHouseholderInPlace(diagonal, rows - k);
    reflectOnTheLeft(diagonal + factor.stride, factor.stride, rows - k, cols - k - 1,
                     k < nonzeroPivots ? rhs + k : nullptr, diagonal + 1, hCoeffs(k),
                     scratch.reflector.data());
    for (Index j = k + 1; j < cols; ++j) {
      if (normsUpdated(j) != 0.0) {
        double temp = abs(factor(k, j)) / normsUpdated(j);
        temp = (1.0 + temp) * (1.0 - temp);
        temp = temp < 0.0 ? 0.0 : temp;
        const double temp2 = temp * Eigen::numext::abs2(normsUpdated(j) / normsDirect(j));
        if (temp2 <= normDowndateThreshold) {
          const double* below = &factor(k + 1, j);
          normsDirect(j) = std::sqrt(packetOrderDot(below, below, rows - k - 1));
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

// The back substitution R x = c on the leading length x length triangle, in place in c: Eigen's
// column-oriented upper triangular solve (x_i = c_i / R_ii, then c_i x_i taken off the entries
// above; a c_i of exactly 0 skips its division).
void backSubstitute(const Factor& factor, Index length, double* c) {
  for (Index i = length - 1; i >= 0; --i) {
    if (c[i] != 0.0) {  // NaN divides too
      c[i] /= factor(i, i);
      for (Index s = 0; s < i; ++s) c[s] -= c[i] * factor(s, i);
    }
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
  const Factor factor = copyIntoScratch(jacobian, residuals, scratch);
  Eigen::Vector3d hCoeffs;
  double* c = scratch.rhs.data();
  householderInPlace(factor, hCoeffs, c, scratch);
  const Index rank = std::min<Index>(factor.rows, 3);
  backSubstitute(factor, rank, c);
  Eigen::Vector3d solution = Eigen::Vector3d::Zero();
  for (Index i = 0; i < rank; ++i) solution(i) = c[i];
  if (needsSvdFallback(solution)) return svdLeastSquares(jacobian, residuals, scratch);
  return solution;
}

Eigen::Vector3d pivotingLeastSquares(const Eigen::Ref<const JacobianMatrix>& jacobian,
                                     const Eigen::Ref<const Eigen::VectorXd>& residuals,
                                     LeastSquaresScratch& scratch) {
  const Factor factor = copyIntoScratch(jacobian, residuals, scratch);
  Eigen::Vector3d hCoeffs;
  Eigen::PermutationMatrix<3, 3, int> permutation;
  double* c = scratch.rhs.data();
  const Index rank = pivotingInPlace(factor, hCoeffs, permutation, c, scratch);
  Eigen::Vector3d solution = Eigen::Vector3d::Zero();
  if (rank > 0) {
    backSubstitute(factor, rank, c);
    for (Index i = 0; i < rank; ++i) solution(permutation.indices()(i)) = c[i];
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
  const Factor factor = copyIntoScratch(jacobian, residuals, scratch);
  Eigen::Vector3d hCoeffs;
  double* c = scratch.rhs.data();
  householderInPlace(factor, hCoeffs, c, scratch);
  const Index rank = std::min<Index>(factor.rows, 3);
  // R is rank x 3 (upper trapezoidal when J has fewer than 3 rows).
  using Triangle = Eigen::Matrix<double, Eigen::Dynamic, 3, Eigen::ColMajor, 3, 3>;
  Triangle r = Triangle::Zero(rank, 3);
  for (Index i = 0; i < rank; ++i) {
    for (Index j = i; j < 3; ++j) r(i, j) = factor(i, j);
  }
  const Eigen::Matrix<double, Eigen::Dynamic, 1, Eigen::ColMajor, 3, 1> top =
      Eigen::Map<const Eigen::VectorXd>(c, rank);
  return svdSolve(r, top);
}

Eigen::Matrix3d normalMatrix(const Eigen::Ref<const JacobianMatrix>& jacobian) {
  const double* c0 = column(jacobian, 0);
  const double* c1 = column(jacobian, 1);
  const double* c2 = column(jacobian, 2);
  double d[6];
  packetOrderDots<6>({c0, c0, c0, c1, c1, c2}, {c0, c1, c2, c1, c2, c2}, jacobian.rows(), d);
  Eigen::Matrix3d normal;
  normal << d[0], d[1], d[2], d[1], d[3], d[4], d[2], d[4], d[5];
  return normal;
}

Eigen::Vector3d normalGradient(const Eigen::Ref<const JacobianMatrix>& jacobian,
                               const Eigen::Ref<const Eigen::VectorXd>& residuals) {
  const double* r = residuals.data();
  double d[3];
  packetOrderDots<3>({column(jacobian, 0), column(jacobian, 1), column(jacobian, 2)}, {r, r, r},
                     jacobian.rows(), d);
  return {d[0], d[1], d[2]};
}

}  // namespace tessmark
