#pragma once
// Least-squares kernels for the 2n x 3 systems of the residual-based solvers, computed in storage
// the caller owns (the workspace's scratch), so that no call touches the heap. They are plain loops
// over the scratch's columns that reproduce Eigen's dynamic-size decompositions bit for bit (the
// same reflectors, sums added in the order of Eigen's two-lane packet reductions, the same back
// substitution); tests/model/least_squares_test.cpp checks them against Eigen for every length on
// the default x86-64 build (SSE2, no fused multiply-add).

#include <Eigen/Core>

namespace tessmark {

// A 2n x 3 Jacobian: the view count is the only dynamic size.
using JacobianMatrix = Eigen::Matrix<double, Eigen::Dynamic, 3>;

// Room for one factorisation of a Jacobian with at most 2 maxViewNum rows: the factor is computed
// in place here, and the right-hand side is transformed here, so the caller's J and r stay intact.
struct LeastSquaresScratch {
  explicit LeastSquaresScratch(int maxViewNum);

  JacobianMatrix factor;      // 2m x 3
  Eigen::VectorXd rhs;        // 2m
  Eigen::VectorXd reflector;  // 2m: a reflector's vector times its coefficient
};

// The solution d of min |J d - r| by Householder QR without pivoting: the arithmetic of Eigen's
// HouseholderQR<JacobianMatrix>::solve (Q^T r, then back substitution on the leading min(rows, 3)
// columns of R; with fewer than 3 rows the remaining components are 0). When the FIRST component of
// that solution is NaN (and only then), the least-squares, minimum-norm solution from a singular
// value decomposition instead (svdLeastSquares). J and r must have the same number of rows, at most
// the scratch's capacity.
Eigen::Vector3d householderLeastSquares(const Eigen::Ref<const JacobianMatrix>& jacobian,
                                        const Eigen::Ref<const Eigen::VectorXd>& residuals,
                                        LeastSquaresScratch& scratch);

// The same with column-pivoting Householder QR (rank-revealing, Eigen's default threshold): the
// arithmetic of Eigen's ColPivHouseholderQR<JacobianMatrix>::solve, components beyond the detected
// rank 0, and the same SVD fallback when the first component is NaN.
Eigen::Vector3d pivotingLeastSquares(const Eigen::Ref<const JacobianMatrix>& jacobian,
                                     const Eigen::Ref<const Eigen::VectorXd>& residuals,
                                     LeastSquaresScratch& scratch);

// The least-squares, minimum-norm solution of J d = r. Computed as the two-sided Jacobi SVD
// (Eigen's default threshold) of the triangular factor R of a Householder QR of J, applied to Q^T
// r: R has the singular values of J, and min |R d - Q^T r| has the same minimum-norm solution as
// min |J d - r|. Without the 2n x 2n or 2n x 3 factors of an SVD of J itself, nothing is allocated.
// A J with a non-finite entry has no decomposition: the result is then all NaN (a non-finite r
// gives a non-finite result).
Eigen::Vector3d svdLeastSquares(const Eigen::Ref<const JacobianMatrix>& jacobian,
                                const Eigen::Ref<const Eigen::VectorXd>& residuals,
                                LeastSquaresScratch& scratch);

// J^T J, each entry the dot product of two columns of J; the entries above the diagonal are
// computed and mirrored.
Eigen::Matrix3d normalMatrix(const Eigen::Ref<const JacobianMatrix>& jacobian);

// J^T r, each component the dot product of a column of J with r.
Eigen::Vector3d normalGradient(const Eigen::Ref<const JacobianMatrix>& jacobian,
                               const Eigen::Ref<const Eigen::VectorXd>& residuals);

}  // namespace tessmark
