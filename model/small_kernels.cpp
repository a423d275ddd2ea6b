#include "model/small_kernels.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

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
  return Eigen::HouseholderQR<Eigen::Matrix3d>(a).solve(b);
}

Eigen::Vector3d quickHouseholderSolve(const Eigen::Matrix3d& a, const Eigen::Vector3d& b) {
  Eigen::Matrix3d r = a;
  Eigen::Vector3d c = b;
  reflect(r, c, 0);
  reflect(r, c, 1);
  return backSubstitution(r, c);
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
