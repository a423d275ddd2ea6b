#pragma once
// The 3x3 kernels of the per-point path, in one place: each is the direct, fixed-size form of a
// general Eigen method, and each is checked against that method (the reference) in
// tests/model/small_kernels_test.cpp, on synthetic matrices and on the real data sets.

#include <Eigen/Core>

namespace tessmark {

// x with A x = b by Householder QR of A, bit for bit the result of Eigen's
// HouseholderQR<Matrix3d>(A).solve(b), in straight-line fixed-size code: the same reflectors
// (Eigen's makeHouseholder and applyHouseholderOnTheLeft, sums in Eigen's order) and the same back
// substitution (x_i = c_i / R_ii, a zero c_i skips its division). When A is upper triangular
// (exact zeros below the diagonal, as calibration matrices are by construction) every reflector
// is the identity and R = A, so the solve is the back substitution alone. A singular R gives
// infinities or NaN exactly where Eigen's does; a non-finite entry in A or b sends the solve to
// Eigen's decomposition itself.
Eigen::Vector3d householderSolve(const Eigen::Matrix3d& a, const Eigen::Vector3d& b);

// x with A x = b by a Householder QR of A (no pivoting) computed here in straight-line code, with
// its own summation orders: the same solution as householderSolve up to rounding (not bit for
// bit); a singular R gives infinities or NaN where Eigen's does not guard either.
Eigen::Vector3d quickHouseholderSolve(const Eigen::Matrix3d& a, const Eigen::Vector3d& b);

// Z with A Z = B by Householder QR with column pivoting, bit for bit the result of Eigen's
// ColPivHouseholderQR<Matrix3d>(A).solve(B): the same pivot order (largest remaining column norm
// first, norms downdated as in LAPACK's xGEQP3), the same rank by Eigen's default threshold (rows
// of Z beyond the rank are 0; a zero A has threshold 0 and keeps rank 3, so its zero pivots give
// infinities and NaN as Eigen's do), the same reflectors and back substitution
// (each row scaled by the reciprocal of its pivot), in straight-line fixed-size code. A non-finite
// entry in A or B sends the solve to Eigen's decomposition itself.
Eigen::Matrix3d colPivHouseholderSolve(const Eigen::Matrix3d& a, const Eigen::Matrix3d& b);

// x with H x = g by LDLT with symmetric pivoting of H (lower triangle read), bit for bit the result
// of Eigen's LDLT<Matrix3d>(H).solve(g): the pivot is the largest remaining diagonal magnitude
// (the first of equals), a pivot of magnitude at most DBL_MIN gives its component 0 (Eigen's
// pseudo-inverse of D), and a zero diagonal leaves the whole solution 0. A non-finite entry in H
// or g sends the solve to Eigen's decomposition itself.
Eigen::Vector3d ldltSolve(const Eigen::Matrix3d& h, const Eigen::Vector3d& g);

// The factors of Eigen's LDLT<Matrix3d> of a FINITE symmetric matrix A (lower triangle read), bit
// for bit: P A P^T = L D L^T, L unit lower triangular, P the product of the transpositions of
// steps 0 and 1 (step k swaps rows and columns k and t_k; step 2 swaps nothing). The pivot is the
// largest remaining diagonal magnitude (the first of equals). A zero diagonal leaves A unfactored,
// as Eigen does: P = I, D the zero diagonal, L the lower triangle of A as it is.
struct SymmetricLdlt {
  Eigen::Vector3d d;  // D
  double l10, l20, l21;
  int t0, t1;
};
SymmetricLdlt symmetricLdlt(const Eigen::Matrix3d& a);

// The two halves of a solve with those factors, in the arithmetic of Eigen's LDLT::solve: y = L^-1
// P b (forward), and x = P^T L^-T y (backward). The caller divides by D between them, by its own
// rule for negligible pivots.
Eigen::Vector3d ldltForward(const SymmetricLdlt& factors, Eigen::Vector3d b);
Eigen::Vector3d ldltBackward(const SymmetricLdlt& factors, Eigen::Vector3d y);

// Solves with those factors and D's pseudo-inverse (pivots of magnitude at most DBL_MIN give 0),
// bit for bit Eigen's LDLT<Matrix3d>::solve of the matrix factorised: ldltSolve(h, g) above for a
// vector, and for a 3x3 right-hand side, whose triangular solves Eigen runs in another order.
Eigen::Vector3d ldltSolve(const SymmetricLdlt& factors, const Eigen::Vector3d& g);
Eigen::Matrix3d ldltSolve(const SymmetricLdlt& factors, const Eigen::Matrix3d& b);

// The eigenvalues of the symmetric matrix (lower triangle read), in increasing order, by Eigen's
// closed-form 3x3 solver (SelfAdjointEigenSolver::computeDirect). Non-finite input gives NaN.
Eigen::Vector3d directSymmetricEigenvalues(const Eigen::Matrix3d& matrix);

// Where a decision compares an eigenvalue of a symmetric matrix with a threshold near zero, the
// closed-form eigenvalues decide when they lie clearly away from it: an eigenvalue within this
// fraction of the largest magnitude of the threshold counts as undecided, and the iterative
// solver's value is taken instead.
inline constexpr double kDirectEigenvalueMargin = 1e-8;

// The smallest eigenvalue of the symmetric matrix (lower triangle read), as Eigen's iterative
// SelfAdjointEigenSolver gives it whenever its sign relative to `threshold` could depend on the
// method: decided by the closed form when that lies more than kDirectEigenvalueMargin times the
// largest eigenvalue magnitude away from `threshold`, by the iterative solver otherwise. NaN for
// non-finite input or a failed solve. `largest` selects the largest eigenvalue instead.
double decidedSmallestEigenvalue(const Eigen::Matrix3d& matrix, double threshold);
double decidedLargestEigenvalue(const Eigen::Matrix3d& matrix, double threshold);

// A cheap certificate that decidedSmallestEigenvalue(matrix, threshold) > threshold: true when an
// LDL^T factorisation without pivoting of A - (threshold + delta) I, delta = 1e-6 (|A|_F +
// |threshold|), meets only positive pivots. Its rounding errors are far below delta, so the
// smallest eigenvalue of A then exceeds the threshold by more than 0.9e-6 |A|_F: the closed form
// decides it (kDirectEigenvalueMargin is 1e-8) and finds it above. False says nothing (a matrix
// near the threshold, an indefinite or a non-finite one): the caller asks
// decidedSmallestEigenvalue.
bool clearlyAboveThreshold(const Eigen::Matrix3d& matrix, double threshold);

// The largest real part of the eigenvalues of a general real 3x3 matrix: from the characteristic
// polynomial of the matrix scaled to unit largest entry, its real root by Cardano's or the
// trigonometric formula polished by Newton steps, the complex pair's real part from the trace.
// Where the roots are close together (the polynomial's discriminant near zero) the closed form
// loses digits, and Eigen's general EigenSolver (real Schur form) is used instead. Non-finite input
// gives NaN.
double largestRealEigenvalue(const Eigen::Matrix3d& matrix);

}  // namespace tessmark
