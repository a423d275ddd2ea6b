#pragma once
// The 3x3 kernels of the per-point path, in one place: each is the direct, fixed-size form of a
// general Eigen method, and each is checked against that method (the reference) in
// tests/model/small_kernels_test.cpp, on synthetic matrices and on the real data sets.

#include <Eigen/Core>

namespace tessmark {

// x with A x = b by Householder QR of A, bit for bit the result of Eigen's
// HouseholderQR<Matrix3d>(A).solve(b). When A is upper triangular (exact zeros below the diagonal,
// as calibration matrices are by construction) every reflector is the identity and R = A, so the
// solve is the back substitution alone and runs here without the factorisation (as Eigen's, a
// zero right-hand component skips its division); any other A goes to Eigen's HouseholderQR.
Eigen::Vector3d householderSolve(const Eigen::Matrix3d& a, const Eigen::Vector3d& b);

// x with A x = b by a Householder QR of A (no pivoting) computed here in straight-line code. The
// same factorisation and back substitution as Eigen's HouseholderQR, so the same solution up to
// rounding (not bit for bit); a singular R gives infinities or NaN exactly where Eigen's does not
// guard either.
Eigen::Vector3d quickHouseholderSolve(const Eigen::Matrix3d& a, const Eigen::Vector3d& b);

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

// The largest real part of the eigenvalues of a general real 3x3 matrix: from the characteristic
// polynomial of the matrix scaled to unit largest entry, its real root by Cardano's or the
// trigonometric formula polished by Newton steps, the complex pair's real part from the trace.
// Where the roots are close together (the polynomial's discriminant near zero) the closed form
// loses digits, and Eigen's general EigenSolver (real Schur form) is used instead. Non-finite input
// gives NaN.
double largestRealEigenvalue(const Eigen::Matrix3d& matrix);

}  // namespace tessmark
