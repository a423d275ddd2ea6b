#include "model/small_kernels.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include <Eigen/Cholesky>
#include <Eigen/Eigenvalues>
#include <Eigen/QR>

namespace tessmark {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

bool upperTriangular(const Eigen::Matrix3d& a) {
  return a(1, 0) == 0.0 && a(2, 0) == 0.0 && a(2, 1) == 0.0;
}

// Back substitution with the upper triangle of R, in Eigen's column order: x_i = b_i / R_ii, then
// b_s -= x_i R_si for the rows above; a zero b_i is left as it is.
Eigen::Vector3d backSubstitution(const Eigen::Matrix3d& r, Eigen::Vector3d b) {
  for (int i = 2; i >= 0; --i) {
    if (b(i) != 0.0) {
      b(i) /= r(i, i);
      for (int s = 0; s < i; ++s) b(s) -= b(i) * r(s, i);
    }
  }
  return b;
}

// Eigen's Householder steps on 3-vectors stored as plain arrays (a matrix column by column). The
// sums keep Eigen's orders: a squared norm is ((x0^2 + x1^2) + x2^2), a reflector's dot product
// with a column is (0 + e . b) + b0 (its matrix-vector product starts from a zero, which turns a -0
// into +0), and its rank-one update subtracts tmp (tau e_i).

// MatrixBase::makeHouseholderInPlace on entries k..2 of `column`: beta at k, the essential part
// below it; returns tau.
template <int k>
double makeReflector(double* column) {
  double tailSquaredNorm = 0.0;
  if constexpr (k == 0) tailSquaredNorm = column[1] * column[1] + column[2] * column[2];
  if constexpr (k == 1) tailSquaredNorm = column[2] * column[2];
  const double c0 = column[k];
  if (tailSquaredNorm <= std::numeric_limits<double>::min()) {
    for (int i = k + 1; i < 3; ++i) column[i] = 0.0;
    return 0.0;  // beta = c0 stays in place
  }
  double beta = std::sqrt(c0 * c0 + tailSquaredNorm);
  if (c0 >= 0.0) beta = -beta;
  for (int i = k + 1; i < 3; ++i) column[i] /= c0 - beta;
  column[k] = beta;
  return (beta - c0) / beta;
}

// MatrixBase::applyHouseholderOnTheLeft of reflector k (essential part below entry k of
// `reflector`) to entries k..2 of `target`. The last reflector (k = 2) has tau 0 and scales by
// 1 - 0: nothing to do.
template <int k>
void applyReflector(const double* reflector, double tau, double* target) {
  if constexpr (k == 2) {
    return;
  } else {
    if (tau == 0.0) return;
    double tmp = reflector[k + 1] * target[k + 1];
    if constexpr (k == 0) tmp += reflector[2] * target[2];
    tmp = (0.0 + tmp) + target[k];
    target[k] -= tau * tmp;
    for (int i = k + 1; i < 3; ++i) target[i] -= tmp * (tau * reflector[i]);
  }
}

// Calls f.template operator()<k>() for k = 0, 1, 2: the steps of a 3x3 factorisation with their
// index known to the compiler.
template <typename Step>
void forEachStep(Step&& step) {
  step.template operator()<0>();
  step.template operator()<1>();
  step.template operator()<2>();
}

// The reflector that maps column `k`'s entries k..2 of `r` onto the axis, applied to `r` and `b`.
void reflect(Eigen::Matrix3d& r, Eigen::Vector3d& b, int k) {
  double tail = 0.0;
  for (int i = k + 1; i < 3; ++i) tail += r(i, k) * r(i, k);
  if (tail == 0.0) return;  // already on the axis: the identity
  const double c0 = r(k, k);
  double beta = std::sqrt(c0 * c0 + tail);
  if (c0 >= 0.0) beta = -beta;
  // v = (1, essential), tau = (beta - c0) / beta; H = I - tau v v^T.
  const double scale = 1.0 / (c0 - beta);
  double v[3] = {0.0, 0.0, 0.0};
  v[k] = 1.0;
  for (int i = k + 1; i < 3; ++i) v[i] = r(i, k) * scale;
  const double tau = (beta - c0) / beta;
  r(k, k) = beta;
  for (int i = k + 1; i < 3; ++i) r(i, k) = 0.0;
  for (int j = k + 1; j < 3; ++j) {
    double dot = 0.0;
    for (int i = k; i < 3; ++i) dot += v[i] * r(i, j);
    dot *= tau;
    for (int i = k; i < 3; ++i) r(i, j) -= dot * v[i];
  }
  double dot = 0.0;
  for (int i = k; i < 3; ++i) dot += v[i] * b(i);
  dot *= tau;
  for (int i = k; i < 3; ++i) b(i) -= dot * v[i];
}

double referenceSmallest(const Eigen::Matrix3d& matrix, bool largest) {
  const Eigen::SelfAdjointEigenSolver<Eigen::Matrix3d> eigen(matrix, Eigen::EigenvaluesOnly);
  if (eigen.info() != Eigen::Success) return kNaN;
  return largest ? eigen.eigenvalues()(2) : eigen.eigenvalues()(0);
}

double decidedEigenvalue(const Eigen::Matrix3d& matrix, double threshold, bool largest) {
  if (!matrix.allFinite()) return kNaN;
  const Eigen::Vector3d values = directSymmetricEigenvalues(matrix);
  const double value = largest ? values(2) : values(0);
  const double size = std::max(std::abs(values(0)), std::abs(values(2)));
  if (std::abs(value - threshold) > kDirectEigenvalueMargin * size) return value;
  return referenceSmallest(matrix, largest);
}

double referenceLargestRealEigenvalue(const Eigen::Matrix3d& matrix) {
  const Eigen::EigenSolver<Eigen::Matrix3d> eigen(matrix, false);
  if (eigen.info() != Eigen::Success) return kNaN;
  return eigen.eigenvalues().real().maxCoeff<Eigen::PropagateNaN>();
}

}  // namespace

Eigen::Vector3d householderSolve(const Eigen::Matrix3d& a, const Eigen::Vector3d& b) {
  if (upperTriangular(a)) return backSubstitution(a, b);
  if (!a.allFinite() || !b.allFinite()) return Eigen::HouseholderQR<Eigen::Matrix3d>(a).solve(b);
  double q[3][3];  // q[column][row]: R on and above the diagonal, reflectors below it
  for (int j = 0; j < 3; ++j) {
    for (int i = 0; i < 3; ++i) q[j][i] = a(i, j);
  }
  double c[3] = {b(0), b(1), b(2)};
  forEachStep([&]<int k>() {
    const double tau = makeReflector<k>(q[k]);
    for (int j = k + 1; j < 3; ++j) applyReflector<k>(q[k], tau, q[j]);
    applyReflector<k>(q[k], tau, c);
  });
  Eigen::Matrix3d r;
  for (int j = 0; j < 3; ++j) {
    for (int i = 0; i < 3; ++i) r(i, j) = q[j][i];
  }
  return backSubstitution(r, Eigen::Vector3d(c[0], c[1], c[2]));
}

Eigen::Vector3d quickHouseholderSolve(const Eigen::Matrix3d& a, const Eigen::Vector3d& b) {
  Eigen::Matrix3d r = a;
  Eigen::Vector3d c = b;
  reflect(r, c, 0);
  reflect(r, c, 1);
  return backSubstitution(r, c);
}

// Eigen's ColPivHouseholderQR::computeInPlace and solve for 3x3, with the steps above; the
// triangular solve of a matrix right-hand side multiplies by 1 / R_ii.
Eigen::Matrix3d colPivHouseholderSolve(const Eigen::Matrix3d& a, const Eigen::Matrix3d& b) {
  if (!a.allFinite() || !b.allFinite()) {
    return Eigen::ColPivHouseholderQR<Eigen::Matrix3d>(a).solve(b);
  }
  double q[3][3];  // q[column][row]: R on and above the diagonal, reflectors below it
  for (int j = 0; j < 3; ++j) {
    for (int i = 0; i < 3; ++i) q[j][i] = a(i, j);
  }
  double normsDirect[3];
  double normsUpdated[3];
  for (int j = 0; j < 3; ++j) {
    normsDirect[j] = std::sqrt((q[j][0] * q[j][0] + q[j][1] * q[j][1]) + q[j][2] * q[j][2]);
    normsUpdated[j] = normsDirect[j];
  }
  const double largestNorm = std::max(std::max(normsUpdated[0], normsUpdated[1]), normsUpdated[2]);
  const double scaledLargest = largestNorm * std::numeric_limits<double>::epsilon();
  const double thresholdHelper = (scaledLargest * scaledLargest) / 3.0;
  const double normDowndateThreshold = std::sqrt(std::numeric_limits<double>::epsilon());
  int rank = 3;
  int order[3] = {0, 1, 2};
  double tau[3];
  forEachStep([&]<int k>() {
    int biggest = k;
    for (int j = k + 1; j < 3; ++j) {
      if (normsUpdated[j] > normsUpdated[biggest]) biggest = j;
    }
    const double biggestNorm = normsUpdated[biggest];
    if (rank == 3 && biggestNorm * biggestNorm < thresholdHelper * double(3 - k)) rank = k;
    if (biggest != k) {
      std::swap(q[k], q[biggest]);
      std::swap(normsUpdated[k], normsUpdated[biggest]);
      std::swap(normsDirect[k], normsDirect[biggest]);
    }
    std::swap(order[k], order[biggest]);
    tau[k] = makeReflector<k>(q[k]);
    for (int j = k + 1; j < 3; ++j) applyReflector<k>(q[k], tau[k], q[j]);
    for (int j = k + 1; j < 3; ++j) {
      if (normsUpdated[j] == 0.0) continue;
      double temp = std::abs(q[j][k]) / normsUpdated[j];
      temp = (1.0 + temp) * (1.0 - temp);
      temp = temp < 0.0 ? 0.0 : temp;
      const double ratio = normsUpdated[j] / normsDirect[j];
      if (temp * (ratio * ratio) <= normDowndateThreshold) {
        double squaredNorm = 0.0;
        if constexpr (k == 0) squaredNorm = q[j][1] * q[j][1] + q[j][2] * q[j][2];
        if constexpr (k == 1) squaredNorm = q[j][2] * q[j][2];
        normsDirect[j] = std::sqrt(squaredNorm);
        normsUpdated[j] = normsDirect[j];
      } else {
        normsUpdated[j] *= std::sqrt(temp);
      }
    }
  });
  Eigen::Matrix3d z = Eigen::Matrix3d::Zero();
  if (rank == 0) return z;
  double c[3][3];  // c[column][row]: Q^T B, then the solution in pivoted order
  for (int j = 0; j < 3; ++j) {
    for (int i = 0; i < 3; ++i) c[j][i] = b(i, j);
  }
  forEachStep([&]<int k>() {
    if (k >= rank) return;
    for (int j = 0; j < 3; ++j) applyReflector<k>(q[k], tau[k], c[j]);
  });
  for (int i = rank - 1; i >= 0; --i) {
    const double reciprocal = 1.0 / q[i][i];
    for (int j = 0; j < 3; ++j) {
      c[j][i] *= reciprocal;
      for (int s = 0; s < i; ++s) c[j][s] -= c[j][i] * q[i][s];
    }
  }
  for (int i = 0; i < rank; ++i) {
    for (int j = 0; j < 3; ++j) z(order[i], j) = c[j][i];
  }
  return z;
}

Eigen::Vector3d detail::eigenLdltSolve(const Eigen::Matrix3d& h, const Eigen::Vector3d& g) {
  return Eigen::LDLT<Eigen::Matrix3d>(h).solve(g);
}

// Eigen solves a matrix right-hand side with its blocked triangular kernel, column by column:
// L by columns (each solved entry times L's column taken off the entries below it, one at a
// time), L^T = U by rows (the entries to the right summed from a zero, then taken off at once).
Eigen::Matrix3d ldltSolve(const SymmetricLdlt& factors, const Eigen::Matrix3d& b) {
  Eigen::Matrix3d x;
  for (int j = 0; j < 3; ++j) {
    double c[3] = {b(0, j), b(1, j), b(2, j)};
    if (factors.t0 != 0) std::swap(c[0], c[factors.t0]);
    if (factors.t1 != 1) std::swap(c[1], c[2]);
    c[1] -= c[0] * factors.l10;
    c[2] -= c[0] * factors.l20;
    c[2] -= c[1] * factors.l21;
    for (int i = 0; i < 3; ++i) c[i] = detail::pseudoDivide(c[i], factors.d(i));
    c[1] -= 0.0 + factors.l21 * c[2];
    c[0] -= (0.0 + factors.l10 * c[1]) + factors.l20 * c[2];
    if (factors.t1 != 1) std::swap(c[1], c[2]);
    if (factors.t0 != 0) std::swap(c[0], c[factors.t0]);
    for (int i = 0; i < 3; ++i) x(i, j) = c[i];
  }
  return x;
}

Eigen::Vector3d directSymmetricEigenvalues(const Eigen::Matrix3d& matrix) {
  if (!matrix.allFinite()) return Eigen::Vector3d::Constant(kNaN);
  Eigen::SelfAdjointEigenSolver<Eigen::Matrix3d> eigen;
  eigen.computeDirect(matrix, Eigen::EigenvaluesOnly);
  return eigen.eigenvalues();
}

double decidedSmallestEigenvalue(const Eigen::Matrix3d& matrix, double threshold) {
  return decidedEigenvalue(matrix, threshold, false);
}

double decidedLargestEigenvalue(const Eigen::Matrix3d& matrix, double threshold) {
  return decidedEigenvalue(matrix, threshold, true);
}

namespace {

// Below this sum of squared entries some squares may have underflowed: |A|_F is then taken on A
// scaled to unit largest entry, so that the margin survives for matrices of tiny entries (the
// Hessian of a point far away has entries near 1e-230, whose squares are 0).
constexpr double kScaledFrobeniusBelow = 1e-200;
// Below this largest entry magnitude a certificate is not attempted: its margin and the pivots of
// its factorisation would approach the subnormal range, where rounding is no longer relative.
constexpr double kSmallestCertifiedEntry = 1e-290;

// threshold + delta, delta = 1e-6 (|A|_F + |threshold|) (lower triangle read); not finite when A
// or the threshold is not, when |A|_F overflows, or when A's entries all lie below
// kSmallestCertifiedEntry in magnitude.
double certificateShift(const Eigen::Matrix3d& matrix, double threshold) {
  const double a00 = matrix(0, 0), a11 = matrix(1, 1), a22 = matrix(2, 2);
  const double a10 = matrix(1, 0), a20 = matrix(2, 0), a21 = matrix(2, 1);
  const double squares =
      a00 * a00 + a11 * a11 + a22 * a22 + 2.0 * (a10 * a10 + a20 * a20 + a21 * a21);
  double frobenius = std::sqrt(squares);
  if (!(squares >= kScaledFrobeniusBelow)) {  // NaN too
    const double scale = std::max(
        {std::abs(a00), std::abs(a11), std::abs(a22), std::abs(a10), std::abs(a20), std::abs(a21)});
    if (!(scale >= kSmallestCertifiedEntry)) return kNaN;
    const double b00 = a00 / scale, b11 = a11 / scale, b22 = a22 / scale;
    const double b10 = a10 / scale, b20 = a20 / scale, b21 = a21 / scale;
    frobenius = scale * std::sqrt(b00 * b00 + b11 * b11 + b22 * b22 +
                                  2.0 * (b10 * b10 + b20 * b20 + b21 * b21));
  }
  return threshold + 1e-6 * (frobenius + std::abs(threshold));
}

}  // namespace

bool clearlyAboveThreshold(const Eigen::Matrix3d& matrix, double threshold) {
  const double a00 = matrix(0, 0), a11 = matrix(1, 1), a22 = matrix(2, 2);
  const double a10 = matrix(1, 0), a20 = matrix(2, 0), a21 = matrix(2, 1);
  const double shift = certificateShift(matrix, threshold);
  if (!std::isfinite(shift)) return false;
  const double d0 = a00 - shift;
  if (!(d0 > 0.0)) return false;
  const double l10 = a10 / d0;
  const double l20 = a20 / d0;
  const double d1 = (a11 - shift) - l10 * a10;
  if (!(d1 > 0.0)) return false;
  const double b21 = a21 - l20 * a10;
  const double d2 = (a22 - shift) - l20 * a20 - (b21 / d1) * b21;
  return d2 > 0.0;
}

bool largestClearlyAboveThreshold(const Eigen::Matrix3d& matrix, double threshold) {
  const double shift = certificateShift(matrix, threshold);
  if (!std::isfinite(shift)) return false;
  return std::max({matrix(0, 0), matrix(1, 1), matrix(2, 2)}) > shift;
}

double largestRealEigenvalue(const Eigen::Matrix3d& matrix) {
  if (!matrix.allFinite()) return kNaN;
  const double scale = matrix.cwiseAbs().maxCoeff();
  if (scale == 0.0) return 0.0;
  const Eigen::Matrix3d a = matrix / scale;
  // det(lambda I - A) = lambda^3 - t lambda^2 + m lambda - d.
  const double t = a.trace();
  const double m = (a(0, 0) * a(1, 1) - a(0, 1) * a(1, 0)) +
                   (a(0, 0) * a(2, 2) - a(0, 2) * a(2, 0)) +
                   (a(1, 1) * a(2, 2) - a(1, 2) * a(2, 1));
  const double d = a.determinant();
  // lambda = mu + t/3: mu^3 + p mu + q = 0.
  const double shift = t / 3.0;
  const double p = m - t * shift;
  const double q = shift * (m - 2.0 * shift * shift) - d;
  const double halfQ = q / 2.0;
  const double thirdP = p / 3.0;
  const double discriminant = halfQ * halfQ + thirdP * thirdP * thirdP;
  const double size = halfQ * halfQ + std::abs(thirdP * thirdP * thirdP);
  // Close roots, or all three at the shift: the closed form is not accurate there.
  if (!(std::abs(discriminant) > 1e-6 * size) || !(size > 1e-24)) {
    return referenceLargestRealEigenvalue(matrix);
  }
  double root;
  double largest;
  const auto polish = [&](double lambda) {
    for (int step = 0; step < 2; ++step) {
      const double value = ((lambda - t) * lambda + m) * lambda - d;
      const double slope = (3.0 * lambda - 2.0 * t) * lambda + m;
      if (slope == 0.0) break;
      lambda -= value / slope;
    }
    return lambda;
  };
  if (discriminant > 0.0) {
    // One real root and a complex pair whose real part makes the trace up.
    const double u = std::cbrt(-halfQ - std::copysign(std::sqrt(discriminant), halfQ));
    root = polish(shift + (u - thirdP / u));
    const double pairRealPart = (t - root) / 2.0;
    largest = std::max(root, pairRealPart);
  } else {
    // Three real roots; the largest by the trigonometric formula.
    const double radius = 2.0 * std::sqrt(-thirdP);
    const double cosine = std::clamp(-halfQ / (-thirdP * std::sqrt(-thirdP)), -1.0, 1.0);
    root = polish(shift + radius * std::cos(std::acos(cosine) / 3.0));
    largest = root;
  }
  return largest * scale;
}

}  // namespace tessmark
