#pragma once
// The 3x3 kernels of the per-point path, in one place: each is the direct, fixed-size form of a
// general Eigen method, and each is checked against that method (the reference) in
// tests/model/small_kernels_test.cpp, on synthetic matrices and on the real data sets.

#include <cmath>
#include <limits>
#include <utility>

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
inline Eigen::Vector3d ldltSolve(const Eigen::Matrix3d& h, const Eigen::Vector3d& g);

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
inline SymmetricLdlt symmetricLdlt(const Eigen::Matrix3d& a);

// The two halves of a solve with those factors, in the arithmetic of Eigen's LDLT::solve: y = L^-1
// P b (forward), and x = P^T L^-T y (backward). The caller divides by D between them, by its own
// rule for negligible pivots.
inline Eigen::Vector3d ldltForward(const SymmetricLdlt& factors, Eigen::Vector3d b);
inline Eigen::Vector3d ldltBackward(const SymmetricLdlt& factors, Eigen::Vector3d y);

// Solves with those factors and D's pseudo-inverse (pivots of magnitude at most DBL_MIN give 0),
// bit for bit Eigen's LDLT<Matrix3d>::solve of the matrix factorised: ldltSolve(h, g) above for a
// vector, and for a 3x3 right-hand side, whose triangular solves Eigen runs in another order.
inline Eigen::Vector3d ldltSolve(const SymmetricLdlt& factors, const Eigen::Vector3d& g);
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
// decides it (kDirectEigenvalueMargin is 1e-8) and finds it above. Where the squares of A's
// entries would underflow, |A|_F is taken on A scaled to unit largest entry, so that the margin
// survives (a point far away has a Hessian of entries near 1e-230); no certificate is attempted
// below entries of 1e-290.
// False says nothing (a matrix near the threshold, an indefinite, a non-finite or a vanishingly
// small one): the caller asks decidedSmallestEigenvalue.
bool clearlyAboveThreshold(const Eigen::Matrix3d& matrix, double threshold);

// A cheaper certificate, for the largest eigenvalue: true when a diagonal entry exceeds threshold +
// delta (delta as above). The largest eigenvalue is at least every diagonal entry (each is a
// Rayleigh quotient), so decidedLargestEigenvalue(matrix, threshold) then lies above the threshold
// by far more than the closed form's rounding and decision margin. False says nothing.
bool largestClearlyAboveThreshold(const Eigen::Matrix3d& matrix, double threshold);

// The largest real part of the eigenvalues of a general real 3x3 matrix: from the characteristic
// polynomial of the matrix scaled to unit largest entry, its real root by Cardano's or the
// trigonometric formula polished by Newton steps, the complex pair's real part from the trace.
// Where the roots are close together (the polynomial's discriminant near zero) the closed form
// loses digits, and Eigen's general EigenSolver (real Schur form) is used instead. Non-finite input
// gives NaN.
double largestRealEigenvalue(const Eigen::Matrix3d& matrix);

// The LDLT kernels are defined here and always inlined, so that a solver's factorisation and solves
// compile into its own iteration (called, their small results would go through memory): the
// arithmetic is the same wherever they are inlined.

namespace detail {

// D's pseudo-inverse, as Eigen's LDLT::solve applies it: pivots of magnitude at most DBL_MIN give
// 0.
inline double pseudoDivide(double x, double pivot) {
  return std::abs(pivot) > std::numeric_limits<double>::min() ? x / pivot : 0.0;
}

// ldltSolve(h, g) by Eigen's decomposition itself (for non-finite input).
Eigen::Vector3d eigenLdltSolve(const Eigen::Matrix3d& h, const Eigen::Vector3d& g);

// Swaps entry 0 with entry t (0, 1 or 2) of x, entry by entry, so that x can stay in registers.
inline void swapFirstWith(Eigen::Vector3d& x, int t) {
  if (t == 1) {
    std::swap(x(0), x(1));
  } else if (t == 2) {
    std::swap(x(0), x(2));
  }
}

}  // namespace detail

// Eigen's unblocked LDLT on the lower triangle, unrolled for 3x3. The one matrix-vector product
// of the factorisation (L21 -= L20 temp0) starts from a zero, as Eigen's does.
EIGEN_ALWAYS_INLINE SymmetricLdlt symmetricLdlt(const Eigen::Matrix3d& a) {
  double m00 = a(0, 0), m11 = a(1, 1), m22 = a(2, 2);
  double m10 = a(1, 0), m20 = a(2, 0), m21 = a(2, 1);
  int t0 = 0;
  int t1 = 1;
  // k = 0: the largest diagonal magnitude moves to the front.
  if (std::abs(m11) > std::abs(m00)) t0 = 1;
  if (std::abs(m22) > std::abs(t0 == 0 ? m00 : m11)) t0 = 2;
  if (t0 == 1) {
    std::swap(m00, m11);  // rows and columns 0 and 1 of the lower triangle
    std::swap(m20, m21);
  } else if (t0 == 2) {
    std::swap(m00, m22);
    std::swap(m10, m21);
  }
  if (!(std::abs(m00) > 0.0)) {
    // A zero diagonal: nothing is factorised, D = 0 and L keeps the lower triangle as it is.
    return {{m00, m11, m22}, m10, m20, m21, 0, 1};
  }
  m10 /= m00;
  m20 /= m00;
  // k = 1
  if (std::abs(m22) > std::abs(m11)) {
    t1 = 2;
    std::swap(m10, m20);
    std::swap(m11, m22);
  }
  const double temp0 = m00 * m10;
  m11 -= m10 * temp0;
  m21 -= 0.0 + m20 * temp0;
  if (std::abs(m11) > 0.0) m21 /= m11;
  // k = 2
  m22 -= m20 * (m00 * m20) + m21 * (m11 * m21);
  return {{m00, m11, m22}, m10, m20, m21, t0, t1};
}

// The sums of Eigen's unrolled triangular solves: x_i - (sum_j L_ij x_j), in j order.
EIGEN_ALWAYS_INLINE Eigen::Vector3d ldltForward(const SymmetricLdlt& f, Eigen::Vector3d x) {
  detail::swapFirstWith(x, f.t0);
  if (f.t1 != 1) std::swap(x(1), x(2));
  x(1) -= f.l10 * x(0);
  x(2) -= f.l20 * x(0) + f.l21 * x(1);
  return x;
}

EIGEN_ALWAYS_INLINE Eigen::Vector3d ldltBackward(const SymmetricLdlt& f, Eigen::Vector3d x) {
  x(1) -= f.l21 * x(2);
  x(0) -= f.l10 * x(1) + f.l20 * x(2);
  if (f.t1 != 1) std::swap(x(1), x(2));
  detail::swapFirstWith(x, f.t0);
  return x;
}

EIGEN_ALWAYS_INLINE Eigen::Vector3d ldltSolve(const SymmetricLdlt& factors,
                                              const Eigen::Vector3d& g) {
  Eigen::Vector3d x = ldltForward(factors, g);
  for (int i = 0; i < 3; ++i) x(i) = detail::pseudoDivide(x(i), factors.d(i));
  return ldltBackward(factors, x);
}

EIGEN_ALWAYS_INLINE Eigen::Vector3d ldltSolve(const Eigen::Matrix3d& h, const Eigen::Vector3d& g) {
  if (!h.allFinite() || !g.allFinite()) return detail::eigenLdltSolve(h, g);
  return ldltSolve(symmetricLdlt(h), g);
}

}  // namespace tessmark
